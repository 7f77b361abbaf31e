// processSnapshot from /proc: the base name of each process's executable.
#include <dirent.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string>

#include "platform/platform.h"
#include "platform/posix/errno_mapping.h"
#include "platform/posix/host_text.h"

namespace platform {
namespace {

constexpr char kProcDirectory[] = "/proc";
constexpr char kDeletedSuffix[] = " (deleted)";

bool parseProcessId(const char* name, uint32_t* out) {
  if (name[0] == '\0') return false;
  uint64_t value = 0;
  for (const char* c = name; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9') return false;
    value = value * 10 + static_cast<uint64_t>(*c - '0');
    if (value > INT_MAX) return false;
  }
  *out = static_cast<uint32_t>(value);
  return true;
}

// The base name of /proc/<pid>/exe, with ".exe" appended when it has no extension. False for
// processes whose executable cannot be read (other users', kernel threads, vanished ones).
bool executableName(const char* pidText, std::u16string* out) {
  const std::string link = std::string(kProcDirectory) + "/" + pidText + "/exe";
  char target[PATH_MAX];
  const ssize_t length = readlink(link.c_str(), target, sizeof(target));
  if (length <= 0 || static_cast<size_t>(length) >= sizeof(target)) return false;
  std::string path(target, static_cast<size_t>(length));
  const std::string deleted(kDeletedSuffix);
  if (path.size() > deleted.size() &&
      path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0) {
    path.resize(path.size() - deleted.size());
  }
  std::string base = path.substr(path.rfind('/') + 1);
  if (base.empty()) return false;
  if (base.find('.', 1) == std::string::npos) base += ".exe";
  out->clear();
  internal::hostToWide(base.data(), base.size(), out);
  return true;
}

}  // namespace

bool processSnapshot(std::vector<ProcessEntry>* out) {
  DIR* directory = opendir(kProcDirectory);
  if (directory == nullptr) return internal::failWithErrno(errno);
  out->clear();
  while (const dirent* entry = readdir(directory)) {
    ProcessEntry process;
    if (!parseProcessId(entry->d_name, &process.processId)) continue;
    if (!executableName(entry->d_name, &process.exeName)) continue;
    out->push_back(std::move(process));
  }
  closedir(directory);
  return true;
}

}  // namespace platform
