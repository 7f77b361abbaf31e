#include "install_layout.h"

#include <cstdlib>

#include "platform/platform.h"
#include "query_paths.h"

namespace {

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

bool isDirectory(const std::u16string& path) {
  platform::StatInfo info;
  return platform::statPath(path.c_str(), &info) && (info.mode & platform::kStatDirectory) != 0;
}

}  // namespace

std::string defaultCacheHome() {
#ifdef _WIN32
  std::string base = environment("LOCALAPPDATA");
#else
  std::string base = environment("XDG_CACHE_HOME");
  if (base.empty() && !environment("HOME").empty()) base = environment("HOME") + "/.cache";
#endif
  return base.empty() ? base : base + kSeparator + "fscanner";
}

bool createDirectories(const std::u16string& path) {
  // Every prefix that ends before a backslash after the drive's root, then the path itself.
  for (size_t end = path.find(u'\\', 3);; end = path.find(u'\\', end + 1)) {
    const std::u16string prefix = path.substr(0, end);
    if (!prefix.empty() && prefix.back() != u':' && !isDirectory(prefix) &&
        !platform::createDirectory(prefix.c_str()) &&
        platform::lastError() != platform::kErrorAlreadyExists) {
      return false;
    }
    if (end == std::u16string::npos) return true;
  }
}

bool findInstallLayout(const std::string& homeArgument, InstallLayout* layout, std::string* error) {
  std::string program;
  if (!platform::executablePath(&program)) {
    *error =
        "cannot find the program's own file (error " + std::to_string(platform::lastError()) + ")";
    return false;
  }
  const std::string programDir = program.substr(0, program.find_last_of("/\\"));
  layout->moduleCandidates = {
      programDir + kSeparator + ".." + kSeparator + "lib" + kSeparator + FSQUERY_MODULE_NAME,
      programDir + kSeparator + FSQUERY_MODULE_NAME};
  // Only the monitor needs it: cache-only mode works with the program on no drive.
  if (toDrivePath(programDir, &layout->binDir, &layout->binDirProblem) &&
      layout->binDir.back() != u'\\') {
    layout->binDir += u'\\';
  }

  const std::string home = homeArgument.empty() ? defaultCacheHome() : homeArgument;
  if (home.empty()) {
    *error = "no cache directory: set HOME or XDG_CACHE_HOME, or give --home";
    return false;
  }
  if (!toDrivePath(home, &layout->cacheHome, error)) return false;
  if (!createDirectories(layout->cacheHome)) {
    *error = "cannot create the cache directory " + home + " (error " +
             std::to_string(platform::lastError()) + ")";
    return false;
  }
  return true;
}
