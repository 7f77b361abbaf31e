#include "monitor_command.h"

namespace {

void splitWords(const std::u16string& text, std::vector<std::u16string>* words) {
  size_t at = 0;
  while (at < text.size()) {
    while (at < text.size() && (text[at] == u' ' || text[at] == u'\t')) ++at;
    const size_t start = at;
    while (at < text.size() && text[at] != u' ' && text[at] != u'\t') ++at;
    if (at > start) words->push_back(text.substr(start, at - start));
  }
}

}  // namespace

bool parseMonitorCommand(const std::vector<std::u16string>& arguments, MonitorCommand* command,
                         std::string* error) {
  if (arguments.size() < 3) {
    *error = "expected: <directories table> <files table> <home> <kind> <drives> start|stop";
    return false;
  }
  command->directoriesTable = arguments[0];
  command->filesTable = arguments[1];
  std::vector<std::u16string> rest;
  const size_t quote = arguments[2].find(u'"');
  if (quote == 0) {
    *error = "the cache home is empty";
    return false;
  }
  if (quote != std::u16string::npos) {
    // "C:\" arrived as C:" followed by the other words: the quote stands for "\ and a space.
    command->home = arguments[2].substr(0, quote) + u'\\';
    splitWords(arguments[2].substr(quote + 1), &rest);
  } else {
    command->home = arguments[2];
  }
  rest.insert(rest.end(), arguments.begin() + 3, arguments.end());
  if (rest.size() != 3 || command->home.empty() || command->directoriesTable.empty() ||
      command->filesTable.empty()) {
    *error = "expected: <directories table> <files table> <home> <kind> <drives> start|stop";
    return false;
  }
  command->kind = rest[0];
  command->drives = rest[1];
  if (rest[2] == u"start") {
    command->stop = false;
  } else if (rest[2] == u"stop") {
    command->stop = true;
  } else {
    *error = "the command must be start or stop";
    return false;
  }
  return true;
}
