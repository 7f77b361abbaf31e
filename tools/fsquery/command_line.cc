#include "command_line.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

const char kUsage[] =
    "usage: fsquery [options]\n"
    "  --include PATH       search PATH and everything below it (repeatable)\n"
    "  --include-flat PATH  search PATH itself, not its subdirectories (repeatable)\n"
    "  --exclude PATH       leave PATH and everything below it out (repeatable)\n"
    "  --fs NAME            only drives with this file system (repeatable)\n"
    "  --not-fs NAME        never drives with this file system (repeatable)\n"
    "  --criteria TEXT      criteria expression, e.g. \"[SIZE] > 1000\"\n"
    "  --case               compare names case-sensitively\n"
    "  --age SECONDS        accepted age of cached trees (default 0)\n"
    "  --timeout MS         query time-out in milliseconds (default 30000)\n"
    "  --extended           use the extended query form\n"
    "  --home DIR           cache directory (setting fscanner.provider_monitor/home)\n"
    "  --bin DIR            directory of fsmon (setting fscanner/home)\n"
    "  --drives TEXT        drives the monitor watches (default $local)\n"
    "  --monitor KIND       monitor kind (default monitor_win32)\n"
    "  --shutdown           stop the monitor after the query\n"
    "  --module FILE        the provider module to load\n"
    "  --help               show this text\n";

namespace {

bool toWide(const char* text, std::u16string* out, std::string* error) {
  if (platform::narrowToWide(text, out)) return true;
  *error = std::string("cannot convert '") + text + "'";
  return false;
}

bool toNumber(const char* text, uint32_t* out, std::string* error) {
  char* end = nullptr;
  errno = 0;
  unsigned long value = std::strtoul(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || value > 0xFFFFFFFFul) {
    *error = std::string("not a number: '") + text + "'";
    return false;
  }
  *out = static_cast<uint32_t>(value);
  return true;
}

}  // namespace

bool parseCommandLine(int argc, char** argv, QueryRequest* request, std::string* error) {
  for (int i = 1; i < argc; ++i) {
    const char* option = argv[i];
    bool hasValue = i + 1 < argc;
    auto value = [&]() { return argv[++i]; };
    auto is = [&](const char* name) { return std::strcmp(option, name) == 0; };
    std::u16string wide;
    if (is("--help") || is("-h")) {
      request->showHelp = true;
    } else if (is("--case")) {
      request->query.caseSensitiveFlag = true;
    } else if (is("--extended")) {
      request->extended = true;
    } else if (is("--shutdown")) {
      request->shutdownMonitor = true;
    } else if (!hasValue) {
      *error = std::string("unknown option or missing value: ") + option;
      return false;
    } else if (is("--include") || is("--include-flat") || is("--exclude")) {
      if (!toWide(value(), &wide, error)) return false;
      PathList& list = is("--exclude") ? request->query.excluded : request->query.included;
      list.emplace_back(wide.c_str(), !is("--include-flat"));
    } else if (is("--fs") || is("--not-fs")) {
      if (!toWide(value(), &wide, error)) return false;
      (is("--fs") ? request->query.includedFs : request->query.excludedFs).push_back(wide);
    } else if (is("--criteria")) {
      if (!toWide(value(), &request->query.criteriaText, error)) return false;
    } else if (is("--age")) {
      if (!toNumber(value(), &request->age, error)) return false;
    } else if (is("--timeout")) {
      if (!toNumber(value(), &request->timeout, error)) return false;
    } else if (is("--home")) {
      request->config.set("fscanner.provider_monitor", "home", value());
    } else if (is("--bin")) {
      request->config.set("fscanner", "home", value());
    } else if (is("--drives")) {
      request->config.set("fscanner.provider_monitor", "drives", value());
    } else if (is("--monitor")) {
      request->config.set("fscanner.provider_monitor", "monitor", value());
    } else if (is("--module")) {
      request->modulePath = value();
    } else {
      *error = std::string("unknown option: ") + option;
      return false;
    }
  }
  return true;
}
