// Table record throughput on the files table at 1,000,000 records, in wall-clock time: appending
// records (plain and compact, with and without the table's three indexes), walking the live
// record numbers while reading every record, and a record set walking every record through the
// criteria [FILENAME]=="*.h" (which no record matches).
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "criteria/criteria_evaluator.h"
#include "files_table.h"
#include "tablestore/record_set.h"
#include "tablestore/table.h"

namespace {

using files_table::kRecords;

// Arguments: compact (0/1), indexed (0/1). Removing the previous round's files is not timed;
// closing the table, which cuts its files back to their data, is.
void BM_AddRecord(benchmark::State& state) {
  bool compact = state.range(0) != 0;
  bool indexed = state.range(1) != 0;
  std::u16string name = files_table::tableName(u"add");
  for (auto _ : state) {
    state.PauseTiming();
    files_table::removeFiles(name);
    auto table = files_table::create(name, compact, indexed);
    if (table == nullptr) {
      state.SkipWithError("cannot create the table");
      break;
    }
    FieldList record = table->columns();
    state.ResumeTiming();
    for (uint32_t i = 0; i < kRecords; ++i) {
      files_table::fill(&record, i);
      table->addRecord(record);
    }
    table->close();
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
  files_table::removeFiles(name);
}
BENCHMARK(BM_AddRecord)
    ->ArgNames({"compact", "indexed"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A filled files table without indexes; null when it cannot be made.
std::unique_ptr<Table> filledTable(const std::u16string& name, bool compact) {
  files_table::removeFiles(name);
  auto table = files_table::create(name, compact, false);
  if (table == nullptr) return nullptr;
  FieldList record = table->columns();
  for (uint32_t i = 0; i < kRecords; ++i) {
    files_table::fill(&record, i);
    if (!table->addRecord(record)) return nullptr;
  }
  return table;
}

void BM_WalkAndRead(benchmark::State& state) {
  std::u16string name = files_table::tableName(u"walk");
  auto table = filledTable(name, state.range(0) != 0);
  if (table == nullptr) {
    state.SkipWithError("cannot create the table");
    return;
  }
  FieldList record = table->columns();
  int64_t read = 0;
  for (auto _ : state) {
    uint32_t number = 0;
    for (bool more = table->firstLiveRecord(&number); more;
         more = table->nextLiveRecord(number, &number)) {
      read += table->readRecord(number, &record) ? 1 : 0;
    }
  }
  if (read != state.iterations() * kRecords) state.SkipWithError("a record did not read back");
  state.SetItemsProcessed(state.iterations() * kRecords);
  table.reset();
  files_table::removeFiles(name);
}
BENCHMARK(BM_WalkAndRead)
    ->ArgNames({"compact"})
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_WalkWithCriteria(benchmark::State& state) {
  std::u16string name = files_table::tableName(u"criteria");
  auto table = filledTable(name, state.range(0) != 0);
  if (table == nullptr) {
    state.SkipWithError("cannot create the table");
    return;
  }
  CriteriaEvaluator criteria(u"[FILENAME]==\"*.h\"");
  RecordSetRef records;
  table->openRecordSet(&records);
  records.setCriteria(&criteria, false);
  int64_t selected = 0;
  for (auto _ : state) {
    for (bool more = records.moveFirst(); more; more = records.moveNext()) ++selected;
  }
  if (selected != 0) state.SkipWithError("a record matched");
  state.SetItemsProcessed(state.iterations() * kRecords);
  table.reset();
  files_table::removeFiles(name);
}
BENCHMARK(BM_WalkWithCriteria)
    ->ArgNames({"compact"})
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
