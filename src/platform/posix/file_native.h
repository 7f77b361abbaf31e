// The state behind File, shared with FileMapping.
#ifndef FSCANNER_PLATFORM_POSIX_FILE_NATIVE_H
#define FSCANNER_PLATFORM_POSIX_FILE_NATIVE_H

#include <unistd.h>

#include "platform/platform.h"

namespace platform {

struct File::Native {
  explicit Native(int descriptor) : fd(descriptor) {}
  ~Native() { close(fd); }
  Native(const Native&) = delete;
  Native& operator=(const Native&) = delete;

  const int fd;
  // Views made from this File that are still mapped: while there is one the file is not cut,
  // as Windows refuses to cut a file that a view of the same process maps.
  int mappings = 0;
};

}  // namespace platform

#endif  // FSCANNER_PLATFORM_POSIX_FILE_NATIVE_H
