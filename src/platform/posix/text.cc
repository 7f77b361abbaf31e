// UTF-8 <-> UTF-16: strict for narrow text, loss-free (escaping) for host file names.
#include <cstring>

#include "platform/platform.h"
#include "platform/posix/host_text.h"

namespace platform {
namespace {

constexpr char16_t kEscapeBase = 0xDC00;  // lone low surrogate U+DC00 + byte
constexpr char16_t kHighSurrogateFirst = 0xD800;
constexpr char16_t kLowSurrogateFirst = 0xDC00;
constexpr char16_t kSurrogateLast = 0xDFFF;
constexpr uint32_t kFirstNonBmp = 0x10000;
// ERROR_NO_UNICODE_TRANSLATION: what the Windows conversions report for text they cannot map.
constexpr uint32_t kErrorNoUnicodeTranslation = 1113;

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Decodes one well-formed UTF-8 sequence at text[0..length) (RFC 3629: no overlongs, no
// surrogates, nothing above U+10FFFF). Returns its byte count, 0 when it is malformed.
size_t decodeUtf8(const unsigned char* text, size_t length, uint32_t* codePoint) {
  const unsigned char lead = text[0];
  if (lead < 0x80) {
    *codePoint = lead;
    return 1;
  }
  size_t count;
  unsigned char secondMin = 0x80;
  unsigned char secondMax = 0xBF;
  uint32_t value;
  if (lead >= 0xC2 && lead <= 0xDF) {
    count = 2;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    count = 3;
    value = lead & 0x0F;
    if (lead == 0xE0) secondMin = 0xA0;  // overlong
    if (lead == 0xED) secondMax = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    count = 4;
    value = lead & 0x07;
    if (lead == 0xF0) secondMin = 0x90;  // overlong
    if (lead == 0xF4) secondMax = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (length < count) return 0;
  if (text[1] < secondMin || text[1] > secondMax) return 0;
  for (size_t i = 1; i < count; ++i) {
    if (!isContinuation(text[i])) return 0;
    value = (value << 6) | (text[i] & 0x3F);
  }
  *codePoint = value;
  return count;
}

void appendUtf16(uint32_t codePoint, std::u16string* out) {
  if (codePoint < kFirstNonBmp) {
    out->push_back(static_cast<char16_t>(codePoint));
    return;
  }
  const uint32_t offset = codePoint - kFirstNonBmp;
  out->push_back(static_cast<char16_t>(kHighSurrogateFirst + (offset >> 10)));
  out->push_back(static_cast<char16_t>(kLowSurrogateFirst + (offset & 0x3FF)));
}

void appendUtf8(uint32_t codePoint, std::string* out) {
  if (codePoint < 0x80) {
    out->push_back(static_cast<char>(codePoint));
  } else if (codePoint < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
    out->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else if (codePoint < kFirstNonBmp) {
    out->push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
    out->push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
    out->push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  }
}

enum class Mode { kStrict, kHostName };

// UTF-8 to UTF-16. In host-name mode undecodable bytes and backslashes become escapes.
bool utf8ToUtf16(const char* text, size_t length, Mode mode, std::u16string* out) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  size_t i = 0;
  while (i < length) {
    if (bytes[i] < 0x80) {
      const bool escape = mode == Mode::kHostName && bytes[i] == '\\';
      out->push_back(static_cast<char16_t>(escape ? kEscapeBase + bytes[i] : bytes[i]));
      ++i;
      continue;
    }
    uint32_t codePoint;
    const size_t count = decodeUtf8(bytes + i, length - i, &codePoint);
    if (count == 0) {
      if (mode == Mode::kStrict) return false;
      out->push_back(static_cast<char16_t>(kEscapeBase + bytes[i]));
      ++i;
      continue;
    }
    appendUtf16(codePoint, out);
    i += count;
  }
  return true;
}

bool isHostEscape(char16_t unit) {
  return (unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF) || unit == kEscapeBase + '\\';
}

// UTF-16 to UTF-8. In host-name mode the escapes of utf8ToUtf16 turn back into their bytes.
bool utf16ToUtf8(const char16_t* text, size_t length, Mode mode, std::string* out) {
  for (size_t i = 0; i < length; ++i) {
    // A run of ASCII, most of any file name, is copied in one step.
    size_t ascii = i;
    while (ascii < length && text[ascii] < 0x80) ++ascii;
    if (ascii > i) {
      const size_t start = out->size();
      out->resize(start + (ascii - i));
      for (char* byte = &(*out)[start]; i < ascii; ++i) *byte++ = static_cast<char>(text[i]);
      if (i == length) break;
    }
    const char16_t unit = text[i];
    if (unit < kHighSurrogateFirst || unit > kSurrogateLast) {
      appendUtf8(unit, out);
      continue;
    }
    if (unit < kLowSurrogateFirst && i + 1 < length && text[i + 1] >= kLowSurrogateFirst &&
        text[i + 1] <= kSurrogateLast) {
      const uint32_t high = unit - kHighSurrogateFirst;
      const uint32_t low = text[i + 1] - kLowSurrogateFirst;
      appendUtf8(kFirstNonBmp + ((high << 10) | low), out);
      ++i;
      continue;
    }
    if (mode == Mode::kHostName && isHostEscape(unit)) {
      out->push_back(static_cast<char>(unit - kEscapeBase));
      continue;
    }
    return false;
  }
  return true;
}

size_t wideLength(const char16_t* text) {
  size_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

}  // namespace

bool narrowToWide(const char* text, std::u16string* out) {
  if (out == nullptr) return false;
  out->clear();
  if (text == nullptr || !utf8ToUtf16(text, std::strlen(text), Mode::kStrict, out)) {
    out->clear();
    setLastError(text == nullptr ? kErrorInvalidParameter : kErrorNoUnicodeTranslation);
    return false;
  }
  return true;
}

bool wideToNarrow(const char16_t* text, std::string* out) {
  if (out == nullptr) return false;
  out->clear();
  if (text == nullptr || !utf16ToUtf8(text, wideLength(text), Mode::kStrict, out)) {
    out->clear();
    setLastError(text == nullptr ? kErrorInvalidParameter : kErrorNoUnicodeTranslation);
    return false;
  }
  return true;
}

namespace internal {

void hostToWide(const char* text, size_t length, std::u16string* out) {
  utf8ToUtf16(text, length, Mode::kHostName, out);
}

bool wideToHost(const char16_t* text, size_t length, std::string* out) {
  return utf16ToUtf8(text, length, Mode::kHostName, out);
}

}  // namespace internal
}  // namespace platform
