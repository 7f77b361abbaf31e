// FindFirstFileW / FindNextFileW over readdir. This is the hot path of every disk walk, so an
// entry costs one readdir step, one fstatat on the open directory (no path building), the name
// conversion into a reused buffer and, only for symbolic links, a second fstatat. A search for
// names first costs no fstatat for a file the directory entry types as neither directory nor
// link until complete() asks for it.
//
// Walks stop at two kinds of directory, which are reported as reparse points: the mount point of
// a pseudo file system (found by a device number that differs from the listed directory's, looked
// up in the cached mount table) and the root of another drive (by name, from the drive table).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/fault.h"
#include "platform/nothrow_object.h"
#include "platform/platform.h"
#include "platform/posix/drive_table.h"
#include "platform/posix/errno_mapping.h"
#include "platform/posix/file_time.h"
#include "platform/posix/host_text.h"
#include "platform/posix/name_pattern.h"
#include "platform/posix/path_resolution.h"
#include "platform/posix/pseudo_mounts.h"

namespace platform {

struct DirectorySearch::Native {
  Native() = default;
  ~Native() {
    if (directory != nullptr) closedir(directory);
  }
  Native(const Native&) = delete;
  Native& operator=(const Native&) = delete;

  DIR* directory = nullptr;                 // null for a search of one exact name
  dev_t device = 0;                         // the listed directory's
  std::vector<std::string> driveRootNames;  // of drive roots inside the listed directory
  std::u16string pattern;
  bool matchAll = false;
  bool skipDotEntries = false;  // a drive root lists no "." and ".." on Windows
  std::u16string name;          // the current entry's name, reused
  bool deferDetails = false;
  // The entry of a match whose details are pending; valid until the next readdir.
  const dirent* pending = nullptr;
};

namespace {

constexpr int kDirectoryOpenFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY;
constexpr size_t kDriveRootLength = 3;  // "C:\"

bool isDotEntry(const char* name) {
  return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

uint32_t attributesOf(mode_t mode, bool linkToDirectory, bool hidden) {
  uint32_t attributes = 0;
  if (S_ISLNK(mode)) {
    attributes |= kAttrReparsePoint;
    if (linkToDirectory) attributes |= kAttrDirectory;
  } else {
    if (S_ISDIR(mode)) attributes |= kAttrDirectory;
    if (!S_ISDIR(mode) && !S_ISREG(mode)) attributes |= kAttrDevice;
    if ((mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) attributes |= kAttrReadOnly;
  }
  if (hidden) attributes |= kAttrHidden;
  return attributes == 0 ? kAttrNormal : attributes;
}

void fillFromStat(const struct stat& info, bool linkToDirectory, bool hidden, FindData* out) {
  out->attributes = attributesOf(info.st_mode, linkToDirectory, hidden);
  out->creationTime = internal::fileTimeFromUnix(info.st_ctim.tv_sec, info.st_ctim.tv_nsec);
  out->lastAccessTime = internal::fileTimeFromUnix(info.st_atim.tv_sec, info.st_atim.tv_nsec);
  out->lastWriteTime = internal::fileTimeFromUnix(info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
  // A symbolic link reports no size of its own, like a reparse point on Windows.
  out->size = S_ISLNK(info.st_mode) ? 0 : static_cast<uint64_t>(info.st_size);
}

// When an entry cannot be examined (say, a directory that may be read but not searched) it
// is still reported, from its directory entry type alone.
void fillFromEntryType(unsigned char type, bool hidden, FindData* out) {
  mode_t mode = S_IFREG | S_IWUSR;
  switch (type) {
    case DT_DIR:
      mode = S_IFDIR | S_IWUSR;
      break;
    case DT_LNK:
      mode = S_IFLNK;
      break;
    case DT_FIFO:
      mode = S_IFIFO | S_IWUSR;
      break;
    case DT_SOCK:
      mode = S_IFSOCK | S_IWUSR;
      break;
    case DT_CHR:
      mode = S_IFCHR | S_IWUSR;
      break;
    case DT_BLK:
      mode = S_IFBLK | S_IWUSR;
      break;
    default:
      break;
  }
  out->attributes = attributesOf(mode, false, hidden);
  out->creationTime = out->lastAccessTime = out->lastWriteTime = 0;
  out->size = 0;
}

// Whether an entry of this type may leave its details pending: the walk needs a directory's and
// a link's at once, and an unknown type is only known from fstatat.
bool isDeferrableType(unsigned char type) {
  return type != DT_DIR && type != DT_LNK && type != DT_UNKNOWN;
}

// A directory holding another file system that no walk enters shows as a reparse point.
bool isMountedPseudoFileSystem(const struct stat& info, dev_t parentDevice) {
  return S_ISDIR(info.st_mode) && info.st_dev != parentDevice &&
         internal::isPseudoFileSystemDevice(info.st_dev);
}

bool namesOneOf(const std::vector<std::string>& names, const char* name) {
  for (const std::string& candidate : names) {
    if (candidate == name) return true;
  }
  return false;
}

bool linksToDirectory(int directoryFd, const char* name) {
  struct stat target {};
  return fstatat(directoryFd, name, &target, 0) == 0 && S_ISDIR(target.st_mode);
}

// One name, no wildcard: the entry itself, not followed when it is a link.
std::unique_ptr<DirectorySearch> startExact(const char16_t* pattern, FindData* first) {
  std::u16string full;
  std::string host;
  if (!internal::resolveFullPath(pattern, &full) || !hostPath(full.c_str(), &host)) {
    return nullptr;
  }
  if (full.size() <= kDriveRootLength || full.back() == u'\\') {
    internal::failWith(kErrorFileNotFound);
    return nullptr;
  }
  struct stat info {};
  if (lstat(host.c_str(), &info) != 0) {
    internal::failWithErrnoForPath(errno, host);
    return nullptr;
  }
  const size_t nameStart = full.rfind(u'\\') + 1;
  const bool hidden = full[nameStart] == u'.';
  fillFromStat(info, S_ISLNK(info.st_mode) && linksToDirectory(AT_FDCWD, host.c_str()), hidden,
               first);
  if (S_ISDIR(info.st_mode)) {
    const std::string normalised = internal::normaliseHostPath(host);
    const size_t slash = normalised.rfind('/');
    const std::string parent = slash == 0 ? std::string("/") : normalised.substr(0, slash);
    struct stat parentInfo {};
    if ((stat(parent.c_str(), &parentInfo) == 0 &&
         isMountedPseudoFileSystem(info, parentInfo.st_dev)) ||
        internal::currentDriveTable()->isRootOfOtherDrive(full[0], normalised)) {
      first->attributes |= kAttrReparsePoint;
    }
  }
  first->name.assign(full, nameStart, std::u16string::npos);
  first->shortName.clear();
  first->detailsPending = false;
  return internal::wrapNative<DirectorySearch>(internal::makeNothrow<DirectorySearch::Native>());
}

// The directory part of a wildcard pattern as a path of its own ("" is ".", "C:" is "C:.").
std::u16string directoryOf(const char16_t* pattern, size_t nameStart) {
  std::u16string directory(pattern, nameStart);
  if (directory.empty() || directory.back() == u':') directory.push_back(u'.');
  return directory;
}

// Fills out from fstatat of the listed entry (from its type alone when it cannot be examined).
// False when it no longer exists.
bool describe(const DirectorySearch::Native& native, const dirent* entry, bool dotEntry,
              bool hidden, FindData* out) {
  const int directoryFd = dirfd(native.directory);
  const char* entryName = entry->d_name;
  struct stat info {};
  if (fstatat(directoryFd, entryName, &info, AT_SYMLINK_NOFOLLOW) == 0) {
    const bool link = S_ISLNK(info.st_mode);
    fillFromStat(info, link && linksToDirectory(directoryFd, entryName), hidden, out);
    if (S_ISDIR(info.st_mode) && !dotEntry &&
        (isMountedPseudoFileSystem(info, native.device) ||
         namesOneOf(native.driveRootNames, entryName))) {
      out->attributes |= kAttrReparsePoint;
    }
    return true;
  }
  if (errno == ENOENT) return false;
  fillFromEntryType(entry->d_type, hidden, out);
  return true;
}

}  // namespace

DirectorySearch::DirectorySearch(std::unique_ptr<Native> native) : native_(std::move(native)) {}

DirectorySearch::~DirectorySearch() = default;

std::unique_ptr<DirectorySearch> DirectorySearch::start(const char16_t* pattern, FindData* first,
                                                        FindDetails details) {
  if (pattern == nullptr || first == nullptr) {
    internal::failWith(kErrorInvalidParameter);
    return nullptr;
  }
  size_t length = 0;
  size_t nameStart = 0;
  for (; pattern[length] != 0; ++length) {
    if (internal::isPathSeparator(pattern[length])) nameStart = length + 1;
  }
  if (nameStart == 0 && length >= 2 && internal::isDriveLetter(pattern[0]) && pattern[1] == u':') {
    nameStart = 2;
  }
  const char16_t* name = pattern + nameStart;
  const size_t nameLength = length - nameStart;
  if (nameLength == 0) {
    internal::failWith(kErrorFileNotFound);
    return nullptr;
  }
  if (internal::hasWildcard(pattern, nameStart)) {
    internal::failWith(kErrorInvalidName);
    return nullptr;
  }
  if (internal::faultFires(testing::Fault::kDirectoryRead)) return nullptr;
  if (!internal::hasWildcard(name, nameLength)) return startExact(pattern, first);
  std::u16string directory;
  std::string host;
  if (!internal::resolveFullPath(directoryOf(pattern, nameStart).c_str(), &directory) ||
      !hostPath(directory.c_str(), &host)) {
    return nullptr;
  }
  auto native = internal::makeNothrow<Native>();
  if (native == nullptr) return nullptr;
  const int fd = open(host.c_str(), kDirectoryOpenFlags);
  if (fd < 0) {
    const int error = errno;
    internal::failWith(error == ENOENT ? kErrorPathNotFound : internal::errorFromErrno(error));
    return nullptr;
  }
  native->directory = fdopendir(fd);
  if (native->directory == nullptr) {
    internal::failWithErrno(errno);
    close(fd);
    return nullptr;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    internal::failWithErrno(errno);
    return nullptr;
  }
  if (internal::isPseudoFileSystemDevice(info.st_dev)) {
    internal::failWith(kErrorAccessDenied);  // a pseudo file system is never listed
    return nullptr;
  }
  native->device = info.st_dev;
  native->driveRootNames =
      internal::currentDriveTable()->rootNamesIn(internal::normaliseHostPath(host));
  native->pattern.assign(name, nameLength);
  native->matchAll = internal::matchesEveryName(name, nameLength);
  native->skipDotEntries = directory.size() == kDriveRootLength;
  native->deferDetails = details == FindDetails::kNamesFirst;
  auto search = internal::wrapNative<DirectorySearch>(std::move(native));
  if (search == nullptr) return nullptr;
  if (!search->next(first)) {
    if (lastError() == kErrorNoMoreFiles) setLastError(kErrorFileNotFound);
    return nullptr;
  }
  return search;
}

bool DirectorySearch::next(FindData* out) {
  if (out == nullptr) return internal::failWith(kErrorInvalidParameter);
  if (native_->directory == nullptr) return internal::failWith(kErrorNoMoreFiles);
  if (internal::faultFires(testing::Fault::kDirectoryRead)) return false;
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(native_->directory);
    if (entry == nullptr) {
      return internal::failWith(errno == 0 ? kErrorNoMoreFiles : internal::errorFromErrno(errno));
    }
    const char* entryName = entry->d_name;
    const bool dotEntry = isDotEntry(entryName);
    if (dotEntry && native_->skipDotEntries) continue;
    std::u16string& name = native_->name;
    name.clear();
    internal::hostToWide(entryName, std::strlen(entryName), &name);
    if (!native_->matchAll &&
        !internal::matchesWildcard(native_->pattern.data(), native_->pattern.size(), name.data(),
                                   name.size())) {
      continue;
    }
    const bool hidden = entryName[0] == '.' && !dotEntry;
    out->detailsPending = native_->deferDetails && isDeferrableType(entry->d_type);
    native_->pending = out->detailsPending ? entry : nullptr;
    if (out->detailsPending) {
      fillFromEntryType(entry->d_type, hidden, out);
    } else if (!describe(*native_, entry, dotEntry, hidden, out)) {
      continue;  // vanished since it was listed
    }
    out->name.assign(name);
    out->shortName.clear();
    return true;
  }
}

bool DirectorySearch::complete(FindData* entry) {
  if (entry == nullptr) return internal::failWith(kErrorInvalidParameter);
  if (!entry->detailsPending) return true;
  if (native_->pending == nullptr) return internal::failWith(kErrorInvalidParameter);
  entry->detailsPending = false;
  const bool hidden = (entry->attributes & kAttrHidden) != 0;
  if (!describe(*native_, native_->pending, false, hidden, entry)) {
    return internal::failWith(kErrorFileNotFound);
  }
  return true;
}

}  // namespace platform
