#include "host_objects.h"

#include <cinttypes>

#include "FsFileInfo.h"
#include "platform/platform.h"

namespace {

std::string narrow(const char16_t* text) {
  std::string out;
  if (text == nullptr || !platform::wideToNarrow(text, &out)) return "?";
  return out;
}

}  // namespace

void HostConfig::set(const std::string& section, const std::string& key, const std::string& value) {
  values_[{section, key}] = value;
}

std::string HostConfig::getValue(const char* section, const char* key,
                                 const char* defaultValue) const {
  auto found = values_.find({section, key});
  if (found != values_.end()) return found->second;
  return defaultValue != nullptr ? defaultValue : "";
}

void PrintingResults::addFileInfo(FsFileInfo* info) {
  ++count_;
  if (info == nullptr) return;
  std::string directory = narrow(info->directory());
  const char* separator = !directory.empty() && directory.back() != '\\' ? "\\" : "";
  std::fprintf(out_, "%s%s%s\n", directory.c_str(), separator, narrow(info->name()).c_str());
}

void PrintingResults::addFile(const char16_t* directory, const char16_t* name, uint32_t sizeLow,
                              uint32_t sizeHigh, uint32_t attributes, const char16_t* md5,
                              uint32_t crc32, uint32_t q32) {
  ++count_;
  uint64_t size = static_cast<uint64_t>(sizeHigh) << 32 | sizeLow;
  std::fprintf(out_, "%s%s\t%" PRIu64 "\t%04x\t%s\t%08x\t%08x\n", narrow(directory).c_str(),
               narrow(name).c_str(), size, attributes, narrow(md5).c_str(), crc32, q32);
}
