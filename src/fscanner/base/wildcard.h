// Wildcard and path matching: '*' matches any run of characters (backslashes included), '?' any
// one character. Without caseSensitive both sides compare with ASCII letters lower-cased.
//
// These run once per file in the walks and the cache extraction: they never allocate and never
// recurse; the single-backtrack algorithm is bounded by length(pattern) * length(text). Null
// pattern or text never matches.
#ifndef FSCANNER_BASE_WILDCARD_H
#define FSCANNER_BASE_WILDCARD_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "PathEntry.h"

// 1 when pattern matches all of text, else 0.
int wildcardMatch(const char16_t* pattern, const char16_t* text, bool caseSensitive);

// One pattern prepared for matching many texts: what its literal head (before the first '*') and
// tail (after the last '*') and its length ask of a text decide most texts at once, and a single
// literal run between two stars is a substring search. Only patterns with more runs between their
// stars go to the general matcher. Gives exactly what wildcardMatch gives for the same pattern.
class WildcardPattern {
 public:
  // A null pattern matches nothing.
  explicit WildcardPattern(const char16_t* pattern);

  // As wildcardMatch(pattern, text, caseSensitive). text holds `length` units and a zero after
  // them; like wildcardMatch, matching ends at its first zero unit.
  int match(const char16_t* text, size_t length, bool caseSensitive) const;
  // True when the pattern is decided by its head, tail and middle run alone; only such a pattern
  // matches text given as bytes.
  bool decidesByRuns() const { return middle_ != Middle::kGeneral; }
  // As match() for the text whose units are the `length` bytes at text (ASCII text where it is
  // stored), not followed by a zero. Only for a pattern that decidesByRuns().
  int match(const uint8_t* text, size_t length, bool caseSensitive) const;

 private:
  enum class Middle : unsigned char {
    kStarsOnly,  // nothing but stars (or nothing) between head and tail
    kRun,        // one run of units and '?', found anywhere between head and tail
    kGeneral,    // several runs: the general matcher decides
  };

  // True when the middle run occurs in the `length` units at text.
  template <typename Unit>
  bool containsRun(const Unit* text, size_t length, bool caseSensitive) const;
  // match() up to the general matcher: 0 or 1, or -1 when only the general matcher can decide;
  // n is the number of units before the text's first zero.
  template <typename Unit>
  int matchRuns(const Unit* text, size_t n, bool caseSensitive) const;

  bool valid_ = false;
  std::u16string pattern_;
  // pattern_ with its ASCII letters lower-cased, for comparisons without caseSensitive.
  std::u16string folded_;
  size_t headLength_ = 0;
  size_t tailLength_ = 0;
  // Where the middle run starts in pattern_, and its length.
  size_t runStart_ = 0;
  size_t runLength_ = 0;
  // Units other than '*': no shorter text matches; without a star only texts of this length do.
  size_t minLength_ = 0;
  bool hasStar_ = false;
  Middle middle_ = Middle::kStarsOnly;
};

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
