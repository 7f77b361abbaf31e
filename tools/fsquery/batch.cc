#include "batch.h"

#include <chrono>
#include <string>
#include <vector>

#include "batch_words.h"
#include "platform/platform.h"

namespace {

constexpr int kResultBadLine = 64;

// The next line of in without its line end; false at the end of the stream.
bool readLine(std::FILE* in, std::string* line) {
  line->clear();
  int c;
  while ((c = std::fgetc(in)) != EOF && c != '\n') line->push_back(static_cast<char>(c));
  return c != EOF || !line->empty();
}

// Options that set up the provider or the cache apply to the whole batch and come before it.
bool checkPerQuery(const QueryRequest& request, std::string* error) {
  if (!request.home.empty() || !request.drives.empty() || request.cacheOnly || request.checksums ||
      request.checksumFilter.active != 0 || request.shutdownMonitor || request.batch ||
      request.showHelp) {
    *error =
        "--home, --drives, --cache-only, --checksums, --crc32, --md5, --shutdown, --batch and "
        "--help apply to the whole batch: give them on fsquery's command line";
    return false;
  }
  return true;
}

bool parseLine(const std::string& line, QueryRequest* request, std::string* error) {
  std::vector<std::string> words;
  if (!splitWords(line, &words, error)) return false;
  std::vector<const char*> arguments{"fsquery"};
  for (const std::string& word : words) arguments.push_back(word.c_str());
  return parseCommandLine(static_cast<int>(arguments.size()), arguments.data(), request, error) &&
         checkPerQuery(*request, error);
}

}  // namespace

int runBatch(std::FILE* in, std::FILE* out, const AnswerQuery& answer) {
  int status = 0;
  std::string line;
  for (unsigned number = 1; readLine(in, &line); ++number) {
    const size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == '#') continue;
    QueryRequest request;
    std::string error;
    int result = kResultBadLine;
    uint64_t matches = 0;
    const auto start = std::chrono::steady_clock::now();
    if (parseLine(line, &request, &error)) {
      result = answer(request, &matches);
    } else {
      std::fprintf(stderr, "fsquery: line %u: %s\n", number, error.c_str());
    }
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count();
    std::fprintf(out, "#end %d %llu %lld\n", result, static_cast<unsigned long long>(matches),
                 static_cast<long long>(micros));
    std::fflush(out);
    // A long batch keeps its resident memory to what it holds between two queries.
    platform::releaseFreeMemory();
    if (result != 0) status = result;
  }
  return status;
}
