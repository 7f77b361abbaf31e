// Windows-namespace paths over the drive table: host mapping both ways, _wfullpath and the
// current directory.
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/drive_table.h"
#include "platform/posix/errno_mapping.h"
#include "platform/posix/host_text.h"
#include "platform/posix/path_resolution.h"

namespace platform {
namespace {

using internal::isDriveLetter;
using internal::isPathSeparator;

constexpr size_t kDrivePrefixLength = 2;  // "C:"

char16_t upperLetter(char16_t letter) {
  return letter >= u'a' && letter <= u'z' ? static_cast<char16_t>(letter - u'a' + u'A') : letter;
}

// Applies the components of text to a path held without trailing separator: empty components
// and "." are dropped, ".." removes the last component but nothing of the first `floor`
// characters, and every other component is appended after a separator by append(start, length),
// which may fail. Returns false when an append failed.
template <typename Path, typename Append>
bool applyComponents(const char16_t* text, Path* path, size_t floor,
                     typename Path::value_type separator, Append append) {
  const char16_t* cursor = text;
  while (*cursor != 0) {
    while (isPathSeparator(*cursor)) ++cursor;
    const char16_t* start = cursor;
    while (*cursor != 0 && !isPathSeparator(*cursor)) ++cursor;
    const size_t length = static_cast<size_t>(cursor - start);
    if (length == 0 || (length == 1 && start[0] == u'.')) continue;
    if (length == 2 && start[0] == u'.' && start[1] == u'.') {
      const size_t slash = path->rfind(separator);
      if (slash != Path::npos && slash >= floor) path->resize(slash);
      continue;
    }
    path->push_back(separator);
    if (!append(start, length)) return false;
  }
  return true;
}

size_t wideLength(const char16_t* text) {
  size_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

// The current directory without trailing separator ("C:" at the root of C).
bool currentDirectoryBase(std::u16string* out) {
  if (!internal::currentDirectory(out)) return false;
  if (out->size() > kDrivePrefixLength && out->back() == u'\\') out->pop_back();
  return true;
}

}  // namespace

namespace internal {

bool resolveFullPath(const char16_t* path, std::u16string* out) {
  if (path == nullptr || path[0] == 0) return failWith(kErrorInvalidParameter);
  const char16_t* rest = path;
  if (isDriveLetter(path[0]) && path[1] == u':') {
    rest = path + kDrivePrefixLength;
    std::u16string current;
    if (!isPathSeparator(rest[0]) && currentDirectoryBase(&current) &&
        upperLetter(current[0]) == upperLetter(path[0])) {
      *out = current;  // "C:relative" while the current directory is on C
    } else {
      out->assign(path, kDrivePrefixLength);
    }
  } else if (isPathSeparator(path[0])) {
    if (isPathSeparator(path[1])) return failWith(kErrorInvalidName);  // UNC: no such drives
    if (!currentDirectoryBase(out)) return false;
    out->resize(kDrivePrefixLength);
  } else if (!currentDirectoryBase(out)) {
    return false;
  }
  applyComponents(rest, out, kDrivePrefixLength, u'\\',
                  [out](const char16_t* start, size_t length) {
                    out->append(start, length);
                    return true;
                  });
  const size_t length = wideLength(path);
  const bool trailingSeparator = isPathSeparator(path[length - 1]);
  if (out->size() == kDrivePrefixLength || trailingSeparator) out->push_back(u'\\');
  return true;
}

bool resolveHostPath(const char16_t* path, std::string* out) {
  std::u16string full;
  return resolveFullPath(path, &full) && hostPath(full.c_str(), out);
}

}  // namespace internal

bool hostPath(const char16_t* path, std::string* out) {
  if (path == nullptr || out == nullptr || !isDriveLetter(path[0]) || path[1] != u':') {
    return internal::failWith(kErrorPathNotFound);
  }
  const auto table = internal::currentDriveTable();
  const internal::DriveSpec* drive = table->find(path[0]);
  if (drive == nullptr) return internal::failWith(kErrorPathNotFound);
  std::string host = drive->root == "/" ? std::string() : drive->root;
  const size_t rootLength = host.size();
  const char16_t* rest = path + kDrivePrefixLength;
  const size_t restLength = wideLength(rest);
  host.reserve(rootLength + restLength + 1);
  if (!applyComponents(rest, &host, rootLength, '/', [&host](const char16_t* start, size_t length) {
        return internal::wideToHost(start, length, &host);
      })) {
    return internal::failWith(kErrorInvalidName);
  }
  const bool trailingSeparator = restLength > 0 && isPathSeparator(rest[restLength - 1]);
  if (host.size() == rootLength || (trailingSeparator && host.size() > rootLength)) {
    host.push_back('/');
  }
  if (host.size() > 1 && host.size() == rootLength + 1) host.pop_back();  // the drive root itself
  *out = std::move(host);
  return true;
}

bool driveQualifiedPath(const std::string& host, std::u16string* out) {
  if (out == nullptr || host.empty() || host[0] != '/') {
    return internal::failWith(kErrorPathNotFound);
  }
  const auto table = internal::currentDriveTable();
  std::string rest;
  const internal::DriveSpec* drive = table->holder(internal::normaliseHostPath(host), &rest);
  if (drive == nullptr) return internal::failWith(kErrorPathNotFound);
  out->assign(1, static_cast<char16_t>(drive->letter));
  out->append(u":\\");
  const size_t restStart = out->size();
  internal::hostToWide(rest.data(), rest.size(), out);
  for (size_t i = restStart; i < out->size(); ++i) {
    if ((*out)[i] == u'/') (*out)[i] = u'\\';
  }
  return true;
}

char16_t* fullPath(char16_t* buffer, const char16_t* path, size_t capacity) {
  if (buffer == nullptr) {
    setLastError(kErrorInvalidParameter);
    return nullptr;
  }
  std::u16string full;
  if (!internal::resolveFullPath(path, &full)) return nullptr;
  if (full.size() + 1 > capacity) {
    setLastError(kErrorFilenameTooLong);
    return nullptr;
  }
  std::memcpy(buffer, full.c_str(), (full.size() + 1) * sizeof(char16_t));
  return buffer;
}

namespace internal {

bool currentDirectory(std::u16string* out) {
  std::vector<char> buffer(PATH_MAX);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return internal::failWithErrno(errno);
    buffer.resize(buffer.size() * 2);
  }
  return driveQualifiedPath(buffer.data(), out);
}

}  // namespace internal
}  // namespace platform
