#include "command_line.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "query_paths.h"

const char kUsage[] =
    "usage: fsquery [options] [PATH...]\n"
    "Lists the files under each PATH (default: the current directory) that satisfy the criteria.\n"
    "A PATH is a host path (/usr/include), a drive path (C:\\usr\\include) or a media word\n"
    "($local, $remote); a host path on a remote drive is searched as $remote::PATH, one on\n"
    "removable, CD-ROM or RAM-disk drives as $other::PATH. Select names with the criteria: -c "
    "'[FILENAME]==\"*.txt\"'.\n"
    "\n"
    "What to search:\n"
    "  -c, --criteria TEXT  criteria expression, e.g. '[FILENAME]==\"*.h\" && [SIZE] > 1000'\n"
    "                       (default: every file)\n"
    "      --flat PATH      search PATH itself, not its subdirectories (repeatable)\n"
    "      --exclude PATH   leave PATH and everything below it out (repeatable)\n"
    "      --fs NAME        only drives with this file system, e.g. EXT4 (repeatable)\n"
    "      --not-fs NAME    never drives with this file system (repeatable)\n"
    "      --case           compare names case-sensitively\n"
    "      --checksums      record MD5, CRC32 and Q32 in the cache (with --cache-only; the\n"
    "                       monitor records none)\n"
    "      --crc32 HEX      only files with this CRC32 (repeatable)\n"
    "      --md5 HEX        only files with this MD5 (repeatable)\n"
    "How to search:\n"
    "      --cache-only     use the cache without the monitor, refreshing it as needed\n"
    "      --age SECONDS    with --cache-only: accepted age of cached trees (default 0)\n"
    "      --timeout MS     time-out in milliseconds (default 30000)\n"
    "      --extended       use the extended query form\n"
    "      --home DIR       cache directory (default: the user's cache directory + /fscanner)\n"
    "      --drives TEXT    drives the monitor keeps (default $local: every fixed drive)\n"
    "      --shutdown       stop the monitor of the cache directory and exit\n"
    "      --batch          answer queries read from standard input, one per line, each written\n"
    "                       as fsquery's options and paths (quote with '...' or \"...\"); each\n"
    "                       query's results end with a line '#end RESULT MATCHES MICROSECONDS'\n"
    "Output (one path per line by default):\n"
    "  -l, --long           size, attributes, MD5, CRC32, Q32 and source before the path\n"
    "      --json           one JSON object per file\n"
    "      --count          only the number of files\n"
    "  -0                   end each path with a NUL byte instead of a new line\n"
    "      --drive-paths    print drive paths (C:\\x) instead of host paths\n"
    "  -q, --quiet          no progress line\n"
    "  -h, --help           show this text\n"
    "Exit status: 0 ok, 1 failed, 2 timed out or cache busy, 64 bad command line.\n";

