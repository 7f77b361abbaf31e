// Where fsquery finds what it needs: the module in ../lib beside its own bin directory (or next
// to the program, as in the build tree and on Windows), fsmon next to the program, and the
// cache in the user's cache directory.
#ifndef FSCANNER_TOOLS_FSQUERY_INSTALL_LAYOUT_H
#define FSCANNER_TOOLS_FSQUERY_INSTALL_LAYOUT_H

#include <string>
#include <vector>

struct InstallLayout {
  std::vector<std::string> moduleCandidates;  // host paths of the module, first choice first
  std::u16string binDir;      // drive path of the directory that holds fsmon, ending in '\'
  std::string binDirProblem;  // why binDir is empty: the program lies on no drive
  std::u16string cacheHome;   // drive path of the cache directory, which exists
};

// Fills layout for a cache home given on the command line (host or drive path; empty for the
// default). False with a one-line reason in *error.
bool findInstallLayout(const std::string& homeArgument, InstallLayout* layout, std::string* error);

// The default cache home in host form: $XDG_CACHE_HOME or ~/.cache on POSIX, %LOCALAPPDATA% on
// Windows, followed by "fscanner". Empty when none of the variables is set.
std::string defaultCacheHome();

// Creates the drive path's directory and its missing ancestors. False when one cannot be made.
bool createDirectories(const std::u16string& path);

#endif  // FSCANNER_TOOLS_FSQUERY_INSTALL_LAYOUT_H
