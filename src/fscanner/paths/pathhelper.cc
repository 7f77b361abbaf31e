#include "paths/pathhelper.h"

#include <string>

#include "base/wildcard.h"
#include "base/wstring.h"
#include "platform/platform.h"

bool sameEntry(const ResolvedPath& a, const ResolvedPath& b) {
  return a.drive.type() == b.drive.type() && wcsCompare(a.path.path(), b.path.path(), true) == 0 &&
         wcsCompare(a.drive.fileSystem(), b.drive.fileSystem(), true) == 0;
}

PathHelper::PathHelper() : logger_(getZrLogFs()) {}

bool PathHelper::isValidPath(const DriveList& drives, uint32_t typeMask, const char16_t* path) {
  if (typeMask == 0) {
    FS_TRACE(logger_, "PathHelper::isValidPath - media not valid!\n");
    return false;
  }
  if (path == nullptr) return false;
  for (const DriveEntry& drive : drives) {
    if ((drive.type() & typeMask) == 0 || drive.drive() == nullptr) continue;
    if (wcsNICompare(drive.drive(), path, wcsLength(drive.drive())) == 0) return true;
  }
  return false;
}

bool PathHelper::wildcardParent(const char16_t* path, char16_t* output) {
  if (output == nullptr) return false;
  output[0] = u'\0';
  if (path == nullptr) return false;
  const std::u16string text = path;
  const size_t colon = text.find(u':');
  const size_t restStart = colon == std::u16string::npos ? 0 : colon + 1;
  const size_t wildcard = text.find_first_of(u"*?", restStart);

  std::u16string parent;
  if (wildcard == std::u16string::npos) {
    parent = text;
  } else {
    const size_t backslash = text.rfind(u'\\', wildcard);
    if (backslash != std::u16string::npos && backslash > restStart) {
      parent = text.substr(0, backslash + 1);
    } else {
      parent = text.substr(0, restStart) + u"\\";
    }
  }
  if (parent.size() >= platform::kMaxPath) return false;
  parent.copy(output, parent.size());
  output[parent.size()] = u'\0';
  return true;
}

char16_t* PathHelper::realPath(const char16_t* path) {
  if (path == nullptr || wcsLength(path) >= platform::kMaxPath) return nullptr;
  char16_t buffer[platform::kMaxPath] = {};
  if (platform::fullPath(buffer, path, platform::kMaxPath) == nullptr) return nullptr;
  return wcsDuplicate(buffer);
}

bool PathHelper::isPathIncluded(const char16_t* path, const PathList& includes,
                                const PathList& excludes) {
  const int exclude = findBestMatch(path, excludes);
  if (exclude < 0) return true;
  const int include = findBestMatch(path, includes);
  if (include < 0) return false;
  // The more specific rule wins; a tie goes to inclusion.
  return wcsLength(excludes[exclude].path()) <= wcsLength(includes[include].path());
}

int PathHelper::findBestMatch(const char16_t* path, const PathList& list) {
  return ::findBestMatch(path, list, true);
}
