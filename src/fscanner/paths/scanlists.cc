#include "paths/scanlists.h"

#include <algorithm>
#include <vector>

#include "base/wstring.h"
#include "paths/list_duplicates.h"

namespace {

// Characters of a drive-wide pattern such as C:*.tmp: letter, ':', '*'.
constexpr size_t kDriveWidePatternLength = 3;
constexpr size_t kDriveLetterLength = 2;

bool sameDriveKind(const DriveEntry& a, const DriveEntry& b) {
  return a.type() == b.type() && wcsCompare(a.fileSystem(), b.fileSystem(), true) == 0;
}

// The shorter text begins the longer one (exact, over the shorter length).
bool oneBeginsOther(const char16_t* a, size_t aLength, const char16_t* b, size_t bLength) {
  return wcsCompareN(a, b, std::min(aLength, bLength), true) == 0;
}

}  // namespace

void drivesToPaths(const DriveList& drives, PathList* out) {
  if (out == nullptr) return;
  for (const DriveEntry& drive : drives) out->emplace_back(drive.drive(), true);
}

void subtractPaths(const PathList& a, const PathList& b, PathList* out) {
  if (out == nullptr) return;
  for (const PathEntry& entry : a) {
    if (std::find(b.begin(), b.end(), entry) == b.end()) out->push_back(entry);
  }
}

bool removeDuplicatePaths(PathList* list) { return removeEarlierDuplicates(list); }

void selectPathsByDriveType(const ResolvedPathList& resolved, uint32_t mask, PathList* out) {
  if (out == nullptr) return;
  for (const ResolvedPath& entry : resolved) {
    if ((entry.drive.type() & mask) != 0) out->push_back(entry.path);
  }
}

void pathsOnSameDrive(const ResolvedPath& scan, const PathList& paths, PathList* out) {
  const char16_t* scanPath = scan.path.path();
  const char16_t* colon = scanPath != nullptr ? wcsFind(scanPath, u":") : nullptr;
  if (out == nullptr || colon == nullptr) return;
  const size_t prefixLength = static_cast<size_t>(colon - scanPath) + 1;
  for (const PathEntry& path : paths) {
    if (wcsLength(path.path()) >= prefixLength &&
        wcsNICompare(path.path(), scanPath, prefixLength) == 0) {
      out->push_back(path);
    }
  }
}

void exclusionsUnder(const ResolvedPath& scan, const ResolvedPathList& resolved, PathList* out) {
  if (out == nullptr || scan.path.path() == nullptr) return;
  const char16_t* scanPath = scan.path.path();
  const size_t scanLength = wcsLength(scanPath);
  for (const ResolvedPath& entry : resolved) {
    const char16_t* path = entry.path.path();
    const size_t length = wcsLength(path);
    const bool below = length > scanLength && wcsNICompare(path, scanPath, scanLength) == 0 &&
                       entry.drive.type() == scan.drive.type();
    const bool driveWide = length >= kDriveWidePatternLength && scanLength >= kDriveLetterLength &&
                           toLowerChar(path[0]) == toLowerChar(scanPath[0]) && path[1] == u':' &&
                           path[2] == u'*';
    if (below || driveWide) out->push_back(entry.path);
  }
}

void collapseScanPaths(const ResolvedPathList& resolved, ResolvedPathList* out) {
  if (out == nullptr) return;
  // Work on positions into resolved: erasing ResolvedPath values would shift them by assignment,
  // which does not carry a drive's excluded flag along.
  std::vector<size_t> kept(resolved.size());
  for (size_t i = 0; i < kept.size(); ++i) kept[i] = i;

  for (size_t i = 0; i < kept.size();) {
    bool removedAtI = false;
    for (size_t j = i + 1; j < kept.size();) {
      const ResolvedPath& a = resolved[kept[i]];
      const ResolvedPath& b = resolved[kept[j]];
      const size_t aLength = wcsLength(a.path.path());
      const size_t bLength = wcsLength(b.path.path());
      const bool covers = sameDriveKind(a.drive, b.drive) && !a.drive.excluded() &&
                          !b.drive.excluded() &&
                          oneBeginsOther(a.path.path(), aLength, b.path.path(), bLength);
      if (!covers) {
        ++j;
      } else if (aLength >= bLength) {
        kept.erase(kept.begin() + i);
        removedAtI = true;
        break;
      } else {
        kept.erase(kept.begin() + j);
      }
    }
    if (!removedAtI) ++i;
  }

  // Of entries with the same drive type and text only the last stays.
  for (size_t i = 0; i < kept.size();) {
    const ResolvedPath& a = resolved[kept[i]];
    bool later = false;
    for (size_t j = i + 1; j < kept.size() && !later; ++j) {
      const ResolvedPath& b = resolved[kept[j]];
      later =
          a.drive.type() == b.drive.type() && wcsCompare(a.path.path(), b.path.path(), true) == 0;
    }
    if (later) {
      kept.erase(kept.begin() + i);
    } else {
      ++i;
    }
  }
  for (size_t index : kept) out->push_back(resolved[index]);
}
