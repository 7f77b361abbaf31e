// Path resolution: turns the paths of a query (media prefixes such as "$remote::", media drives
// such as "$other:", drive wildcards "?:" and "*:", shell-folder tokens such as %CSIDL_WINDOWS%,
// relative paths) into drive-qualified paths bound to the drive they lie on.
//
// Every path is handled in buffers of platform::kMaxPath characters: a text that does not fit is
// refused (dropped or left unresolved), never cut.
#ifndef FSCANNER_PATHS_PATHHELPER_H
#define FSCANNER_PATHS_PATHHELPER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "PathEntry.h"
#include "ZrLogWrapper.h"
#include "paths/drive_entry.h"

// A path bound to the drive it lies on.
struct ResolvedPath {
  PathEntry path;
  DriveEntry drive;
};
using ResolvedPathList = std::vector<ResolvedPath>;

// True when a and b are the same entry of a resolved list: equal path texts, equal file-system
// names and equal drive-type bits (all exact). Recursive flags and drive names play no part.
bool sameEntry(const ResolvedPath& a, const ResolvedPath& b);

class PathHelper {
 public:
  PathHelper();

  // Resolves every entry of paths against drives (the usable drives). The four outputs are emptied
  // first; excluded stays empty. parentResolved receives the directories to walk, resolved the
  // paths and patterns themselves, unresolved what could not be resolved (with an empty drive).
  // Each output is grouped by drive type (removable, fixed, remote, CD-ROM, RAM disk) and keeps
  // the input order within a group; parentResolved and unresolved keep only paths that
  // isPathIncluded(path, driveIncludes, driveExcludes) accepts. Always true.
  bool pathResolver(const PathList& paths, const DriveList& drives, const PathList& driveIncludes,
                    const PathList& driveExcludes, ResolvedPathList* parentResolved,
                    ResolvedPathList* resolved, ResolvedPathList* excluded,
                    ResolvedPathList* unresolved);

  // False when typeMask is 0 (traced) or path is null; otherwise true when a drive of drives whose
  // type bit is in typeMask has a name that begins path (without regard to case).
  bool isValidPath(const DriveList& drives, uint32_t typeMask, const char16_t* path);

  // Copies input into output (capacity characters, zero included), replacing each %TOKEN% by the
  // folder of the first shell-folder token whose name begins with TOKEN (so %CSIDL_SYS% is the
  // system folder). A token that begins no name is copied as written; a '%' without a closing one
  // is an ordinary character. 0 on success; -1 for a null argument, zero capacity or a folder that
  // cannot be looked up; -2 when the output does not fit. Output is always terminated when
  // capacity allows.
  int expandFolderTokens(const char16_t* input, char16_t* output, size_t capacity);

  // The directory to walk for path: path itself without wildcards, else the drive followed by the
  // rest up to the last '\' before the first wildcard (C:\dir\*.txt gives C:\dir\), or the drive
  // followed by "\" when no such '\' exists (C:*.txt gives C:\). output holds platform::kMaxPath
  // characters; false, output empty, when the result does not fit or an argument is null.
  bool wildcardParent(const char16_t* path, char16_t* output);

  // The absolute form of path (relative to the current directory), allocated with malloc and
  // released with free; null for a null path, one of platform::kMaxPath characters or more, or
  // one whose absolute form does not fit.
  char16_t* realPath(const char16_t* path);

  // True unless an exclude entry matches path; when one does, true only when an include entry
  // matches too and the best exclude match is not longer than the best include match. Letter case
  // counts.
  bool isPathIncluded(const char16_t* path, const PathList& includes, const PathList& excludes);

  // Index of the longest entry of list that matches path (subtree matching for recursive entries,
  // letter case significant); the first of equally long ones; -1 for none.
  int findBestMatch(const char16_t* path, const PathList& list);

 private:
  ZrLogWrapper* logger_;
};

#endif  // FSCANNER_PATHS_PATHHELPER_H
