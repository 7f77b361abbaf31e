// Wide-string helpers shared by every subsystem.
//
// All text is zero-terminated UTF-16. Case mapping changes only the ASCII letters a-z and A-Z,
// as the C runtime does in its default locale, so that both platforms give identical results.
// Every function accepts null pointers: null text reads as absent (see each function), never as
// a crash. All functions are reentrant.
#ifndef FSCANNER_BASE_WSTRING_H
#define FSCANNER_BASE_WSTRING_H

#include <cstddef>
#include <cstdint>
#include <string>

// Characters a buffer for uintToWide needs: 20 digits of UINT64_MAX and the zero.
constexpr size_t kUintToWideMinCapacity = 21;

inline char16_t toLowerChar(char16_t c) {
  return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
}
inline char16_t toUpperChar(char16_t c) {
  return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - (u'a' - u'A')) : c;
}

// Number of characters before the terminating zero; 0 for null.
size_t wcsLength(const char16_t* s);

// Copies src into dst with every character upper-cased; dst must hold wcsLength(src) + 1
// characters. A null src gives an empty dst; a null dst is left alone.
void wcsUpperCopy(const char16_t* src, char16_t* dst);
// Upper-/lower-cases s in place; null is left alone.
void wcsUpper(char16_t* s);
void wcsLower(char16_t* s);

// Comparisons return <0, 0 or >0 like an exact comparison of UTF-16 units. Null sorts before
// every string and equals null. The N forms look at no more than n characters (n = 0 gives 0).
int wcsCompare(const char16_t* a, const char16_t* b, bool caseSensitive);
int wcsCompareN(const char16_t* a, const char16_t* b, size_t n, bool caseSensitive);
int wcsICompare(const char16_t* a, const char16_t* b);
int wcsNICompare(const char16_t* a, const char16_t* b, size_t n);

// First position in [first, last], both inclusive, holding ch; null when there is none, when
// first lies after last, or when either bound is null.
const char16_t* findCharInRange(const char16_t* first, const char16_t* last, char16_t ch);

// First occurrence of sub in s; an empty sub is found at the start of s. Null when not found or
// when either argument is null.
const char16_t* wcsFind(const char16_t* s, const char16_t* sub);

// Inserts prefix in front of the text in buffer. False, buffer unchanged, when
// length(prefix) + length(buffer) + 2 exceeds capacity (in characters) or an argument is null.
bool wcsPrepend(const char16_t* prefix, char16_t* buffer, size_t capacity);

// One step of the text hash: h * 37 + unit, unsigned 32-bit, wrapping. The table store's index
// files depend on it, so it is the one definition for every text hash.
constexpr uint32_t kWcsHashMultiplier = 37;
inline uint32_t wcsHashStep(uint32_t hash, char16_t unit) {
  return hash * kWcsHashMultiplier + unit;
}

// wcsHashStep over every unit of s including the terminating zero, from h = 0; taken as signed,
// the remainder by modulus, plus modulus when negative. Null text hashes like the empty string;
// modulus 0 gives 0.
int32_t wcsHash(const char16_t* s, int32_t modulus);

// Converts narrow text (UTF-8 on POSIX, the narrow code page on Windows) into a new[]-allocated,
// zero-filled array of strlen(narrow) + 3 characters, released with delete[]. Null for null
// input, for text that cannot be converted, or when memory runs out.
char16_t* toWide(const char* narrow);

// Writes n as unsigned decimal text into buffer (at least kUintToWideMinCapacity characters) and
// returns it; null, nothing written, for a null buffer.
char16_t* uintToWide(uint64_t n, char16_t* buffer);

// Decimal text to number: looks at no more than the first 23 characters; any character among
// them other than 0-9 gives 0, as does empty or null text. A value beyond the signed 64-bit
// range reads as INT64_MAX.
int64_t wideToInt64(const char16_t* s);

// True when s contains '*' or '?'.
bool hasWildcards(const char16_t* s);

// True for the directory entries "." and ".."; false for null.
inline bool isDotEntry(const char16_t* name) {
  return name != nullptr && name[0] == u'.' &&
         (name[1] == u'\0' || (name[1] == u'.' && name[2] == u'\0'));
}

// The narrow text of s for messages and output; "?" when it has no narrow form.
std::string narrowText(const std::u16string& s);

// path with one backslash at its end (added when missing).
inline std::u16string withBackslash(const std::u16string& path) {
  return !path.empty() && path.back() == u'\\' ? path : path + u'\\';
}

// A malloc copy of s (released with free); null for null s or when memory runs out.
char16_t* wcsDuplicate(const char16_t* s);

// Seconds since 1970-01-01 from a FILETIME (100-ns units since 1601-01-01), truncated to 32 bits.
uint32_t fileTimeToUnix(uint64_t fileTime);
// The C library's time(), truncated to 32 bits.
uint32_t currentTime();

#endif  // FSCANNER_BASE_WSTRING_H
