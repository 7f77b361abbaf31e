#include "batch_words.h"

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

bool splitWords(const std::string& line, std::vector<std::string>* words, std::string* error) {
  words->clear();
  size_t i = 0;
  while (i < line.size()) {
    if (isBlank(line[i])) {
      ++i;
      continue;
    }
    std::string word;
    while (i < line.size() && !isBlank(line[i])) {
      const char c = line[i++];
      if (c != '\'' && c != '"') {
        word += c;
        continue;
      }
      const size_t opening = i - 1;
      bool closed = false;
      while (i < line.size()) {
        const char inner = line[i++];
        if (inner == c) {
          closed = true;
          break;
        }
        if (c == '"' && inner == '\\' && i < line.size() && (line[i] == '"' || line[i] == '\\')) {
          word += line[i++];
        } else {
          word += inner;
        }
      }
      if (!closed) {
        *error = std::string("the quote ") + c + " at column " + std::to_string(opening + 1) +
                 " is not closed";
        return false;
      }
    }
    words->push_back(word);
  }
  return true;
}
