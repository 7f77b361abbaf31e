// Removing, replacing and identifying files.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/fault.h"
#include "platform/platform.h"
#include "platform/posix/errno_mapping.h"
#include "platform/posix/path_resolution.h"

namespace platform {

bool removeFile(const char16_t* path) {
  std::string host;
  if (!internal::resolveHostPath(path, &host)) return false;
  // _wremove removes files only; unlink refuses a directory with EISDIR (or EPERM).
  if (unlink(host.c_str()) != 0) return internal::failWithErrnoForPath(errno, host);
  return true;
}

bool replaceFile(const char16_t* from, const char16_t* to) {
  std::string hostFrom;
  std::string hostTo;
  if (!internal::resolveHostPath(from, &hostFrom) || !internal::resolveHostPath(to, &hostTo)) {
    return false;
  }
  if (internal::faultFires(testing::Fault::kFileReplace)) return false;
  if (std::rename(hostFrom.c_str(), hostTo.c_str()) != 0) {
    return internal::failWithErrnoForPath(errno, hostFrom);
  }
  return true;
}

bool removeDirectory(const char16_t* path) {
  std::string host;
  if (!internal::resolveHostPath(path, &host)) return false;
  if (rmdir(host.c_str()) != 0) return internal::failWithErrnoForPath(errno, host);
  return true;
}

bool fileIdentity(const char16_t* path, FileIdentity* out) {
  std::string host;
  if (out == nullptr) return internal::failWith(kErrorInvalidParameter);
  if (!internal::resolveHostPath(path, &host)) return false;
  struct stat info {};
  if (stat(host.c_str(), &info) != 0) return internal::failWithErrnoForPath(errno, host);
  out->volume = static_cast<uint64_t>(info.st_dev);
  out->file = static_cast<uint64_t>(info.st_ino);
  return true;
}

}  // namespace platform
