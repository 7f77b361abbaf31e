#include "platform/posix/name_pattern.h"

namespace platform {
namespace internal {
namespace {

char16_t foldCase(char16_t c) {
  return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

}  // namespace

bool matchesEveryName(const char16_t* pattern, size_t length) {
  return (length == 1 && pattern[0] == u'*') ||
         (length == 3 && pattern[0] == u'*' && pattern[1] == u'.' && pattern[2] == u'*');
}

bool matchesWildcard(const char16_t* pattern, size_t patternLength, const char16_t* name,
                     size_t nameLength) {
  // Greedy scan that backtracks only to the last '*': linear in practice, never exponential.
  size_t p = 0, n = 0;
  size_t starPattern = patternLength, starName = 0;
  while (n < nameLength) {
    if (p < patternLength && pattern[p] == u'*') {
      starPattern = p++;
      starName = n;
    } else if (p < patternLength &&
               (pattern[p] == u'?' || foldCase(pattern[p]) == foldCase(name[n]))) {
      ++p;
      ++n;
    } else if (starPattern != patternLength) {
      p = starPattern + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (p < patternLength && pattern[p] == u'*') ++p;
  return p == patternLength;
}

}  // namespace internal
}  // namespace platform
