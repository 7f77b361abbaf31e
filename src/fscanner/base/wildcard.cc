#include "base/wildcard.h"

#include <cassert>
#include <cstdint>
#include <cstring>

#include "base/wstring.h"

namespace {

inline bool sameChar(char16_t a, char16_t b, bool caseSensitive) {
  return caseSensitive ? a == b : toLowerChar(a) == toLowerChar(b);
}

// The pattern character matches the text character on its own ('*' is handled by the callers).
inline bool charMatches(char16_t patternChar, char16_t textChar, bool caseSensitive) {
  return patternChar == u'?' || sameChar(patternChar, textChar, caseSensitive);
}

// Units of text before its first zero unit, looking at no more than length units. Four units at a
// time: a name is searched in a few steps.
size_t unitsBeforeZero(const char16_t* text, size_t length) {
  constexpr uint64_t kLowBits = 0x0001000100010001ull;
  constexpr uint64_t kHighBits = 0x8000800080008000ull;
  size_t i = 0;
  for (; i + 4 <= length; i += 4) {
    uint64_t units;
    std::memcpy(&units, text + i, sizeof units);
    if (((units - kLowBits) & ~units & kHighBits) != 0) break;
  }
  while (i < length && text[i] != u'\0') ++i;
  return i;
}

// True when the count units at text (UTF-16 units, or bytes that are ASCII units) match those at
// units: '?' matches any unit; without caseSensitive the text's ASCII letters are lower-cased
// (units is then lower-cased already).
template <typename Unit>
inline bool runMatches(const Unit* text, const char16_t* units, size_t count, bool caseSensitive) {
  if (caseSensitive) {
    for (size_t i = 0; i < count; ++i) {
      if (units[i] != text[i] && units[i] != u'?') return false;
    }
  } else {
    for (size_t i = 0; i < count; ++i) {
      if (units[i] != toLowerChar(text[i]) && units[i] != u'?') return false;
    }
  }
  return true;
}

}  // namespace

WildcardPattern::WildcardPattern(const char16_t* pattern) {
  if (pattern == nullptr) return;
  valid_ = true;
  pattern_ = pattern;
  folded_ = pattern_;
  wcsLower(folded_.data());
  const size_t firstStar = pattern_.find(u'*');
  if (firstStar == std::u16string::npos) {
    headLength_ = minLength_ = pattern_.size();
    return;
  }
  hasStar_ = true;
  const size_t lastStar = pattern_.rfind(u'*');
  headLength_ = firstStar;
  tailLength_ = pattern_.size() - lastStar - 1;
  // Stars are dropped from the middle's ends: "a**b**c" has the middle run "b".
  size_t runEnd = lastStar;
  runStart_ = firstStar;
  while (runStart_ < runEnd && pattern_[runStart_] == u'*') ++runStart_;
  while (runEnd > runStart_ && pattern_[runEnd - 1] == u'*') --runEnd;
  runLength_ = runEnd - runStart_;
  if (runLength_ > 0) {
    const bool oneRun = pattern_.find(u'*', runStart_) >= runEnd;
    middle_ = oneRun ? Middle::kRun : Middle::kGeneral;
  }
  for (char16_t unit : pattern_) minLength_ += unit != u'*';
}

template <typename Unit>
bool WildcardPattern::containsRun(const Unit* text, size_t length, bool caseSensitive) const {
  // The leftmost occurrence is as good as any: nothing but stars follows the run.
  const char16_t* run = (caseSensitive ? pattern_ : folded_).data() + runStart_;
  for (size_t at = 0; at + runLength_ <= length; ++at) {
    if (runMatches(text + at, run, runLength_, caseSensitive)) return true;
  }
  return false;
}

template <typename Unit>
int WildcardPattern::matchRuns(const Unit* text, size_t n, bool caseSensitive) const {
  if (n < minLength_ || (!hasStar_ && n != minLength_)) return 0;
  // n >= minLength_ >= head + tail: head and tail never overlap.
  const char16_t* units = (caseSensitive ? pattern_ : folded_).data();
  if (!runMatches(text, units, headLength_, caseSensitive) ||
      !runMatches(text + n - tailLength_, units + pattern_.size() - tailLength_, tailLength_,
                  caseSensitive)) {
    return 0;
  }
  switch (middle_) {
    case Middle::kStarsOnly:
      return 1;
    case Middle::kRun:
      return containsRun(text + headLength_, n - headLength_ - tailLength_, caseSensitive) ? 1 : 0;
    default:
      return -1;
  }
}

