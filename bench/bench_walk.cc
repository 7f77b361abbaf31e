// fs_build over a directory tree, printing "size path" for every reported file the way
// `find DIR -printf '%s %p\n'` does, so the two can be compared on the same tree
// (bench/compare_walk_and_checksums.sh).
//
// FSCANNER_BENCH_TREE names the host directory to walk; without it a small tree is generated in
// the temporary directory for the run. FSCANNER_BENCH_SELECT is a name pattern for the selective
// run (default f0001*). The output goes to the null device.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "FsFileInfo.h"
#include "FsResults.h"
#include "platform/platform.h"
#include "walk/fsbuild.h"

namespace {

#if defined(_WIN32)
constexpr const char* kNullDevice = "NUL";
#else
constexpr const char* kNullDevice = "/dev/null";
#endif

constexpr int kWalkIterations = 5;
constexpr int kGeneratedDirectories = 100;
constexpr int kGeneratedFilesPerDirectory = 200;

// Longest UTF-8 form of one UTF-16 unit.
constexpr size_t kMaxUtf8PerUnit = 3;
constexpr size_t kMaxSizeDigits = 20;

// Writes the UTF-8 form of text at out and returns the end (ASCII stays as it is).
char* putUtf8(const char16_t* text, char* out) {
  for (const char16_t* p = text; *p != u'\0'; ++p) {
    const uint32_t c = *p;
    if (c < 0x80) {
      *out++ = static_cast<char>(c);
    } else if (c < 0x800) {
      *out++ = static_cast<char>(0xC0 | (c >> 6));
      *out++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
      *out++ = static_cast<char>(0xE0 | (c >> 12));
      *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *out++ = static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

size_t length16(const char16_t* text) {
  size_t length = 0;
  while (text[length] != u'\0') ++length;
  return length;
}

// Prints each file as find's -printf '%s %p\n' would.
class PrintingResults : public FsResults {
 public:
  explicit PrintingResults(std::FILE* out) : out_(out) {}
  void addFileInfo(FsFileInfo* info) override {
    const size_t worst = kMaxSizeDigits + 2 +
                         kMaxUtf8PerUnit * (length16(info->directory()) + length16(info->name()));
    if (line_.size() < worst) line_.resize(worst);
    char* p = line_.data();
    p +=
        std::snprintf(p, kMaxSizeDigits + 1, "%llu", static_cast<unsigned long long>(info->size()));
    *p++ = ' ';
    p = putUtf8(info->directory(), p);
    p = putUtf8(info->name(), p);
    *p++ = '\n';
    std::fwrite(line_.data(), 1, static_cast<size_t>(p - line_.data()), out_);
    ++count_;
  }
  void addFile(const char16_t*, const char16_t*, uint32_t, uint32_t, uint32_t, const char16_t*,
               uint32_t, uint32_t) override {}
  long count() const { return count_; }

 private:
  std::FILE* out_;
  std::vector<char> line_;
  long count_ = 0;
};

// The tree to walk: the one named by FSCANNER_BENCH_TREE, or one generated for the run and
// removed at exit.
class BenchTree {
 public:
  BenchTree() {
    std::filesystem::path host;
    if (const char* named = std::getenv("FSCANNER_BENCH_TREE")) {
      host = named;
    } else {
      generated_ = std::filesystem::temp_directory_path() /
                   ("fscanner-bench-walk-" + std::to_string(platform::currentProcessId()));
      host = generated_;
      for (int d = 0; d < kGeneratedDirectories; ++d) {
        const auto directory = host / ("d" + std::to_string(d));
        std::filesystem::create_directories(directory);
        for (int f = 0; f < kGeneratedFilesPerDirectory; ++f) {
          std::ofstream(directory / ("f" + std::to_string(d * 1000 + f) + ".dat")) << f;
        }
      }
    }
    platform::driveQualifiedPath(std::filesystem::absolute(host).string(), &drivePath_);
  }
  ~BenchTree() {
    std::error_code ignored;
    if (!generated_.empty()) std::filesystem::remove_all(generated_, ignored);
  }
  const std::u16string& drivePath() const { return drivePath_; }

 private:
  std::filesystem::path generated_;
  std::u16string drivePath_;
};

const std::u16string& treePath() {
  static const BenchTree tree;
  return tree.drivePath();
}

void walk(benchmark::State& state, const std::u16string& criteria) {
  std::FILE* out = std::fopen(kNullDevice, "w");
  const ResolvedPath start{PathEntry(treePath().c_str(), true),
                           DriveEntry(u"C:", DT_FIXED, u"EXT4")};
  long reported = 0;
  for (auto _ : state) {
    PrintingResults results(out);
    FsScanFilter filter(criteria.c_str(), false);
    if (fs_build(&results, &filter, start, {}, {}, false, kWalkDefaultBudgetMs) != 0) {
      state.SkipWithError("walk failed");
    }
    std::fflush(out);
    reported = results.count();
  }
  std::fclose(out);
  state.counters["files"] = static_cast<double>(reported);
}

void BM_FsBuildEveryFile(benchmark::State& state) { walk(state, u"[FILENAME]==\"*.dat\""); }
BENCHMARK(BM_FsBuildEveryFile)
    ->Iterations(kWalkIterations)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_FsBuildSelectedNames(benchmark::State& state) {
  const char* select = std::getenv("FSCANNER_BENCH_SELECT");
  const std::string pattern = select != nullptr ? select : "f0001*";
  walk(state, u"[FILENAME]==\"" + std::u16string(pattern.begin(), pattern.end()) + u"\"");
}
BENCHMARK(BM_FsBuildSelectedNames)
    ->Iterations(kWalkIterations)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
