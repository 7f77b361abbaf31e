#include "base/wstring.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "platform/platform.h"

namespace {

// wideToInt64 looks at no more than this many characters.
constexpr size_t kMaxNumberDigits = 23;
// FILETIME of 1970-01-01 00:00:00 UTC, and FILETIME units per second.
constexpr uint64_t kUnixEpochFileTime = 116444736000000000ull;
constexpr int64_t kFileTimeUnitsPerSecond = 10000000;

// Orders null before every string; 2 means "both non-null, compare the texts".
constexpr int kCompareTexts = 2;
int compareNulls(const char16_t* a, const char16_t* b) {
  if (a == b) return 0;
  if (a == nullptr) return -1;
  if (b == nullptr) return 1;
  return kCompareTexts;
}

int compareUnits(const char16_t* a, const char16_t* b, size_t n, bool foldCase) {
  if (n == 0) return 0;
  int order = compareNulls(a, b);
  if (order != kCompareTexts) return order;
  for (size_t i = 0; i < n; ++i) {
    char16_t ca = foldCase ? toLowerChar(a[i]) : a[i];
    char16_t cb = foldCase ? toLowerChar(b[i]) : b[i];
    if (ca != cb) return static_cast<int>(ca) - static_cast<int>(cb);
    if (ca == u'\0') return 0;
  }
  return 0;
}

}  // namespace

size_t wcsLength(const char16_t* s) {
  if (s == nullptr) return 0;
  return std::char_traits<char16_t>::length(s);
}

void wcsUpperCopy(const char16_t* src, char16_t* dst) {
  if (dst == nullptr) return;
  if (src == nullptr) {
    dst[0] = u'\0';
    return;
  }
  while ((*dst++ = toUpperChar(*src++)) != u'\0') {
  }
}

void wcsUpper(char16_t* s) {
  for (; s != nullptr && *s != u'\0'; ++s) *s = toUpperChar(*s);
}

void wcsLower(char16_t* s) {
  for (; s != nullptr && *s != u'\0'; ++s) *s = toLowerChar(*s);
}

int wcsCompare(const char16_t* a, const char16_t* b, bool caseSensitive) {
  return compareUnits(a, b, std::numeric_limits<size_t>::max(), !caseSensitive);
}

int wcsCompareN(const char16_t* a, const char16_t* b, size_t n, bool caseSensitive) {
  return compareUnits(a, b, n, !caseSensitive);
}

int wcsICompare(const char16_t* a, const char16_t* b) {
  return compareUnits(a, b, std::numeric_limits<size_t>::max(), true);
}

int wcsNICompare(const char16_t* a, const char16_t* b, size_t n) {
  return compareUnits(a, b, n, true);
}

const char16_t* findCharInRange(const char16_t* first, const char16_t* last, char16_t ch) {
  if (first == nullptr || last == nullptr || first > last) return nullptr;
  for (const char16_t* p = first; p <= last; ++p) {
    if (*p == ch) return p;
  }
  return nullptr;
}

const char16_t* wcsFind(const char16_t* s, const char16_t* sub) {
  if (s == nullptr || sub == nullptr) return nullptr;
  if (*sub == u'\0') return s;
  for (; *s != u'\0'; ++s) {
    const char16_t* a = s;
    const char16_t* b = sub;
    while (*a != u'\0' && *a == *b) {
      ++a;
      ++b;
    }
    if (*b == u'\0') return s;
    if (*a == u'\0') return nullptr;  // the rest of s is shorter than sub
  }
  return nullptr;
}

bool wcsPrepend(const char16_t* prefix, char16_t* buffer, size_t capacity) {
  if (prefix == nullptr || buffer == nullptr) return false;
  size_t prefixLength = wcsLength(prefix);
  size_t bufferLength = wcsLength(buffer);
  if (prefixLength + bufferLength + 2 > capacity) return false;
  std::memmove(buffer + prefixLength, buffer, (bufferLength + 1) * sizeof(char16_t));
  std::memcpy(buffer, prefix, prefixLength * sizeof(char16_t));
  return true;
}

int32_t wcsHash(const char16_t* s, int32_t modulus) {
  if (modulus == 0) return 0;
  uint32_t h = 0;
  if (s != nullptr) {
    for (; *s != u'\0'; ++s) h = wcsHashStep(h, *s);
  }
  h = wcsHashStep(h, u'\0');
  // 64-bit arithmetic keeps INT32_MIN % -1 defined.
  int64_t remainder = static_cast<int64_t>(static_cast<int32_t>(h)) % modulus;
  if (remainder < 0) remainder += modulus;
  return static_cast<int32_t>(remainder);
}

char16_t* toWide(const char* narrow) {
  if (narrow == nullptr) return nullptr;
  std::u16string wide;
  if (!platform::narrowToWide(narrow, &wide)) return nullptr;
  // UTF-8 and the Windows code pages never need more units than bytes; max() guards anyway.
  size_t capacity = std::max(std::strlen(narrow), wide.size()) + 3;
  char16_t* out = new (std::nothrow) char16_t[capacity]();
  if (out == nullptr) return nullptr;
  std::copy(wide.begin(), wide.end(), out);
  return out;
}

char16_t* uintToWide(uint64_t n, char16_t* buffer) {
  if (buffer == nullptr) return nullptr;
  char16_t digits[kUintToWideMinCapacity];
  size_t count = 0;
  do {
    digits[count++] = static_cast<char16_t>(u'0' + n % 10);
    n /= 10;
  } while (n != 0);
  for (size_t i = 0; i < count; ++i) buffer[i] = digits[count - 1 - i];
  buffer[count] = u'\0';
  return buffer;
}

int64_t wideToInt64(const char16_t* s) {
  if (s == nullptr) return 0;
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  int64_t value = 0;
  for (size_t i = 0; i < kMaxNumberDigits && s[i] != u'\0'; ++i) {
    if (s[i] < u'0' || s[i] > u'9') return 0;
    int64_t digit = s[i] - u'0';
    value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
  }
  return value;
}

bool hasWildcards(const char16_t* s) {
  for (; s != nullptr && *s != u'\0'; ++s) {
    if (*s == u'*' || *s == u'?') return true;
  }
  return false;
}

char16_t* wcsDuplicate(const char16_t* s) {
  if (s == nullptr) return nullptr;
  size_t bytes = (wcsLength(s) + 1) * sizeof(char16_t);
  auto* copy = static_cast<char16_t*>(std::malloc(bytes));
  if (copy != nullptr) std::memcpy(copy, s, bytes);
  return copy;
}

uint32_t fileTimeToUnix(uint64_t fileTime) {
  // The wrapped unsigned difference read as signed is the true difference, also before 1970.
  auto units = static_cast<int64_t>(fileTime - kUnixEpochFileTime);
  return static_cast<uint32_t>(units / kFileTimeUnitsPerSecond);
}

uint32_t currentTime() { return static_cast<uint32_t>(platform::unixTime()); }

std::string narrowText(const std::u16string& s) {
  std::string out;
  return platform::wideToNarrow(s.c_str(), &out) ? out : std::string("?");
}
