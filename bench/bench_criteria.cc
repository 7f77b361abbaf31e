// The criteria language on its hot paths, in wall-clock time: re-evaluating a parsed criterion
// for one file's columns, walking a 1,000,000-record files table with a record set filtered by
// that criterion, and seeking one directory's files through the PATHID index.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "criteria/criteria_evaluator.h"
#include "files_table.h"
#include "tablestore/record_set.h"
#include "tablestore/table.h"

namespace {

constexpr char16_t kCriterion[] = u"[FILENAME]=={\"*.exe\",\"*.dll\",\"readme*\"} && [SIZE] > 1000";

// A spread of names: some match the set by suffix, some by prefix, most not at all.
const char16_t* const kNames[] = {
    u"setup.exe",      u"kernel32.dll",   u"README.md",   u"report_1_final_version.docx",
    u"photo_0001.jpg", u"Makefile",       u"readme",      u"notes.txt",
    u"libstdc++.so.6", u"index.html",     u"build.ninja", u"Program.EXE",
    u"thumbs.db",      u"archive.tar.gz", u"main.cc",     u"desktop.ini"};
constexpr size_t kNameCount = sizeof(kNames) / sizeof(kNames[0]);
// Sizes run from 0 to this, so that a third of them are 1000 or less.
constexpr int64_t kSizeCycle = 3000;

// The file columns a file-system walk binds.
FieldList walkColumns() {
  FieldList columns;
  columns.addField(u"FILENAME", FIELD_WSTRING);
  columns.addField(u"SHORTFILENAME", FIELD_WSTRING);
  columns.addField(u"SIZE", FIELD_INT64);
  columns.addField(u"ATTR", FIELD_INT32);
  columns.addField(u"PATHID", FIELD_INT32);
  columns.addField(u"MD5", FIELD_WSTRING);
  columns.addField(u"CRC32", FIELD_INT32);
  columns.addField(u"Q32", FIELD_INT32);
  return columns;
}

// One evaluation per iteration, after writing the next file's name and size into the columns.
void BM_Reevaluate(benchmark::State& state) {
  FieldList columns = walkColumns();
  auto* name = static_cast<WStringField*>(columns.at(0));
  auto* size = static_cast<Int64Field*>(columns.at(2));
  CriteriaEvaluator evaluator(kCriterion);
  evaluator.setColumns(&columns);
  name->setValue(kNames[0]);
  size->setValue(0);
  evaluator.evaluate(false);
  int64_t i = 0;
  int64_t selected = 0;
  for (auto _ : state) {
    name->setValue(kNames[static_cast<size_t>(i) % kNameCount]);
    size->setValue(i % kSizeCycle);
    selected += evaluator.evaluate(false) == 1;
    ++i;
  }
  if (state.iterations() > kSizeCycle && selected == 0) {
    state.SkipWithError("the criterion selected nothing");
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Reevaluate);

// The first evaluation, which parses the text and builds its tree.
void BM_FirstEvaluation(benchmark::State& state) {
  FieldList columns = walkColumns();
  static_cast<WStringField*>(columns.at(0))->setValue(kNames[0]);
  for (auto _ : state) {
    CriteriaEvaluator evaluator(kCriterion);
    benchmark::DoNotOptimize(evaluator.evaluate(&columns, nullptr, false));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FirstEvaluation);

// The files table, with its indexes, built once for the record-set figures.
class FilesTable {
 public:
  static FilesTable& instance() {
    static FilesTable table;
    return table;
  }
  Table* get() const { return table_.get(); }
  ~FilesTable() {
    table_.reset();
    files_table::removeFiles(name_);
  }

 private:
  FilesTable() : name_(files_table::tableName(u"criteria")) {
    files_table::removeFiles(name_);
    table_ = files_table::create(name_, false, true);
    if (table_ == nullptr) return;
    FieldList record = table_->columns();
    for (uint32_t i = 0; i < files_table::kRecords; ++i) {
      files_table::fill(&record, i);
      // Every 100th file gets a name the criterion selects.
      if (i % 100 == 0) static_cast<WStringField*>(record.at(0))->setValue(u"setup.exe");
      table_->addRecord(record);
    }
  }

  std::u16string name_;
  std::unique_ptr<Table> table_;
};

// Visits every record of the table per iteration; the criterion has no index key, so the set
// reads and evaluates each record. Argument: 1 with the criterion, 0 without any.
void BM_RecordSetWalk(benchmark::State& state) {
  Table* table = FilesTable::instance().get();
  if (table == nullptr) {
    state.SkipWithError("cannot create the table");
    return;
  }
  CriteriaEvaluator evaluator(kCriterion);
  RecordSetRef set;
  table->openRecordSet(&set);
  if (state.range(0) != 0) set.setCriteria(&evaluator, false);
  int64_t selected = 0;
  for (auto _ : state) {
    for (bool more = set.moveFirst(); more; more = set.moveNext()) ++selected;
  }
  table->closeRecordSet(&set);
  int64_t expected = state.range(0) != 0 ? files_table::kRecords / 100 - 1 : files_table::kRecords;
  if (selected != expected * state.iterations()) state.SkipWithError("unexpected selection");
  state.SetItemsProcessed(state.iterations() * files_table::kRecords);
}
BENCHMARK(BM_RecordSetWalk)
    ->ArgNames({"criteria"})
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// One directory lookup per iteration, as the cache makes it: set the key, hand the criteria to
// the record set (which chooses the PATHID index) and move to the first match. Argument: 1 looks
// up a random directory each time (its records are rarely in the processor's caches), 0 always
// the same one.
void BM_IndexedSeek(benchmark::State& state) {
  Table* table = FilesTable::instance().get();
  if (table == nullptr) {
    state.SkipWithError("cannot create the table");
    return;
  }
  FieldList variables;
  variables.addField(u"pathid", FIELD_INT32);
  auto* pathId = static_cast<Int32Field*>(variables.at(0));
  CriteriaEvaluator evaluator(u"[PATHID]==pathid");
  evaluator.setVariables(&variables);
  RecordSetRef set;
  table->openRecordSet(&set);
  std::mt19937 rng(1);
  const uint32_t directories = files_table::kRecords / files_table::kFilesPerDirectory;
  CriteriaValue key;
  key.setName(u"PATHID");
  int64_t found = 0;
  for (auto _ : state) {
    auto directory = static_cast<int32_t>(state.range(0) != 0 ? rng() % directories : 5);
    pathId->setValue(directory);
    key.setNumber(directory);
    evaluator.setIndexKey(key);
    set.setCriteria(&evaluator, false);
    found += set.moveFirst();
  }
  table->closeRecordSet(&set);
  if (found != state.iterations()) state.SkipWithError("a directory was not found");
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_IndexedSeek)->ArgNames({"random"})->Arg(0)->Arg(1)->UseRealTime();

// The same seek with the key in the text itself: moveFirst alone per iteration.
void BM_IndexedMoveFirst(benchmark::State& state) {
  Table* table = FilesTable::instance().get();
  if (table == nullptr) {
    state.SkipWithError("cannot create the table");
    return;
  }
  CriteriaEvaluator evaluator(u"[PATHID]==5");
  RecordSetRef set;
  table->openRecordSet(&set);
  set.setCriteria(&evaluator, false);
  if (!set.get()->usesIndex()) state.SkipWithError("the index is not used");
  int64_t found = 0;
  for (auto _ : state) found += set.moveFirst();
  table->closeRecordSet(&set);
  if (found != state.iterations()) state.SkipWithError("the directory was not found");
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_IndexedMoveFirst)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
