// What a host program needs besides the module's calls: terminals, its own file, directories,
// its heap.
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "platform/platform.h"
#include "platform/posix/errno_mapping.h"
#include "platform/posix/path_resolution.h"

namespace platform {

namespace {
constexpr mode_t kNewDirectoryMode = 0777;  // narrowed by the umask
constexpr size_t kLinkBufferSize = 4096;

int descriptorOf(StandardStream stream) {
  return stream == StandardStream::kInput    ? STDIN_FILENO
         : stream == StandardStream::kOutput ? STDOUT_FILENO
                                             : STDERR_FILENO;
}
}  // namespace

bool isTerminal(StandardStream stream) { return isatty(descriptorOf(stream)) == 1; }

uint32_t terminalWidth(StandardStream stream) {
  winsize size{};
  return ioctl(descriptorOf(stream), TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

bool executablePath(std::string* out) {
  char buffer[kLinkBufferSize];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
  if (length <= 0 || static_cast<size_t>(length) >= sizeof buffer) {
    return internal::failWithErrno(length < 0 ? errno : ENAMETOOLONG);
  }
  out->assign(buffer, static_cast<size_t>(length));
  return true;
}

bool createDirectory(const char16_t* path) {
  std::string host;
  if (!internal::resolveHostPath(path, &host)) return false;
  if (mkdir(host.c_str(), kNewDirectoryMode) == 0) return true;
  // CreateDirectoryW reports a missing parent as a missing path, never as a missing file.
  if (errno == ENOENT) return internal::failWith(kErrorPathNotFound);
  return internal::failWithErrnoForPath(errno, host);
}

void releaseFreeMemory() {
#ifdef __GLIBC__
  malloc_trim(0);
#endif
}

}  // namespace platform
