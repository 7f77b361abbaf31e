// Index look-ups in a plain files table of 1,000,000 records (and 100,000 where the argument says)
// with its three indexes, and the sizes of its files on disk: indexSeek + readRecord of random
// existing FILENAME keys (the first live record of the key's bucket), a full look-up that follows
// the chain to the record whose FILENAME matches, as a record set does, and the same look-up
// through Table::indexFind.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base/wstring.h"
#include "files_table.h"
#include "tablestore/table.h"

namespace {

using files_table::kRecords;

// Keys cycled through by the look-ups: enough to defeat the caches, few enough to be prepared
// up front.
constexpr uint32_t kKeyCount = 1 << 16;
constexpr uint32_t kKeySeed = 20240611;

// The table, built on first use and removed when the program ends.
struct Fixture {
  explicit Fixture(uint32_t records);
  ~Fixture() {
    table.reset();
    files_table::removeFiles(name);
  }

  std::u16string name = files_table::tableName(u"index");
  std::unique_ptr<Table> table;
  HashIndex* fileNames = nullptr;
  std::vector<std::u16string> keys;  // upper-cased, as the search side builds them
  std::vector<std::u16string> names;
  uint64_t bytesOnDisk[5] = {};  // .dat, .pxx, the three .idx files after closing
};

// Fills the table, closes it so that its files are cut to their data, then reopens it for the
// look-ups. On failure `table` stays null.
Fixture::Fixture(uint32_t records) {
  char16_t digits[10];
  name += u"_" + std::u16string(digits, files_table::putDigits(records, digits));
  files_table::removeFiles(name);
  auto made = files_table::create(name, false, true);
  if (made == nullptr) return;
  FieldList record = made->columns();
  for (uint32_t i = 0; i < records; ++i) {
    files_table::fill(&record, i);
    if (!made->addRecord(record)) return;
  }
  made->close();
  std::error_code ignored;
  bytesOnDisk[0] = std::filesystem::file_size(files_table::hostFile(name, u".dat"), ignored);
  bytesOnDisk[1] = std::filesystem::file_size(files_table::hostFile(name, u".pxx"), ignored);
  for (size_t i = 0; i < 3; ++i) {
    bytesOnDisk[2 + i] = std::filesystem::file_size(
        files_table::hostFile(name + files_table::kIndexes[i].suffix, u".idx"), ignored);
  }
  if (!made->open()) return;
  fileNames = made->findIndexByColumn(u"FILENAME");
  table = std::move(made);
  std::mt19937 random(kKeySeed);
  std::uniform_int_distribution<uint32_t> pick(0, records - 1);
  for (uint32_t i = 0; i < kKeyCount; ++i) {
    std::u16string key = files_table::fileName(pick(random));
    names.push_back(key);
    for (char16_t& unit : key) unit = toUpperChar(unit);
    keys.push_back(std::move(key));
  }
}

Fixture* fixture(uint32_t records = kRecords) {
  static std::map<uint32_t, std::unique_ptr<Fixture>> built;
  std::unique_ptr<Fixture>& slot = built[records];
  if (slot == nullptr) slot = std::make_unique<Fixture>(records);
  return slot.get();
}

bool ready(benchmark::State& state, Fixture* f) {
  if (f->table != nullptr && f->fileNames != nullptr) return true;
  state.SkipWithError("cannot build the table");
  return false;
}

void BM_TableFilesOnDisk(benchmark::State& state) {
  Fixture* f = fixture();
  if (!ready(state, f)) return;
  for (auto _ : state) benchmark::DoNotOptimize(f->bytesOnDisk);
  const char* labels[] = {"dat", "pxx", "idx_FILENAME", "idx_SHORTFILENAME", "idx_PATHID"};
  uint64_t total = 0;
  for (size_t i = 0; i < 5; ++i) {
    state.counters[labels[i]] =
        benchmark::Counter(static_cast<double>(f->bytesOnDisk[i]), benchmark::Counter::kDefaults,
                           benchmark::Counter::kIs1024);
    total += f->bytesOnDisk[i];
  }
  state.counters["total"] = benchmark::Counter(
      static_cast<double>(total), benchmark::Counter::kDefaults, benchmark::Counter::kIs1024);
}
BENCHMARK(BM_TableFilesOnDisk)->Iterations(1);

void BM_IndexSeekAndRead(benchmark::State& state) {
  Fixture* f = fixture();
  if (!ready(state, f)) return;
  FieldList record = f->table->columns();
  uint32_t at = 0;
  int64_t found = 0;
  for (auto _ : state) {
    uint32_t number = 0;
    uint32_t cursor = 0;
    const std::u16string& key = f->keys[at++ & (kKeyCount - 1)];
    if (f->table->indexSeek(f->fileNames, key.c_str(), &number, &cursor) &&
        f->table->readRecord(number, &record)) {
      ++found;
    }
  }
  if (found != state.iterations()) state.SkipWithError("a key was not found");
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_IndexSeekAndRead)->UseRealTime();

// indexSeek, then readRecord and indexNext until the record's FILENAME equals the key.
void BM_IndexLookupMatching(benchmark::State& state) {
  Fixture* f = fixture(static_cast<uint32_t>(state.range(0)));
  if (!ready(state, f)) return;
  FieldList record = f->table->columns();
  const auto* fileName = static_cast<const WStringField*>(record.at(files_table::kFileName));
  uint32_t at = 0;
  int64_t found = 0;
  uint64_t reads = 0;
  for (auto _ : state) {
    uint32_t slot = at++ & (kKeyCount - 1);
    const std::u16string& name = f->names[slot];
    uint32_t number = 0;
    uint32_t cursor = 0;
    for (bool more = f->table->indexSeek(f->fileNames, f->keys[slot].c_str(), &number, &cursor);
         more; more = f->table->indexNext(f->fileNames, &number, &cursor)) {
      ++reads;
      if (f->table->readRecord(number, &record) && fileName->length() == name.size() &&
          wcsCompare(fileName->value(), name.c_str(), false) == 0) {
        ++found;
        break;
      }
    }
  }
  if (found != state.iterations()) state.SkipWithError("a key was not found");
  state.SetItemsProcessed(state.iterations());
  state.counters["reads_per_lookup"] =
      benchmark::Counter(static_cast<double>(reads), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_IndexLookupMatching)->Arg(100000)->Arg(kRecords)->UseRealTime();

// The same look-up through indexFind, which also reads the record found: argument 1 in a
// process that has already looked every key up once (the index's chain digest built as far as
// those look-ups walked), argument 0 in a fresh table object (each first look-up in a bucket
// walks it as BM_IndexLookupMatching does, later ones use what it learnt).
void BM_IndexFind(benchmark::State& state) {
  Fixture* f = fixture(static_cast<uint32_t>(state.range(0)));
  if (!ready(state, f)) return;
  FieldList record = f->table->columns();
  WStringField key(u"FILENAME");
  auto lookUp = [&](uint32_t slot) {
    const std::u16string& name = f->names[slot & (kKeyCount - 1)];
    key.setValue(name.c_str(), name.size());
    uint32_t number = 0;
    uint32_t cursor = 0;
    return f->table->indexFind(f->fileNames, key, false, &record, &number, &cursor);
  };
  if (state.range(1) == 0) {
    f->table->close();
    if (!f->table->open()) state.SkipWithError("cannot reopen the table");
    f->fileNames = f->table->findIndexByColumn(u"FILENAME");
  } else {
    for (uint32_t slot = 0; slot < kKeyCount; ++slot) lookUp(slot);
  }
  uint32_t at = 0;
  int64_t found = 0;
  for (auto _ : state) found += lookUp(at++) ? 1 : 0;
  if (found != state.iterations()) state.SkipWithError("a key was not found");
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_IndexFind)
    ->ArgNames({"records", "warm"})
    ->ArgsProduct({{100000, kRecords}, {0, 1}})
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
