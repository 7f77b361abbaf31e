#include "result_sink.h"

#include "FsFileInfo.h"

std::u16string joinPath(const char16_t* directory, const char16_t* name) {
  std::u16string path = directory != nullptr ? directory : u"";
  if (!path.empty() && path.back() != u'\\') path += u'\\';
  if (name != nullptr) path += name;
  return path;
}

void ResultSink::addFileInfo(FsFileInfo* info) {
  ++found_;
  if (info == nullptr) return;
  if (info->directory() != nullptr) {
    std::lock_guard<std::mutex> lock(walkedMutex_);
    if (walkedDirectory_ != info->directory()) walkedDirectory_ = info->directory();
  }
  FoundFile file;
  file.drivePath = joinPath(info->directory(), info->name());
  file.size = info->size();
  file.attributes = info->mode();
  writer_->write(file);
}

void ResultSink::addFile(const char16_t* directory, const char16_t* name, uint32_t sizeLow,
                         uint32_t sizeHigh, uint32_t attributes, const char16_t* md5,
                         uint32_t crc32, uint32_t q32) {
  ++found_;
  FoundFile file;
  file.drivePath = joinPath(directory, name);
  file.size = static_cast<uint64_t>(sizeHigh) << 32 | sizeLow;
  file.attributes = attributes;
  file.fromCache = true;
  file.md5 = md5 != nullptr ? md5 : u"";
  file.crc32 = crc32;
  file.q32 = q32;
  writer_->write(file);
}

std::u16string ResultSink::walkedDirectory() const {
  std::lock_guard<std::mutex> lock(walkedMutex_);
  return walkedDirectory_;
}
