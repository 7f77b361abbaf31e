// The set of a set literal {"*.exe","readme*",...}: wildcard patterns sorted into four kinds so
// that most are found by hashing instead of being tried one by one: exact names, "*" + suffix,
// prefix + "*", and general patterns. Matching is on lower-case text.
//
// Patterns are added, then build() is called once; the set is read-only afterwards.
#ifndef FSCANNER_CRITERIA_PATTERN_SET_H
#define FSCANNER_CRITERIA_PATTERN_SET_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// An open-addressing table of the strings of one pattern kind. Built once over a list that it
// does not own and that must not change afterwards.
class PatternHash {
 public:
  static constexpr uint32_t kEmpty = 0xFFFFFFFF;
  static constexpr uint32_t kMinSize = 16;
  // Slots examined per lookup or insertion. The hash forgets all but the last 32 units, so a
  // hostile set can make any number of strings collide; those past this many probes are refused
  // rather than making building and matching quadratic.
  static constexpr uint32_t kMaxProbes = 32;

  // Re-seeds the C library's random generator with the current time and takes the probe seed
  // from it, as every table of the set does; the seed moves strings between slots, never changes
  // a result. Duplicates are entered once; the indexes of strings that found no slot within
  // kMaxProbes are appended to refused.
  PatternHash(const std::vector<std::u16string>* strings, bool caseSensitive,
              std::vector<uint32_t>* refused);

  // h = T[c mod 256] + 2 h over the units, unsigned 32-bit from 0.
  static uint32_t hashOf(const char16_t* text, size_t length);
  // One step of hashOf: the hash of a text extended by the unit c.
  static uint32_t extend(uint32_t hash, char16_t c);
  // The table value of a unit, for callers that hash texts incrementally.
  static uint32_t weight(char16_t c);

  // True when some string equals the `length` units at text; `hash` is hashOf(text, length).
  bool contains(const char16_t* text, size_t length, uint32_t hash) const;

  uint32_t size() const { return static_cast<uint32_t>(slots_.size()); }
  uint32_t count() const { return count_; }

 private:
  uint32_t slotAt(uint32_t hash, uint32_t probe) const {
    return (probe == 0 ? hash : seed_ + hash + probe) & mask_;
  }
  bool insert(uint32_t index);

  std::vector<uint32_t> slots_;
  uint32_t mask_ = 0;
  uint32_t seed_ = 0;
  uint32_t count_ = 0;
  bool caseSensitive_;
  const std::vector<std::u16string>* strings_;
};

class PatternSet {
 public:
  // Kind bits, as add() returns them and as the set records which kinds it holds.
  static constexpr uint8_t kExact = 1;
  static constexpr uint8_t kSuffix = 2;
  static constexpr uint8_t kPrefix = 4;
  static constexpr uint8_t kGeneral = 8;
  // Lengths with a per-length flag entry; longer patterns are kept as general patterns, and
  // longer texts are matched by those only.
  static constexpr size_t kLengthSlots = 4096;

  PatternSet();
  ~PatternSet();
  PatternSet(const PatternSet&) = delete;
  PatternSet& operator=(const PatternSet&) = delete;

  // Adds one pattern and returns the kind it was filed under, or 0 when it was ignored (empty,
  // null, the pattern "*" which makes the set match everything, or anything after "*").
  uint8_t add(const char16_t* pattern);
  uint8_t add(const char16_t* pattern, size_t length);
  // Adds every double-quoted item of a set literal's text; an unterminated item runs to the end.
  void addQuoted(const char16_t* text, size_t length);
  // Lower-cases every pattern and builds the hash tables. Call once, after the last add.
  void build(bool caseSensitive);

  // True when some pattern matches all of text. The caller passes lower-case text. An unbuilt
  // set matches nothing.
  bool match(const char16_t* text) const;
  bool match(const char16_t* text, size_t length) const;

  // Bytes the set holds, itself included, for callers that bound the memory of many sets.
  size_t footprint() const;

  uint8_t kinds() const { return kinds_; }
  bool matchesAll() const { return matchAll_; }
  uint32_t count() const { return count_; }
  const std::vector<std::u16string>& patterns(uint8_t kind) const;

 private:
  bool matchSuffix(const char16_t* text, size_t length) const;
  bool matchPrefix(const char16_t* text, size_t length) const;
  bool matchGeneral(const char16_t* text) const;
  void flagLength(size_t length, uint8_t kind);
  bool lengthHas(size_t length, uint8_t kind) const {
    return length < lengthFlags_.size() && (lengthFlags_[length] & kind) != 0;
  }
  // A table over list; refused patterns become general ones, wildcards restored.
  std::unique_ptr<PatternHash> makeHash(std::vector<std::u16string>* list, const char16_t* lead,
                                        const char16_t* trail);

  uint8_t kinds_ = 0;
  bool caseSensitive_ = false;
  bool built_ = false;
  bool matchAll_ = false;
  // The kind bits of the patterns of each length below kLengthSlots, up to the longest pattern
  // only, so that a set costs memory in proportion to its patterns.
  std::vector<uint8_t> lengthFlags_;
  // The longest suffix and prefix stored: texts are searched no deeper.
  size_t longestSuffix_ = 0;
  size_t longestPrefix_ = 0;
  std::vector<std::u16string> exact_;
  std::vector<std::u16string> suffix_;
  std::vector<std::u16string> prefix_;
  std::vector<std::u16string> general_;
  std::unique_ptr<PatternHash> exactHash_;
  std::unique_ptr<PatternHash> suffixHash_;
  std::unique_ptr<PatternHash> prefixHash_;
  uint32_t count_ = 0;
};

#endif  // FSCANNER_CRITERIA_PATTERN_SET_H
