// Building the provider's owned wide texts.
#ifndef FSCANNER_PROVIDER_MONITOR_OWNED_TEXT_H
#define FSCANNER_PROVIDER_MONITOR_OWNED_TEXT_H

#include <memory>
#include <new>
#include <string>

using OwnedText = std::unique_ptr<char16_t[]>;

// A zero-terminated copy of text; null when memory runs out.
inline OwnedText makeOwnedText(const std::u16string& text) {
  OwnedText copy(new (std::nothrow) char16_t[text.size() + 1]);
  if (copy == nullptr) return copy;
  text.copy(copy.get(), text.size());
  copy[text.size()] = u'\0';
  return copy;
}

// text followed by a backslash unless it already ends with one.
inline std::u16string withTrailingBackslash(const char16_t* text) {
  std::u16string result(text);
  if (result.empty() || result.back() != u'\\') result += u'\\';
  return result;
}

#endif  // FSCANNER_PROVIDER_MONITOR_OWNED_TEXT_H
