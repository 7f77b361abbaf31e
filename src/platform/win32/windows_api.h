// The Win32 API as the backend uses it. Include this first in every backend source file: the
// Windows version below only takes effect when no other system header came before it.
//
// The module must load on 32-bit Windows XP, so only declarations of that version are visible;
// newer functions are looked up at run time by the portable code (Library::symbol).
#ifndef FSCANNER_PLATFORM_WIN32_WINDOWS_API_H
#define FSCANNER_PLATFORM_WIN32_WINDOWS_API_H

#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0501
#endif
#if _WIN32_WINNT != 0x0501
#error "platform/win32/windows_api.h must come before any other header"
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif

#include <windows.h>

#include <cstdint>

namespace platform {
namespace win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 text is passed to *W calls as is");

// char16_t and wchar_t hold the same UTF-16 code units on Windows.
inline const wchar_t* asWide(const char16_t* text) {
  return reinterpret_cast<const wchar_t*>(text);
}
inline wchar_t* asWide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }
inline const char16_t* asUtf16(const wchar_t* text) {
  return reinterpret_cast<const char16_t*>(text);
}

// A FILETIME as one 64-bit count of 100-ns units.
inline uint64_t fileTimeValue(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace win32
}  // namespace platform

#endif  // FSCANNER_PLATFORM_WIN32_WINDOWS_API_H
