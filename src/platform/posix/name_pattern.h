// Wildcard matching of file names, as FindFirstFileW does it on the last path component.
#ifndef FSCANNER_PLATFORM_POSIX_NAME_PATTERN_H
#define FSCANNER_PLATFORM_POSIX_NAME_PATTERN_H

#include <cstddef>

namespace platform {
namespace internal {

inline bool hasWildcard(const char16_t* text, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (text[i] == u'*' || text[i] == u'?') return true;
  }
  return false;
}

// True when the pattern matches every name ("*" and "*.*").
bool matchesEveryName(const char16_t* pattern, size_t length);

// '*' matches any run of characters, '?' exactly one; letters compare without regard to case
// (A-Z only, like the rest of the system).
bool matchesWildcard(const char16_t* pattern, size_t patternLength, const char16_t* name,
                     size_t nameLength);

}  // namespace internal
}  // namespace platform

#endif  // FSCANNER_PLATFORM_POSIX_NAME_PATTERN_H
