// narrow() renders wide text for test messages and host paths. Narrow text is UTF-8 on POSIX but
// the ANSI code page on Windows, where a single-byte code page converts nearly every byte string
// and decodes UTF-8 bytes as other characters. Tests that feed UTF-8 or invalid byte strings
// through a narrow interface skip where narrow text is not UTF-8.
#ifndef FSCANNER_TESTS_SUPPORT_NARROW_TEXT_H
#define FSCANNER_TESTS_SUPPORT_NARROW_TEXT_H

#include <string>

#include "platform/platform.h"

inline bool narrowTextIsUtf8() {
  std::u16string decoded;
  return platform::narrowToWide("\xC3\xA9", &decoded) && decoded == u"\u00E9" &&
         !platform::narrowToWide("\xFF", &decoded);
}

constexpr const char* kNarrowTextIsNotUtf8 = "narrow text here is a code page other than UTF-8";

// The narrow form of text ("(null)" for a null pointer).
inline std::string narrow(const char16_t* text) {
  if (text == nullptr) return "(null)";
  std::string out;
  platform::wideToNarrow(text, &out);
  return out;
}
inline std::string narrow(const std::u16string& text) { return narrow(text.c_str()); }

#endif  // FSCANNER_TESTS_SUPPORT_NARROW_TEXT_H
