// Helpers shared by the path and drive tests: readable renderings of path and drive lists and a
// scoped shell-folder table.
#ifndef FSCANNER_TESTS_PATHS_PATHS_TEST_SUPPORT_H
#define FSCANNER_TESTS_PATHS_PATHS_TEST_SUPPORT_H

#include <cstdlib>
#include <string>
#include <vector>

#include "PathEntry.h"
#include "fscommon/drive_entry.h"
#include "fscommon/pathhelper.h"
#include "platform/platform.h"

inline std::string narrow(const char16_t* text) {
  if (text == nullptr) return "(null)";
  std::string out;
  platform::wideToNarrow(text, &out);
  return out;
}
inline std::string narrow(const std::u16string& text) { return narrow(text.c_str()); }

inline std::u16string wide(const std::string& text) {
  std::u16string out;
  platform::narrowToWide(text.c_str(), &out);
  return out;
}

// "path" for a non-recursive entry, "path/r" for a recursive one.
inline std::vector<std::string> render(const PathList& list) {
  std::vector<std::string> out;
  for (const PathEntry& entry : list) {
    out.push_back(narrow(entry.path()) + (entry.recursive() ? "/r" : ""));
  }
  return out;
}

// "path[/r] type filesystem" per entry.
inline std::vector<std::string> render(const ResolvedPathList& list) {
  std::vector<std::string> out;
  for (const ResolvedPath& entry : list) {
    out.push_back(narrow(entry.path.path()) + (entry.path.recursive() ? "/r " : " ") +
                  std::to_string(entry.drive.type()) + " " + narrow(entry.drive.fileSystem()));
  }
  return out;
}

// "drive filesystem type" per entry, with " excluded" when the flag is set.
inline std::vector<std::string> render(const DriveList& list) {
  std::vector<std::string> out;
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

// The shell folders that the POSIX emulation of the folder look-up answers from, for the life of
// the object. On Windows the real shell answers and supported() is false.
class ScopedShellFolders {
 public:
  explicit ScopedShellFolders(const char* table) {
#ifndef _WIN32
    const char* previous = std::getenv(kVariable);
    hadPrevious_ = previous != nullptr;
    if (hadPrevious_) previous_ = previous;
    setenv(kVariable, table, 1);
#else
    (void)table;
#endif
  }
  ~ScopedShellFolders() {
#ifndef _WIN32
    if (hadPrevious_) {
      setenv(kVariable, previous_.c_str(), 1);
    } else {
      unsetenv(kVariable);
    }
#endif
  }
  ScopedShellFolders(const ScopedShellFolders&) = delete;
  ScopedShellFolders& operator=(const ScopedShellFolders&) = delete;

  static bool supported() {
#ifndef _WIN32
    return true;
#else
    return false;
#endif
  }

 private:
  static constexpr const char* kVariable = "FSCANNER_SHELL_FOLDERS";
  bool hadPrevious_ = false;
  std::string previous_;
};

#endif  // FSCANNER_TESTS_PATHS_PATHS_TEST_SUPPORT_H
