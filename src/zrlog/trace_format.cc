#include "trace_format.h"

#include <cstdint>
#include <new>
#include <string_view>
#include <type_traits>

namespace zrlog {
namespace {

// Room for the text before the truncation marker.
constexpr size_t kTextLimit = kMaxTraceMessageBytes - (sizeof(kTraceTruncationMarker) - 1);
// Widths and precisions beyond the message limit change nothing, so they are clamped to it.
constexpr size_t kMaxFieldSize = kMaxTraceMessageBytes;
// Octal digits of a 64-bit value, the longest digit string a conversion produces.
constexpr size_t kMaxDigits = 22;
constexpr char32_t kReplacementCharacter = 0xFFFD;
// Most messages fit at once; a larger one grows as usual.
constexpr size_t kInitialMessageCapacity = 256;
// UTF-16 text is converted through a stack buffer of this size, not byte by byte.
constexpr size_t kConversionChunkBytes = 256;
constexpr size_t kMaxUtf8SequenceBytes = 4;
constexpr char kNullText[] = "(null)";
constexpr char kNullPointerText[] = "(nil)";

bool isUtf8Continuation(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

// Length of the longest prefix of data[0, size) that does not end inside a UTF-8 sequence.
size_t completeUtf8Length(const char* data, size_t size) {
  size_t start = size;
  while (start > 0 && size - start < 3 && isUtf8Continuation(data[start - 1])) --start;
  if (start == 0) return size;  // continuation bytes only: not UTF-8, nothing to protect
  const unsigned char lead = static_cast<unsigned char>(data[start - 1]);
  const size_t needed = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  const size_t present = size - (start - 1);
  return present < needed ? start - 1 : size;
}

size_t utf8Size(char32_t codePoint) {
  return codePoint < 0x80 ? 1 : codePoint < 0x800 ? 2 : codePoint < 0x10000 ? 3 : 4;
}

// Writes the UTF-8 form of a code point (at most U+10FFFF, no surrogate) to out; returns its
// length.
size_t encodeUtf8(char32_t codePoint, char* out) {
  if (codePoint < 0x80) {
    out[0] = static_cast<char>(codePoint);
    return 1;
  }
  if (codePoint < 0x800) {
    out[0] = static_cast<char>(0xC0 | (codePoint >> 6));
    out[1] = static_cast<char>(0x80 | (codePoint & 0x3F));
    return 2;
  }
  if (codePoint < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (codePoint >> 12));
    out[1] = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (codePoint & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (codePoint >> 18));
  out[1] = static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (codePoint & 0x3F));
  return 4;
}

bool isHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Decodes the code point at *text and advances past it; an unpaired surrogate decodes as U+FFFD.
char32_t nextCodePoint(const char16_t** text) {
  const char32_t unit = *(*text)++;
  if (isHighSurrogate(unit) && isLowSurrogate(**text)) {
    const char32_t low = *(*text)++;
    return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
  }
  if (isHighSurrogate(unit) || isLowSurrogate(unit)) return kReplacementCharacter;
  return unit;
}

// The message under construction: appends up to kTextLimit bytes and remembers whether anything
// was dropped.
class BoundedText {
 public:
  explicit BoundedText(std::string* text) : text_(text) {
    text_->clear();
    text_->reserve(kInitialMessageCapacity);
  }

  size_t room() const { return kTextLimit - text_->size(); }
  bool truncated() const { return truncated_; }

  void append(const char* data, size_t size) {
    if (size == 0) return;
    if (size > room()) {
      size = room();
      truncated_ = true;
    }
    text_->append(data, size);
  }

  void appendRepeated(char byte, size_t count) {
    if (count == 0) return;
    if (count > room()) {
      count = room();
      truncated_ = true;
    }
    text_->append(count, byte);
  }

  // Ends a truncated text on a character boundary and marks it.
  void finish() {
    if (!truncated_) return;
    text_->resize(completeUtf8Length(text_->data(), text_->size()));
    text_->append(kTraceTruncationMarker);
  }

