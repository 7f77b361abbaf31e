// The trace library's own printf-style formatter.
//
// It never hands the caller's format to the C library: %S and %ls must read UTF-16 (char16_t)
// text on every platform, where the C library would read wchar_t, and a trace must stay bounded
// whatever its arguments.
//
// Conversions: %d %i %u %o %x %X with the flags '-' '0' ' ' '+' '#', a width and a precision
// (digits or '*'), and the length modifiers hh h l ll z j t; %c (with l: one UTF-16 unit);
// %s (narrow text, bytes passed through, so UTF-8 stays UTF-8); %S and %ls (UTF-16 converted to
// UTF-8, an unpaired surrogate becoming U+FFFD); %p ("0x" and lowercase hex digits, "(nil)" for
// null, the same on every platform); %%. A null string prints "(null)"; a null format gives
// "(null)". For strings the precision is the most bytes written (never a split UTF-8 sequence)
// and the width counts bytes. %c of 0 writes nothing, so a message never holds a NUL byte.
//
// An unknown conversion (floating point and %n included) is copied literally, from the '%' to the
// conversion character, and consumes no argument; a format that ends inside a conversion copies
// the rest literally.
//
// A message is at most kMaxTraceMessageBytes long: a longer one is cut on a UTF-8 character
// boundary and ends in kTraceTruncationMarker, and formatting stops reading arguments there.
#ifndef FSCANNER_ZRLOG_TRACE_FORMAT_H
#define FSCANNER_ZRLOG_TRACE_FORMAT_H

#include <cstdarg>
#include <cstddef>
#include <string>

namespace zrlog {

constexpr size_t kMaxTraceMessageBytes = 64 * 1024;
constexpr char kTraceTruncationMarker[] = "...(truncated)";

// Replaces *message with the formatted text. Returns false, leaving *message unspecified, only
// when memory runs out. `args` is read through a copy, so the caller's list is left untouched.
bool formatTraceMessage(const char* format, va_list args, std::string* message) noexcept;

}  // namespace zrlog

#endif  // FSCANNER_ZRLOG_TRACE_FORMAT_H
