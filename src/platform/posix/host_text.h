// Conversions between host file names (bytes, normally UTF-8) and the wide text of the Windows
// namespace. Unlike narrowToWide/wideToNarrow they never lose a name: a byte that is not part of
// valid UTF-8, and a backslash (a separator in the Windows namespace, an ordinary character in a
// Linux name), become the lone surrogate U+DC00 + byte, and those surrogates turn back into the
// same bytes. Valid UTF-8 never decodes to a lone surrogate, so the escape is unambiguous.
#ifndef FSCANNER_PLATFORM_POSIX_HOST_TEXT_H
#define FSCANNER_PLATFORM_POSIX_HOST_TEXT_H

#include <cstddef>
#include <string>

namespace platform {
namespace internal {

// Appends the wide form of length bytes of a host name or path.
void hostToWide(const char* text, size_t length, std::u16string* out);

// Appends the host form of length wide characters. False on a lone surrogate that is not an
// escape made by hostToWide (out then holds a partial result).
bool wideToHost(const char16_t* text, size_t length, std::string* out);

}  // namespace internal
}  // namespace platform

#endif  // FSCANNER_PLATFORM_POSIX_HOST_TEXT_H