 private:
  std::string* text_;
  bool truncated_ = false;
};

enum class LengthModifier { kNone, kChar, kShort, kLong, kLongLong, kSize, kMax, kPointerDiff };

struct ConversionSpec {
  bool leftAlign = false;
  bool zeroPad = false;
  bool plusSign = false;
  bool spaceSign = false;
  bool alternate = false;
  size_t width = 0;
  bool hasPrecision = false;
  size_t precision = 0;
  LengthModifier length = LengthModifier::kNone;
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

size_t parseCount(const char** cursor) {
  size_t value = 0;
  for (; isDigit(**cursor); ++*cursor) {
    if (value < kMaxFieldSize) value = value * 10 + static_cast<size_t>(**cursor - '0');
  }
  return value < kMaxFieldSize ? value : kMaxFieldSize;
}

size_t clampCount(unsigned int value) {
  return value < kMaxFieldSize ? static_cast<size_t>(value) : kMaxFieldSize;
}

class Formatter {
 public:
  Formatter(std::string* message, va_list* args) : text_(message), args_(args) {}

  void run(const char* format) {
    const char* cursor = format;
    while (*cursor != '\0' && !text_.truncated()) {
      if (*cursor == '%') {
        cursor = convert(cursor);
        continue;
      }
      const char* literal = cursor;
      while (*cursor != '\0' && *cursor != '%') ++cursor;
      text_.append(literal, static_cast<size_t>(cursor - literal));
    }
    text_.finish();
  }

 private:
  // Formats the conversion that starts at `percent`; returns the position after it.
  const char* convert(const char* percent) {
    ConversionSpec conversion;
    const char* cursor = parseSpec(percent + 1, &conversion);
    switch (*cursor) {
      case '\0':
        text_.append(percent, static_cast<size_t>(cursor - percent));
        return cursor;
      case 'd':
      case 'i':
        formatSigned(conversion);
        break;
      case 'u':
        formatUnsigned(conversion, 10, false);
        break;
      case 'o':
        formatUnsigned(conversion, 8, false);
        break;
      case 'x':
        formatUnsigned(conversion, 16, false);
        break;
      case 'X':
        formatUnsigned(conversion, 16, true);
        break;
      case 'c':
        formatCharacter(conversion, conversion.length == LengthModifier::kLong);
        break;
      case 'C':
        formatCharacter(conversion, true);
        break;
      case 's':
        if (conversion.length == LengthModifier::kLong) {
          formatWideString(conversion);
        } else {
          formatNarrowString(conversion);
        }
        break;
      case 'S':
        formatWideString(conversion);
        break;
      case 'p':
        formatPointer(conversion);
        break;
      case '%':
        text_.append("%", 1);
        break;
      default:
        text_.append(percent, static_cast<size_t>(cursor + 1 - percent));
        break;
    }
    return cursor + 1;
  }

  // Reads flags, width, precision and length modifier; returns the position of the conversion
  // character (or of the terminating NUL).
  const char* parseSpec(const char* cursor, ConversionSpec* conversion) {
    for (;; ++cursor) {
      if (*cursor == '-') {
        conversion->leftAlign = true;
      } else if (*cursor == '0') {
        conversion->zeroPad = true;
      } else if (*cursor == '+') {
        conversion->plusSign = true;
      } else if (*cursor == ' ') {
        conversion->spaceSign = true;
      } else if (*cursor == '#') {
        conversion->alternate = true;
      } else {
        break;
      }
    }
    if (*cursor == '*') {
      ++cursor;
      const int width = va_arg(*args_, int);
      if (width < 0) conversion->leftAlign = true;
      const unsigned int magnitude =
          width < 0 ? 0u - static_cast<unsigned int>(width) : static_cast<unsigned int>(width);
      conversion->width = clampCount(magnitude);
    } else {
      conversion->width = parseCount(&cursor);
    }
    if (*cursor == '.') {
      ++cursor;
      conversion->hasPrecision = true;
      if (*cursor == '*') {
        ++cursor;
        const int precision = va_arg(*args_, int);
        conversion->hasPrecision = precision >= 0;
        conversion->precision =
            precision >= 0 ? clampCount(static_cast<unsigned int>(precision)) : 0;
      } else {
        conversion->precision = parseCount(&cursor);
      }
    }
    return parseLength(cursor, &conversion->length);
  }

  static const char* parseLength(const char* cursor, LengthModifier* length) {
    switch (*cursor) {
      case 'h':
        if (cursor[1] == 'h') {
          *length = LengthModifier::kChar;
          return cursor + 2;
        }
        *length = LengthModifier::kShort;
        return cursor + 1;
      case 'l':
        if (cursor[1] == 'l') {
          *length = LengthModifier::kLongLong;
          return cursor + 2;
        }
        *length = LengthModifier::kLong;
        return cursor + 1;
      case 'z':
        *length = LengthModifier::kSize;
        return cursor + 1;
      case 'j':
        *length = LengthModifier::kMax;
        return cursor + 1;
      case 't':
        *length = LengthModifier::kPointerDiff;
        return cursor + 1;
      default:
        return cursor;
    }
  }

