// The list builders that turn the resolver's output and the drive lists into the lists a query
// works with: the scan list of directories to search, the pattern lists by drive type, and the
// includes and exclusions on the drive of one scan path. Every builder appends to its output and
// keeps the order of its input.
#ifndef FSCANNER_PATHS_SCANLISTS_H
#define FSCANNER_PATHS_SCANLISTS_H

#include <cstdint>

#include "PathEntry.h"
#include "paths/drive_entry.h"
#include "paths/pathhelper.h"

// For each drive, its name as a recursive path.
void drivesToPaths(const DriveList& drives, PathList* out);

// Each entry of a that has no equal entry (same text, same recursive flag) in b.
void subtractPaths(const PathList& a, const PathList& b, PathList* out);

// Keeps only the last copy of each entry; true when anything was removed.
bool removeDuplicatePaths(PathList* list);

// The path of each resolved entry whose drive-type bit is in mask.
void selectPathsByDriveType(const ResolvedPathList& resolved, uint32_t mask, PathList* out);

// Each path that begins with the scan path's drive prefix (its text up to and including the first
// ':'), without regard to case. Nothing when the scan path has no ':'.
void pathsOnSameDrive(const ResolvedPath& scan, const PathList& paths, PathList* out);

// The path of each resolved entry that lies below the scan path (longer, begins with it without
// regard to case, on a drive of the same type), or that is a drive-wide pattern on the scan
// path's drive letter (such as C:*.tmp).
void exclusionsUnder(const ResolvedPath& scan, const ResolvedPathList& resolved, PathList* out);

// The scan list: the parent-resolved includes without the entries that another one covers. Of two
// entries on drives of the same type and file system, neither excluded, where the shorter text
// begins the longer (as plain text: C:\foo covers C:\foobar), the longer goes; of entries with
// the same drive type and text, the last stays.
void collapseScanPaths(const ResolvedPathList& resolved, ResolvedPathList* out);

#endif  // FSCANNER_PATHS_SCANLISTS_H
