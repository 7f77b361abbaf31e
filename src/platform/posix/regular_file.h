// Opening the files whose contents the backend reads or writes (table-store files, checksum
// inputs): only regular files of real file systems, and never a blocking open or read.
#ifndef FSCANNER_PLATFORM_POSIX_REGULAR_FILE_H
#define FSCANNER_PLATFORM_POSIX_REGULAR_FILE_H

#include <sys/types.h>

#include <cstdint>

#include <string>

namespace platform {
namespace internal {

// open(2) of a host path with O_NONBLOCK, O_NOCTTY and O_CLOEXEC added to flags, so that neither
// the open nor a later read waits on a FIFO or device; mode applies with O_CREAT. The descriptor
// is checked with fstat before anything reads it: a directory, FIFO, socket or device, and any
// file of a pseudo file system (/proc/kmsg is "regular" yet blocks its reader), is closed again
// and refused with kErrorAccessDenied. On success *size receives the file's length; -1 (last
// error set) on failure.
int openRegularFile(const std::string& host, int flags, mode_t mode, uint64_t* size);

}  // namespace internal
}  // namespace platform

#endif  // FSCANNER_PLATFORM_POSIX_REGULAR_FILE_H
