// Table record throughput on the files-table schema (8 columns): appending records, and walking
// the live record numbers while reading every record.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "tablestore/table.h"

namespace {

constexpr uint32_t kRecordsPerRound = 1 << 18;

std::u16string benchDirectory() {
  std::u16string drive;
  platform::driveQualifiedPath(std::filesystem::temp_directory_path().string(), &drive);
  return drive;
}

std::u16string benchName() {
  return u"fscanner_bench_" + std::u16string(1, u'a' + platform::currentProcessId() % 26);
}

std::unique_ptr<Table> makeFilesTable(bool compact) {
  auto table = std::make_unique<Table>(benchName().c_str(), benchDirectory().c_str(), compact);
  const struct {
    const char16_t* name;
    uint32_t type;
  } columns[] = {{u"FILENAME", FIELD_WSTRING}, {u"SHORTFILENAME", FIELD_WSTRING},
                 {u"ATTR", FIELD_INT32},       {u"SIZE", FIELD_INT64},
                 {u"PATHID", FIELD_INT32},     {u"MD5", FIELD_WSTRING},
                 {u"CRC32", FIELD_INT32},      {u"Q32", FIELD_INT32}};
  for (const auto& column : columns) table->addColumn(column.name, column.type);
  return table->create() ? std::move(table) : nullptr;
}

void fill(FieldList* record, uint32_t i) {
  static_cast<WStringField*>(record->at(0))->setValue(u"some_file_name_of_typical_length.txt");
  static_cast<WStringField*>(record->at(1))->setValue(u"SOME_F~1.TXT");
  static_cast<Int32Field*>(record->at(2))->setValue(0x20);
  static_cast<Int64Field*>(record->at(3))->setValue(static_cast<int64_t>(i) * 4096);
  static_cast<Int32Field*>(record->at(4))->setValue(static_cast<int32_t>(i / 50));
  static_cast<WStringField*>(record->at(5))->setValue(u"");
  static_cast<Int32Field*>(record->at(6))->setValue(0);
  static_cast<Int32Field*>(record->at(7))->setValue(static_cast<int32_t>(i));
}

void cleanUp() {
  std::u16string base = benchDirectory() + u"\\" + benchName();
  platform::removeFile((base + u".dat").c_str());
  platform::removeFile((base + u".pxx").c_str());
}

void BM_AddRecord(benchmark::State& state) {
  bool compact = state.range(0) != 0;
  for (auto _ : state) {
    auto table = makeFilesTable(compact);
    if (table == nullptr) {
      state.SkipWithError("cannot create the table");
      return;
    }
    FieldList record = table->columns();
    for (uint32_t i = 0; i < kRecordsPerRound; ++i) {
      fill(&record, i);
      table->addRecord(record);
    }
  }
  state.SetItemsProcessed(state.iterations() * kRecordsPerRound);
  cleanUp();
}
BENCHMARK(BM_AddRecord)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_WalkAndRead(benchmark::State& state) {
  bool compact = state.range(0) != 0;
  auto table = makeFilesTable(compact);
  if (table == nullptr) {
    state.SkipWithError("cannot create the table");
    return;
  }
  FieldList record = table->columns();
  for (uint32_t i = 0; i < kRecordsPerRound; ++i) {
    fill(&record, i);
    table->addRecord(record);
  }
  for (auto _ : state) {
    uint32_t number = 0;
    for (bool more = table->firstLiveRecord(&number); more;
         more = table->nextLiveRecord(number, &number)) {
      table->readRecord(number, &record);
    }
  }
  state.SetItemsProcessed(state.iterations() * kRecordsPerRound);
  table.reset();
  cleanUp();
}
BENCHMARK(BM_WalkAndRead)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
