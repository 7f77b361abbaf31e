// Removing files and creating directories.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"
#include "platform/posix/errno_mapping.h"
#include "platform/posix/path_resolution.h"

namespace platform {
namespace {

constexpr mode_t kDirectoryMode = 0777;  // less the umask

}  // namespace

bool removeFile(const char16_t* path) {
  std::string host;
  if (!internal::resolveHostPath(path, &host)) return false;
  // _wremove removes files only; unlink refuses a directory with EISDIR (or EPERM).
  if (unlink(host.c_str()) != 0) return internal::failWithErrnoForPath(errno, host);
  return true;
}

bool createDirectory(const char16_t* path) {
  std::string host;
  if (!internal::resolveHostPath(path, &host)) return false;
  if (mkdir(host.c_str(), kDirectoryMode) == 0) return true;
  // CreateDirectoryW reports a missing parent as a missing path, never as a missing file.
  if (errno == ENOENT) return internal::failWith(kErrorPathNotFound);
  return internal::failWithErrnoForPath(errno, host);
}

}  // namespace platform
