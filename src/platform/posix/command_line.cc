#include "platform/posix/command_line.h"

namespace platform {
namespace internal {
namespace {

bool isBlank(char16_t c) { return c == u' ' || c == u'\t'; }

void skipBlanks(const std::u16string& text, size_t* i) {
  while (*i < text.size() && isBlank(text[*i])) ++*i;
}

std::u16string imageWord(const std::u16string& text, size_t* i) {
  std::u16string word;
  if (text[*i] == u'"') {
    const size_t close = text.find(u'"', *i + 1);
    const size_t end = close == std::u16string::npos ? text.size() : close;
    word = text.substr(*i + 1, end - *i - 1);
    *i = close == std::u16string::npos ? end : close + 1;
    return word;
  }
  while (*i < text.size() && !isBlank(text[*i])) word.push_back(text[(*i)++]);
  return word;
}

std::u16string argumentWord(const std::u16string& text, size_t* i) {
  std::u16string word;
  bool quoted = false;
  while (*i < text.size()) {
    const char16_t c = text[*i];
    if (isBlank(c) && !quoted) break;
    if (c == u'\\') {
      size_t run = 0;
      while (*i < text.size() && text[*i] == u'\\') {
        ++run;
        ++*i;
      }
      if (*i < text.size() && text[*i] == u'"') {
        word.append(run / 2, u'\\');
        if (run % 2 == 1) {
          word.push_back(u'"');
          ++*i;
        }
      } else {
        word.append(run, u'\\');
      }
      continue;
    }
    if (c == u'"') {
      ++*i;
      if (!quoted) {
        quoted = true;
      } else if (*i < text.size() && text[*i] == u'"') {
        word.push_back(u'"');
        ++*i;
        quoted = false;
      } else {
        quoted = false;
      }
      continue;
    }
    word.push_back(c);
    ++*i;
  }
  return word;
}

}  // namespace

std::vector<std::u16string> splitCommandLine(const char16_t* commandLine) {
  std::vector<std::u16string> words;
  if (commandLine == nullptr) return words;
  const std::u16string text(commandLine);
  size_t i = 0;
  skipBlanks(text, &i);
  if (i == text.size()) return words;
  words.push_back(imageWord(text, &i));
  skipBlanks(text, &i);
  while (i < text.size()) {
    words.push_back(argumentWord(text, &i));
    skipBlanks(text, &i);
  }
  return words;
}

}  // namespace internal
}  // namespace platform
