// Paths between the command line, the system and the output: the system speaks in
// drive-qualified paths (C:\usr\include), a person in host paths (/usr/include on Linux).
#ifndef FSCANNER_TOOLS_FSQUERY_QUERY_PATHS_H
#define FSCANNER_TOOLS_FSQUERY_QUERY_PATHS_H

#include <string>

// The drive-qualified form of a path argument. Media words ($remote::*.doc) and drive paths
// (C:\x) pass as they are; an absolute host path is mapped through the drive table, any other
// text is taken from the current directory, and a mapped path on a drive that is not fixed gets
// the media word of its group ($remote::R:\x, $other::E:\x). False, with the reason in *error,
// when the path lies on no drive.
bool toQueryPath(const std::string& argument, std::u16string* out, std::string* error);

// The drive-qualified form of a drive path (as it is) or of a host path (absolute, or taken from
// the current directory), without a media word. False, with the reason in *error, when it lies
// on no drive.
bool toDrivePath(const std::string& hostPath, std::u16string* out, std::string* error);

// The narrow text of a drive-qualified path: its host form, or the path itself when drivePaths
// is set or no drive maps it.
std::string toOutputPath(const std::u16string& drivePath, bool drivePaths);

#endif  // FSCANNER_TOOLS_FSQUERY_QUERY_PATHS_H
