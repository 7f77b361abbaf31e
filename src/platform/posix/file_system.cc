// Removing files.
#include <unistd.h>

#include <cerrno>

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

}  // namespace platform