int WildcardPattern::match(const char16_t* text, size_t length, bool caseSensitive) const {
  if (!valid_ || text == nullptr) return 0;
  const int decided = matchRuns(text, unitsBeforeZero(text, length), caseSensitive);
  return decided >= 0 ? decided : wildcardMatch(pattern_.c_str(), text, caseSensitive);
}

int WildcardPattern::match(const uint8_t* text, size_t length, bool caseSensitive) const {
  if (!valid_ || text == nullptr) return 0;
  const void* zero = std::memchr(text, 0, length);
  const size_t n =
      zero != nullptr ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - text) : length;
  const int decided = matchRuns(text, n, caseSensitive);
  assert(decided >= 0);
  return decided > 0 ? 1 : 0;
}

int wildcardMatch(const char16_t* pattern, const char16_t* text, bool caseSensitive) {
  if (pattern == nullptr || text == nullptr) return 0;
  const char16_t* p = pattern;
  const char16_t* t = text;

  // Up to the first star every character must match in place.
  while (*t != u'\0' && *p != u'*') {
    if (!charMatches(*p, *t, caseSensitive)) return 0;
    ++p;
    ++t;
  }

  // Each star remembers where its run of text would grow next; a mismatch grows the run of the
  // latest star by one character and retries the pattern after it.
  const char16_t* afterStar = nullptr;
  const char16_t* retryText = nullptr;
  while (*t != u'\0') {
    if (*p == u'*') {
      if (*++p == u'\0') return 1;
      afterStar = p;
      retryText = t + 1;
    } else if (charMatches(*p, *t, caseSensitive)) {
      ++p;
      ++t;
    } else {
      p = afterStar;
      t = retryText++;
    }
  }

  while (*p == u'*') ++p;
  return *p == u'\0' ? 1 : 0;
}

int pathMatch(const char16_t* pattern, const char16_t* path, bool subtree, bool caseSensitive) {
  if (pattern == nullptr || path == nullptr) return 0;
  const char16_t* p = pattern;
  const char16_t* s = path;

  while (*s != u'\0' && *p != u'*') {
    if (!charMatches(*p, *s, caseSensitive)) {
      // The pattern ends inside the path: below it when the path goes on at a component
      // boundary, either here or right after a backslash the pattern ended with.
      bool atComponentBoundary = *s == u'\\' || (s != path && s[-1] == u'\\');
      return (*p == u'\0' && subtree && atComponentBoundary) ? 1 : 0;
    }
    ++p;
    ++s;
  }

  const char16_t* afterStar = nullptr;
  const char16_t* retryPath = nullptr;
  while (*s != u'\0') {
    if (*p == u'*') {
      if (*++p == u'\0') return 1;
      afterStar = p;
      retryPath = s + 1;
    } else if (charMatches(*p, *s, caseSensitive)) {
      ++p;
      ++s;
    } else {
      if (*p == u'\0' && *s == u'\\' && (subtree || s[1] == u'\0')) return 1;
      p = afterStar;
      s = retryPath++;
    }
  }

  bool trailingStars = false;
  while (*p == u'*') {
    ++p;
    trailingStars = true;
  }
  if (*p == u'\0') return 1;
  if (trailingStars || *p != u'\\') return 0;
  // The path names the directory itself: the pattern is "dir\" or "dir\*".
  return (p[1] == u'\0' || (p[1] == u'*' && p[2] == u'\0')) ? 1 : 0;
}

bool matchesPathList(const char16_t* path, const PathList& list, bool caseSensitive,
                     bool recursiveOnly) {
  for (const PathEntry& entry : list) {
    if (recursiveOnly && !entry.recursive()) continue;
    if (pathMatch(entry.path(), path, entry.recursive(), caseSensitive) == 1) return true;
  }
  return false;
}

int findBestMatch(const char16_t* path, const PathList& list, bool caseSensitive) {
  int best = -1;
  size_t bestLength = 0;
  for (size_t i = 0; i < list.size(); ++i) {
    const PathEntry& entry = list[i];
    if (pathMatch(entry.path(), path, entry.recursive(), caseSensitive) != 1) continue;
    size_t length = wcsLength(entry.path());
    if (best < 0 || length > bestLength) {
      best = static_cast<int>(i);
      bestLength = length;
    }
  }
  return best;
}
