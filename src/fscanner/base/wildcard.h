// Wildcard and path matching: '*' matches any run of characters (backslashes included), '?' any
// one character. Without caseSensitive both sides compare with ASCII letters lower-cased.
//
// These run once per file in the walks and the cache extraction: they never allocate and never
// recurse; the single-backtrack algorithm is bounded by length(pattern) * length(text). Null
// pattern or text never matches.
#ifndef FSCANNER_BASE_WILDCARD_H
#define FSCANNER_BASE_WILDCARD_H

#include "PathEntry.h"

// 1 when pattern matches all of text, else 0.
int wildcardMatch(const char16_t* pattern, const char16_t* text, bool caseSensitive);

// 1 when the include or exclude path `pattern` matches `path`, else 0. With subtree the pattern
// also matches every path below it (C:\data matches C:\data\x\y, never C:\database). A pattern
// ending in "\" or "\*" matches the directory itself (dir\ and dir\* match dir); a path with a
// trailing backslash matches without subtree only after a '*' of the pattern.
int pathMatch(const char16_t* pattern, const char16_t* path, bool subtree, bool caseSensitive);

// True when some entry of list, as the pattern, matches path under pathMatch. With recursiveOnly
// false every entry takes part with subtree = its recursive flag; with recursiveOnly true only
// the recursive entries take part, with subtree. Entries with a null path never match.
bool matchesPathList(const char16_t* path, const PathList& list, bool caseSensitive,
                     bool recursiveOnly);

// Index of the entry with the longest path among those that match path (subtree = the entry's
// recursive flag); the first of equally long ones wins; -1 when none matches.
int findBestMatch(const char16_t* path, const PathList& list, bool caseSensitive);

#endif  // FSCANNER_BASE_WILDCARD_H
