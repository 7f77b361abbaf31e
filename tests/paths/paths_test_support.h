// Helpers shared by the path and drive tests: readable renderings of path and drive lists and a
// scoped shell-folder table.
#ifndef FSCANNER_TESTS_PATHS_PATHS_TEST_SUPPORT_H
#define FSCANNER_TESTS_PATHS_PATHS_TEST_SUPPORT_H

#include <cstdlib>
#include <string>
#include <vector>

#include "PathEntry.h"
#include "paths/drive_entry.h"
#include "paths/pathhelper.h"
#include "platform/platform.h"
#include "support/narrow_text.h"

using Strings = std::vector<std::string>;

// "path" for a non-recursive entry, "path/r" for a recursive one.
inline std::string render(const PathEntry& entry) {
  return narrow(entry.path()) + (entry.recursive() ? "/r" : "");
}
inline Strings render(const PathList& list) {
  Strings out;
  for (const PathEntry& entry : list) out.push_back(render(entry));
  return out;
}

// "path[/r] type filesystem" per entry, with " excluded" when the drive is.
inline Strings render(const ResolvedPathList& list) {
  Strings out;
  for (const ResolvedPath& entry : list) {
    out.push_back(render(entry.path) + " " + std::to_string(entry.drive.type()) + " " +
                  narrow(entry.drive.fileSystem()) + (entry.drive.excluded() ? " excluded" : ""));
  }
  return out;
}

// "drive filesystem type" per entry, with " excluded" when the flag is set.
inline Strings render(const DriveList& list) {
  Strings out;
  for (const DriveEntry& drive : list) {
    out.push_back(narrow(drive.drive()) + " " + narrow(drive.fileSystem()) + " " +
                  std::to_string(drive.type()) + (drive.excluded() ? " excluded" : ""));
  }
  return out;
}

inline PathList pathList(const std::vector<std::u16string>& paths, bool recursive = false) {
  PathList out;
  for (const std::u16string& path : paths) out.emplace_back(path.c_str(), recursive);
  return out;
}

// Sets the shell folders ("id=path;...") that the POSIX emulation of the folder look-up answers
// from, for the life of the object. On Windows the real shell answers and kSupported is false.
class ScopedShellFolders {
 public:
#ifndef _WIN32
  static constexpr bool kSupported = true;
  explicit ScopedShellFolders(const char* table) { setenv(kVariable, table, 1); }
  ~ScopedShellFolders() { unsetenv(kVariable); }
#else
  static constexpr bool kSupported = false;
  explicit ScopedShellFolders(const char*) {}
#endif
  ScopedShellFolders(const ScopedShellFolders&) = delete;
  ScopedShellFolders& operator=(const ScopedShellFolders&) = delete;

 private:
  static constexpr const char* kVariable = "FSCANNER_SHELL_FOLDERS";
};

#endif  // FSCANNER_TESTS_PATHS_PATHS_TEST_SUPPORT_H
