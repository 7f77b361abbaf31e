// Conversion between UTF-16 and the narrow (ANSI) code page.
#include "platform/win32/windows_api.h"

#include "platform/platform.h"
#include "platform/win32/errors.h"

namespace platform {
namespace {

bool isHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The code page would silently turn a lone surrogate into '?', so it is rejected up front.
bool hasUnpairedSurrogate(const char16_t* text) {
  for (; *text != 0; ++text) {
    if (isHighSurrogate(*text)) {
      if (!isLowSurrogate(text[1])) return true;
      ++text;
    } else if (isLowSurrogate(*text)) {
      return true;
    }
  }
  return false;
}

// Empties *out; false (kErrorInvalidParameter) when the text or the output is missing.
template <typename Char, typename Out>
bool startConversion(const Char* text, Out* out) {
  if (out != nullptr) out->clear();
  if (text != nullptr && out != nullptr) return true;
  setLastError(kErrorInvalidParameter);
  return false;
}

}  // namespace

bool narrowToWide(const char* text, std::u16string* out) {
  if (!startConversion(text, out)) return false;
  if (*text == 0) return true;
  int length = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
  if (length == 0) {
    win32::recordSystemError(ERROR_NO_UNICODE_TRANSLATION);
    return false;
  }
  std::u16string converted(static_cast<size_t>(length), u'\0');
  if (::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, win32::asWide(&converted[0]),
                            length) != length) {
    win32::recordSystemError(ERROR_NO_UNICODE_TRANSLATION);
    return false;
  }
  converted.pop_back();  // the terminating zero
  out->swap(converted);
  return true;
}

bool wideToNarrow(const char16_t* text, std::string* out) {
  if (!startConversion(text, out)) return false;
  if (*text == 0) return true;
  if (hasUnpairedSurrogate(text)) {
    setLastError(ERROR_NO_UNICODE_TRANSLATION);
    return false;
  }
  // A UTF-8 code page represents every character and accepts neither flags nor a default-char
  // report; any other code page must not substitute look-alikes or '?' for what it lacks.
  const bool utf8 = ::GetACP() == CP_UTF8;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  BOOL* usedDefaultReport = utf8 ? nullptr : &usedDefault;
  const wchar_t* wide = win32::asWide(text);
  int length =
      ::WideCharToMultiByte(CP_ACP, flags, wide, -1, nullptr, 0, nullptr, usedDefaultReport);
  if (length == 0) {
    win32::recordSystemError(ERROR_NO_UNICODE_TRANSLATION);
    return false;
  }
  if (usedDefault) {
    setLastError(ERROR_NO_UNICODE_TRANSLATION);
    return false;
  }
  std::string converted(static_cast<size_t>(length), '\0');
  if (::WideCharToMultiByte(CP_ACP, flags, wide, -1, &converted[0], length, nullptr,
                            usedDefaultReport) != length) {
    win32::recordSystemError(ERROR_NO_UNICODE_TRANSLATION);
    return false;
  }
  converted.pop_back();  // the terminating zero
  out->swap(converted);
  return true;
}

}  // namespace platform
