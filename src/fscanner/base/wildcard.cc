#include "base/wildcard.h"

#include "base/wstring.h"

namespace {

inline bool sameChar(char16_t a, char16_t b, bool caseSensitive) {
  return caseSensitive ? a == b : toLowerChar(a) == toLowerChar(b);
}

// The pattern character matches the text character on its own ('*' is handled by the callers).
inline bool charMatches(char16_t patternChar, char16_t textChar, bool caseSensitive) {
  return patternChar == u'?' || sameChar(patternChar, textChar, caseSensitive);
}

}  // namespace

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
