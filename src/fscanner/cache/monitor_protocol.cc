#include "cache/monitor_protocol.h"

#include <memory>

#include "base/wstring.h"
#include "platform/platform.h"
#include "tablestore/file_io.h"
#include "tablestore/mapped_file.h"

namespace {

constexpr char16_t kGlobalPrefix[] = u"Global\\";
constexpr char16_t kPidFileName[] = u"mon_proc.id";
constexpr uint32_t kPidBytes = 4;

std::u16string objectName(const char16_t* home, const char16_t* suffix) {
  std::u16string name = home != nullptr ? home : u"";
  wcsUpper(&name[0]);
  name += suffix;
  for (char16_t& unit : name) {
    if (unit == u'\\' || unit == u':') unit = u'_';
  }
  return kGlobalPrefix + name;
}

}  // namespace

std::u16string monitorInitEventName(const char16_t* home) {
  return objectName(home, u"_FsMon_InitEvent");
}

std::u16string monitorStopEventName(const char16_t* home) {
  return objectName(home, u"_FsMon_StopEvent");
}

std::u16string monitorInstanceMutexName(const char16_t* home) {
  return objectName(home, u"_FsMon_Instance");
}

std::u16string monitorPidFilePath(const char16_t* home) {
  std::u16string path = home != nullptr ? home : u"";
  if (path.empty() || path.back() != u'\\') path += u'\\';
  return path + kPidFileName;
}

bool writeMonitorPid(const char16_t* home, uint32_t pid) {
  const std::u16string path = monitorPidFilePath(home);
  std::unique_ptr<StorageFile> file = newMappedFile(path.c_str());
  uint8_t bytes[kPidBytes];
  storeU32(bytes, pid);
  if (file == nullptr || !file->create()) return false;
  const bool written = file->write(bytes, kPidBytes) == kPidBytes;
  return file->close() && written;
}

bool readMonitorPid(const char16_t* home, uint32_t* pid) {
  const std::u16string path = monitorPidFilePath(home);
  std::unique_ptr<platform::ReadableFile> file = platform::ReadableFile::open(path.c_str());
  uint8_t bytes[kPidBytes + 1];
  if (file == nullptr || file->read(bytes, sizeof bytes) != kPidBytes) return false;
  *pid = loadU32(bytes);
  return true;
}