  // Reads a signed argument of the given length; char and short arrive promoted to int.
  long long readSigned(LengthModifier length) {
    switch (length) {
      case LengthModifier::kChar:
        return static_cast<signed char>(va_arg(*args_, int));
      case LengthModifier::kShort:
        return static_cast<short>(va_arg(*args_, int));
      case LengthModifier::kLong:
        return va_arg(*args_, long);
      case LengthModifier::kLongLong:
        return va_arg(*args_, long long);
      case LengthModifier::kSize:
        return va_arg(*args_, std::make_signed_t<size_t>);
      case LengthModifier::kMax:
        return va_arg(*args_, intmax_t);
      case LengthModifier::kPointerDiff:
        return va_arg(*args_, ptrdiff_t);
      case LengthModifier::kNone:
        break;
    }
    return va_arg(*args_, int);
  }

  unsigned long long readUnsigned(LengthModifier length) {
    switch (length) {
      case LengthModifier::kChar:
        return static_cast<unsigned char>(va_arg(*args_, unsigned int));
      case LengthModifier::kShort:
        return static_cast<unsigned short>(va_arg(*args_, unsigned int));
      case LengthModifier::kLong:
        return va_arg(*args_, unsigned long);
      case LengthModifier::kLongLong:
        return va_arg(*args_, unsigned long long);
      case LengthModifier::kSize:
        return va_arg(*args_, size_t);
      case LengthModifier::kMax:
        return va_arg(*args_, uintmax_t);
      case LengthModifier::kPointerDiff:
        return va_arg(*args_, std::make_unsigned_t<ptrdiff_t>);
      case LengthModifier::kNone:
        break;
    }
    return va_arg(*args_, unsigned int);
  }

  void formatSigned(const ConversionSpec& conversion) {
    const long long value = readSigned(conversion.length);
    const unsigned long long magnitude = value < 0 ? 0ull - static_cast<unsigned long long>(value)
                                                   : static_cast<unsigned long long>(value);
    const char* sign = value < 0              ? "-"
                       : conversion.plusSign  ? "+"
                       : conversion.spaceSign ? " "
                                              : "";
    formatInteger(conversion, magnitude, sign, 10, false);
  }

  void formatUnsigned(const ConversionSpec& conversion, unsigned base, bool upperCase) {
    formatInteger(conversion, readUnsigned(conversion.length), "", base, upperCase);
  }

  void formatPointer(const ConversionSpec& conversion) {
    const uintptr_t address = reinterpret_cast<uintptr_t>(va_arg(*args_, void*));
    if (address == 0) {
      appendField(kNullPointerText, sizeof(kNullPointerText) - 1, conversion);
      return;
    }
    ConversionSpec hex;
    hex.leftAlign = conversion.leftAlign;
    hex.width = conversion.width;
    hex.alternate = true;
    formatInteger(hex, address, "", 16, false);
  }

  // Lays out sign or prefix, precision zeros, digits and width padding as printf does.
  void formatInteger(const ConversionSpec& conversion, unsigned long long magnitude,
                     const char* sign, unsigned base, bool upperCase) {
    const char* digitSet = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
    char digits[kMaxDigits];
    size_t digitCount = 0;
    const bool noDigits = conversion.hasPrecision && conversion.precision == 0 && magnitude == 0;
    for (unsigned long long rest = magnitude; !noDigits && (digitCount == 0 || rest != 0);
         rest /= base) {
      digits[kMaxDigits - ++digitCount] = digitSet[rest % base];
    }

    std::string_view prefix = sign;
    if (conversion.alternate && base == 16 && magnitude != 0) prefix = upperCase ? "0X" : "0x";
    size_t zeros = conversion.hasPrecision && conversion.precision > digitCount
                       ? conversion.precision - digitCount
                       : 0;
    if (conversion.alternate && base == 8 && zeros == 0 && (digitCount == 0 || magnitude != 0))
      zeros = 1;

    const size_t bodySize = prefix.size() + zeros + digitCount;
    const size_t padding = conversion.width > bodySize ? conversion.width - bodySize : 0;
    const bool padWithZeros =
        conversion.zeroPad && !conversion.leftAlign && !conversion.hasPrecision;
    if (!conversion.leftAlign && !padWithZeros) text_.appendRepeated(' ', padding);
    text_.append(prefix.data(), prefix.size());
    text_.appendRepeated('0', padWithZeros ? zeros + padding : zeros);
    text_.append(digits + kMaxDigits - digitCount, digitCount);
    if (conversion.leftAlign) text_.appendRepeated(' ', padding);
  }

