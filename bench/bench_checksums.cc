// Checksum throughput: CRC-32 (both implementations, and zlib's crc32 when the build found zlib),
// MD5 and Q32 in memory, and computeChecksums over a file in the page cache, for comparison with
// md5sum, openssl md5 and zlib's crc32 (bench/compare_walk_and_checksums.sh).
//
// FSCANNER_BENCH_FILE names the host file for the file benchmarks; without it a file of
// kGeneratedFileBytes is made in the temporary directory for the run.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "fs/checksums.h"
#include "fs/crc32.h"
#include "fs/md5.h"
#include "fs/q32.h"
#include "platform/platform.h"

#if FSCANNER_BENCH_ZLIB
#include <zlib.h>
#endif

namespace {

constexpr size_t kGeneratedFileBytes = 64 << 20;
constexpr int kFileIterations = 3;

const std::vector<uint8_t>& randomData(size_t bytes) {
  static std::vector<uint8_t> data;
  if (data.size() < bytes) {
    std::mt19937_64 rng(42);
    data.resize(bytes);
    for (uint8_t& b : data) b = static_cast<uint8_t>(rng());
  }
  return data;
}

template <uint32_t (*Crc32)(uint32_t, const void*, size_t)>
void crc32Memory(benchmark::State& state) {
  if (Crc32 == crc32UpdateFolding && !crc32FoldingSupported()) {
    state.SkipWithError("no carry-less multiplication on this processor");
    return;
  }
  const size_t bytes = static_cast<size_t>(state.range(0));
  const std::vector<uint8_t>& data = randomData(bytes);
  for (auto _ : state) benchmark::DoNotOptimize(Crc32(0, data.data(), bytes));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK_TEMPLATE(crc32Memory, crc32UpdateTables)->Name("BM_Crc32Tables")->Range(64, 16 << 20);
BENCHMARK_TEMPLATE(crc32Memory, crc32UpdateFolding)->Name("BM_Crc32Folding")->Range(64, 16 << 20);

#if FSCANNER_BENCH_ZLIB
uint32_t zlibCrc32(uint32_t crc, const void* data, size_t length) {
  return static_cast<uint32_t>(
      crc32(crc, static_cast<const Bytef*>(data), static_cast<uInt>(length)));
}
BENCHMARK_TEMPLATE(crc32Memory, zlibCrc32)->Name("BM_Crc32Zlib")->Range(64, 16 << 20);
#endif

void BM_Md5Memory(benchmark::State& state) {
  const size_t bytes = static_cast<size_t>(state.range(0));
  const std::vector<uint8_t>& data = randomData(bytes);
  for (auto _ : state) benchmark::DoNotOptimize(Md5::of(data.data(), bytes));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Md5Memory)->Range(64, 16 << 20);

void BM_Q32(benchmark::State& state) {
  const std::vector<uint8_t>& data = randomData(kQ32Bytes);
  for (auto _ : state) benchmark::DoNotOptimize(Q32::of(data.data(), data.size()));
}
BENCHMARK(BM_Q32);

// The file for the file benchmarks, as a drive-qualified path.
class BenchFile {
 public:
  BenchFile() {
    std::filesystem::path host;
    if (const char* named = std::getenv("FSCANNER_BENCH_FILE")) {
      host = named;
    } else {
      generated_ = std::filesystem::temp_directory_path() /
                   ("fscanner-bench-file-" + std::to_string(platform::currentProcessId()));
      host = generated_;
      const std::vector<uint8_t>& data = randomData(kGeneratedFileBytes);
      std::ofstream(host, std::ios::binary)
          .write(reinterpret_cast<const char*>(data.data()),
                 static_cast<std::streamsize>(data.size()));
    }
    std::error_code ignored;
    bytes_ = std::filesystem::file_size(host, ignored);
    platform::driveQualifiedPath(std::filesystem::absolute(host).string(), &drivePath_);
  }
  ~BenchFile() {
    std::error_code ignored;
    if (!generated_.empty()) std::filesystem::remove(generated_, ignored);
  }
  const std::u16string& drivePath() const { return drivePath_; }
  uint64_t bytes() const { return bytes_; }

 private:
  std::filesystem::path generated_;
  std::u16string drivePath_;
  uint64_t bytes_ = 0;
};

const BenchFile& benchFile() {
  static const BenchFile file;
  return file;
}

void checksumFile(benchmark::State& state, uint32_t mask) {
  const BenchFile& file = benchFile();
  for (auto _ : state) {
    ChecksumRequest request;
    request.mask = mask;
    if (computeChecksums(&request, file.drivePath().c_str()) != 0) {
      state.SkipWithError("the file cannot be read");
      break;
    }
    benchmark::DoNotOptimize(request);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.bytes()));
}

void BM_FileMd5(benchmark::State& state) { checksumFile(state, kChecksumMd5); }
BENCHMARK(BM_FileMd5)->Iterations(kFileIterations)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_FileCrc32(benchmark::State& state) { checksumFile(state, kChecksumCrc32); }
BENCHMARK(BM_FileCrc32)->Iterations(kFileIterations)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_FileAllThree(benchmark::State& state) {
  checksumFile(state, kChecksumCrc32 | kChecksumQ32 | kChecksumMd5);
}
BENCHMARK(BM_FileAllThree)
    ->Iterations(kFileIterations)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
