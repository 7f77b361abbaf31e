// _wstat over stat(2), in the C runtime's vocabulary.
#include <sys/stat.h>

#include <cerrno>

#include "platform/platform.h"
#include "platform/posix/errno_mapping.h"
#include "platform/posix/path_resolution.h"

namespace platform {
namespace {

uint32_t modeOf(mode_t mode) {
  uint32_t bits;
  if (S_ISDIR(mode)) {
    bits = kStatDirectory;
  } else if (S_ISREG(mode)) {
    bits = kStatRegular;
  } else {
    bits = kStatCharDevice;  // FIFO, socket, character or block device
  }
  if ((mode & S_IRUSR) != 0) bits |= kStatRead;
  if ((mode & S_IWUSR) != 0) bits |= kStatWrite;
  if ((mode & S_IXUSR) != 0) bits |= kStatExec;
  return bits;
}

}  // namespace

bool statPath(const char16_t* path, StatInfo* out) {
  std::u16string full;
  std::string host;
  if (out == nullptr) return internal::failWith(kErrorInvalidParameter);
  if (!internal::resolveFullPath(path, &full) || !hostPath(full.c_str(), &host)) return false;
  struct stat info {};
  if (stat(host.c_str(), &info) != 0) return internal::failWithErrnoForPath(errno, host);
  const char16_t letter = full[0] >= u'a' ? static_cast<char16_t>(full[0] - u'a' + u'A') : full[0];
  out->mode = modeOf(info.st_mode);
  out->device = static_cast<uint32_t>(letter - u'A');
  out->inode = static_cast<uint32_t>(info.st_ino);
  out->linkCount = static_cast<uint32_t>(info.st_nlink);
  out->userId = info.st_uid;
  out->groupId = info.st_gid;
  out->size = static_cast<int64_t>(info.st_size);
  out->accessTime = static_cast<int64_t>(info.st_atim.tv_sec);
  out->modificationTime = static_cast<int64_t>(info.st_mtim.tv_sec);
  out->changeTime = static_cast<int64_t>(info.st_ctim.tv_sec);
  return true;
}

}  // namespace platform