namespace {

constexpr char16_t kEveryFile[] = u"[FILENAME]==\"*\"";

bool toNumber(const char* text, uint32_t* out, std::string* error) {
  char* end = nullptr;
  errno = 0;
  const unsigned long long value = std::strtoull(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || value > 0xFFFFFFFFull || text[0] == '-') {
    *error = std::string("not a number: '") + text + "'";
    return false;
  }
  *out = static_cast<uint32_t>(value);
  return true;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Exactly `bytes` bytes written as 2 * bytes hex digits, most significant first.
bool parseHex(const char* text, size_t bytes, uint8_t* out) {
  if (std::strlen(text) != 2 * bytes) return false;
  for (size_t i = 0; i < bytes; ++i) {
    const int high = hexDigit(text[2 * i]);
    const int low = hexDigit(text[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    out[i] = static_cast<uint8_t>(high << 4 | low);
  }
  return true;
}

bool addChecksum(const char* name, const char* text, ChecksumFilter* filter, std::string* error) {
  if (std::strcmp(name, "--md5") == 0) {
    Md5Digest digest{};
    if (!parseHex(text, digest.size(), digest.data())) {
      *error = std::string("--md5 needs 32 hex digits: '") + text + "'";
      return false;
    }
    filter->md5Values.push_back(digest);
  } else {
    uint8_t bytes[4];
    if (!parseHex(text, sizeof bytes, bytes)) {
      *error = std::string("--crc32 needs 8 hex digits: '") + text + "'";
      return false;
    }
    filter->crc32Values.push_back(static_cast<uint32_t>(bytes[0]) << 24 | bytes[1] << 16 |
                                  bytes[2] << 8 | bytes[3]);
  }
  filter->active = 1;
  return true;
}

bool addPath(const char* text, bool recursive, PathList* list, std::string* error) {
  std::u16string path;
  if (!toQueryPath(text, &path, error)) return false;
  list->emplace_back(path.c_str(), recursive);
  return true;
}

bool toWide(const char* text, std::u16string* out, std::string* error) {
  if (platform::narrowToWide(text, out)) return true;
  *error = std::string("'") + text + "' is not valid text";
  return false;
}

// Options that take no value; false when option is none of them.
bool applyFlag(const std::string& option, QueryRequest* request) {
  OutputOptions& output = request->output;
  if (option == "-h" || option == "--help") {
    request->showHelp = true;
  } else if (option == "--case") {
    request->query.caseSensitiveFlag = true;
  } else if (option == "--extended") {
    request->extended = true;
  } else if (option == "--cache-only") {
    request->cacheOnly = true;
  } else if (option == "--checksums") {
    request->checksums = true;
  } else if (option == "--shutdown") {
    request->shutdownMonitor = true;
  } else if (option == "--batch") {
    request->batch = true;
  } else if (option == "-q" || option == "--quiet") {
    request->quiet = true;
  } else if (option == "-l" || option == "--long") {
    output.format = OutputFormat::kLong;
  } else if (option == "--json") {
    output.format = OutputFormat::kJson;
  } else if (option == "--count") {
    output.format = OutputFormat::kCount;
  } else if (option == "-0") {
    output.separator = '\0';
  } else if (option == "--drive-paths") {
    output.drivePaths = true;
  } else {
    return false;
  }
  return true;
}

bool takesValue(const std::string& option) {
  static const char* const kValueOptions[] = {"-c",      "--criteria", "--flat", "--exclude",
                                              "--fs",    "--not-fs",   "--age",  "--timeout",
                                              "--crc32", "--md5",      "--home", "--drives"};
  for (const char* known : kValueOptions) {
    if (option == known) return true;
  }
  return false;
}

// Options that take a value (takesValue); false with *error set when the value is bad.
bool applyValue(const std::string& option, const char* value, QueryRequest* request,
                std::string* error) {
  HostQuery& query = request->query;
  std::u16string wide;
  if (option == "--flat") return addPath(value, false, &query.included, error);
  if (option == "--exclude") return addPath(value, true, &query.excluded, error);
  if (option == "--fs" || option == "--not-fs") {
    if (!toWide(value, &wide, error)) return false;
    (option == "--fs" ? query.includedFs : query.excludedFs).push_back(wide);
    return true;
  }
  if (option == "-c" || option == "--criteria") return toWide(value, &query.criteriaText, error);
  if (option == "--age") return toNumber(value, &request->age, error);
  if (option == "--timeout") return toNumber(value, &request->timeout, error);
  if (option == "--crc32" || option == "--md5") {
    return addChecksum(option.c_str(), value, &request->checksumFilter, error);
  }
  if (option == "--home") {
    request->home = value;
    return true;
  }
  request->drives = value;
  return true;
}

}  // namespace

bool parseCommandLine(int argc, const char* const* argv, QueryRequest* request,
                      std::string* error) {
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
      if (!addPath(argv[i], true, &request->query.included, error)) return false;
      continue;
    }
    if (argument == "--") {
      optionsEnded = true;
      continue;
    }
    if (applyFlag(argument, request)) continue;
    // "--name=value" or "--name value".
    const size_t equals = argument.find('=');
    const bool joined = argument.compare(0, 2, "--") == 0 && equals != std::string::npos;
    const std::string option = joined ? argument.substr(0, equals) : argument;
    const char* value = joined ? argv[i] + equals + 1 : (i + 1 < argc ? argv[i + 1] : nullptr);
    if (!takesValue(option)) {
      *error = "unknown option '" + option + "'";
      return false;
    }
    if (value == nullptr) {
      *error = "option '" + option + "' needs a value";
      return false;
    }
    if (!joined) ++i;
    if (!applyValue(option, value, request, error)) return false;
  }
  // Without criteria a walk of the disk would accept nothing; a person means every file.
  if (request->query.criteriaText.empty()) request->query.criteriaText = kEveryFile;
  if (request->query.included.empty() && !request->showHelp && !request->shutdownMonitor &&
      !request->batch) {
    return addPath(".", true, &request->query.included, error);
  }
  return true;
}
