#include "platform/win32/windows_api.h"

#include "platform/win32/object_name.h"

namespace platform {
namespace win32 {
namespace {

// The length of prefix when text starts with it, ignoring the case of ASCII letters; else 0.
size_t prefixLength(const char16_t* text, const char16_t* prefix) {
  size_t length = 0;
  for (; prefix[length] != 0; ++length) {
    char16_t c = text[length];
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    char16_t p = prefix[length];
    if (p >= u'a' && p <= u'z') p = static_cast<char16_t>(p - u'a' + u'A');
    if (c != p) return 0;  // also stops at the end of text
  }
  return length;
}

}  // namespace

bool isValidObjectName(const char16_t* name) {
  if (name == nullptr) return false;
  size_t start = prefixLength(name, u"Global\\");
  if (start == 0) start = prefixLength(name, u"Local\\");
  const char16_t* rest = name + start;
  if (*rest == 0) return false;
  for (; *rest != 0; ++rest) {
    if (*rest == u'\\') return false;
  }
  return true;
}

}  // namespace win32
}  // namespace platform