  void formatCharacter(const ConversionSpec& conversion, bool utf16Unit) {
    const int value = va_arg(*args_, int);
    char bytes[kMaxUtf8SequenceBytes];
    size_t size = 0;
    if (utf16Unit) {
      const char32_t unit = static_cast<char16_t>(value);
      const bool surrogate = isHighSurrogate(unit) || isLowSurrogate(unit);
      if (unit != 0) size = encodeUtf8(surrogate ? kReplacementCharacter : unit, bytes);
    } else if (static_cast<char>(value) != '\0') {
      bytes[0] = static_cast<char>(value);
      size = 1;
    }
    appendField(bytes, size, conversion);
  }

  // The most bytes a string conversion may produce: its precision, or one byte more than the
  // room left so that an over-long string still marks the message truncated.
  size_t stringLimit(const ConversionSpec& conversion) const {
    const size_t unbounded = text_.room() + 1;
    return conversion.hasPrecision && conversion.precision < unbounded ? conversion.precision
                                                                       : unbounded;
  }

  void formatNarrowString(const ConversionSpec& conversion) {
    const char* text = va_arg(*args_, const char*);
    if (text == nullptr) text = kNullText;
    const size_t limit = stringLimit(conversion);
    size_t size = 0;
    while (size < limit && text[size] != '\0') ++size;
    if (size == limit) size = completeUtf8Length(text, size);
    appendField(text, size, conversion);
  }

  void formatWideString(const ConversionSpec& conversion) {
    const char16_t* text = va_arg(*args_, const char16_t*);
    if (text == nullptr) {
      const size_t limit = stringLimit(conversion);
      const size_t size = limit < sizeof(kNullText) - 1 ? limit : sizeof(kNullText) - 1;
      appendField(kNullText, size, conversion);
      return;
    }
    // Measure first, so that the padding before the text is known, then convert.
    const size_t size = convertedSize(text, stringLimit(conversion));
    const size_t padding = conversion.width > size ? conversion.width - size : 0;
    if (!conversion.leftAlign) text_.appendRepeated(' ', padding);
    appendConverted(text, size);
    if (conversion.leftAlign) text_.appendRepeated(' ', padding);
  }

  // Size of the UTF-8 form of text, whole characters only, at most `limit` bytes.
  static size_t convertedSize(const char16_t* text, size_t limit) {
    size_t size = 0;
    while (*text != u'\0') {
      const size_t next = utf8Size(nextCodePoint(&text));
      if (size + next > limit) break;
      size += next;
    }
    return size;
  }

  // Appends the first `size` bytes of the UTF-8 form of text, as measured by convertedSize.
  void appendConverted(const char16_t* text, size_t size) {
    char chunk[kConversionChunkBytes];
    size_t used = 0;
    for (size_t written = 0; written < size;) {
      const size_t next = encodeUtf8(nextCodePoint(&text), chunk + used);
      used += next;
      written += next;
      if (used + kMaxUtf8SequenceBytes > sizeof(chunk)) {
        text_.append(chunk, used);
        used = 0;
      }
    }
    text_.append(chunk, used);
  }

  // Appends text padded with spaces to the field width.
  void appendField(const char* data, size_t size, const ConversionSpec& conversion) {
    const size_t padding = conversion.width > size ? conversion.width - size : 0;
    if (!conversion.leftAlign) text_.appendRepeated(' ', padding);
    text_.append(data, size);
    if (conversion.leftAlign) text_.appendRepeated(' ', padding);
  }

  BoundedText text_;
  va_list* args_;
};

}  // namespace

bool formatTraceMessage(const char* format, va_list args, std::string* message) noexcept {
  va_list copy;
  va_copy(copy, args);
  bool formatted = true;
  try {
    Formatter(message, &copy).run(format != nullptr ? format : kNullText);
  } catch (const std::bad_alloc&) {
    formatted = false;
  }
  va_end(copy);
  return formatted;
}

}  // namespace zrlog
