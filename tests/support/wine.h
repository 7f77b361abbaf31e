// Wine runs the Windows test programs on Linux. Where it is known to differ from Windows, a test
// checks for it and says so.
#ifndef FSCANNER_TESTS_SUPPORT_WINE_H
#define FSCANNER_TESTS_SUPPORT_WINE_H

#include <memory>

#include "platform/platform.h"

// True inside a Wine process: its ntdll exports wine_get_version. Always false on POSIX.
inline bool runningUnderWine() {
  std::unique_ptr<platform::Library> ntdll = platform::Library::loaded(u"ntdll.dll");
  return ntdll != nullptr && ntdll->symbol("wine_get_version") != nullptr;
}

#endif  // FSCANNER_TESTS_SUPPORT_WINE_H
