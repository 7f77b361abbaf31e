// MappedFile throughput: sequential 4-byte writes as a table fills record by record, and 4-byte
// reads of the same data.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "tablestore/mapped_file.h"

namespace {

constexpr uint32_t kWordsPerRound = 1 << 20;  // 4 MiB per round

std::u16string benchPath() {
  std::filesystem::path host = std::filesystem::temp_directory_path() /
                               ("fscanner-bench-" + std::to_string(platform::currentProcessId()));
  std::u16string drive;
  platform::driveQualifiedPath(host.string(), &drive);
  return drive;
}

void BM_SequentialWordWrites(benchmark::State& state) {
  std::u16string path = benchPath();
  for (auto _ : state) {
    MappedFile file(path.c_str());
    if (!file.create()) {
      state.SkipWithError("cannot create the file");
      return;
    }
    for (uint32_t i = 0; i < kWordsPerRound; ++i) file.write(&i, 4);
    file.close();
  }
  state.SetItemsProcessed(state.iterations() * kWordsPerRound);
  state.SetBytesProcessed(state.iterations() * kWordsPerRound * 4);
  platform::removeFile(path.c_str());
}
BENCHMARK(BM_SequentialWordWrites)->Unit(benchmark::kMillisecond);

void BM_SequentialWordReads(benchmark::State& state) {
  std::u16string path = benchPath();
  {
    MappedFile file(path.c_str());
    file.create();
    for (uint32_t i = 0; i < kWordsPerRound; ++i) file.write(&i, 4);
    file.close();
  }
  MappedFile file(path.c_str());
  if (!file.open()) {
    state.SkipWithError("cannot open the file");
    return;
  }
  uint32_t word = 0;
  for (auto _ : state) {
    file.seek(0, SEEK_FROM_START);
    for (uint32_t i = 0; i < kWordsPerRound; ++i) file.read(&word, 4);
    benchmark::DoNotOptimize(word);
  }
  file.close();
  state.SetItemsProcessed(state.iterations() * kWordsPerRound);
  platform::removeFile(path.c_str());
}
BENCHMARK(BM_SequentialWordReads)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
