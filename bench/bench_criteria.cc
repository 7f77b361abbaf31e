// The criteria language on its hot paths, in wall-clock time: re-evaluating a parsed criterion
// for one file's columns (beside the C library's fnmatch doing the same test), walking a
// 1,000,000-record files table with a record set filtered by that criterion, and seeking one
// directory's files through the PATHID index.
#include <benchmark/benchmark.h>
#include <fnmatch.h>

#include <cstring>
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

// Typical criteria of a file-system walk, each with the C library's equivalent: the same
// wildcard test by fnmatch (case folded, as the criteria evaluate here) and the same compare.
struct FileCriterion {
  const char16_t* text;
  const char* pattern;  // null: no name test
  int64_t minSize;      // the criterion asks SIZE > minSize; -1: no size test
};
constexpr FileCriterion kFileCriteria[] = {
    {u"[FILENAME]==\"*.h\" && [SIZE] > 10000", "*.h", 10000},
    {u"[FILENAME]==\"stdio.h\"", "stdio.h", -1},
    {u"[FILENAME]==\"*foo*\"", "*foo*", -1},
    {u"[SIZE] > 10000", nullptr, 10000},
};

// Names as a source tree has them: headers, sources, a few with foo, mixed case, one stdio.h.
const char* const kTreeNames[] = {"stdio.h",
                                  "main.cc",
                                  "foo.h",
                                  "Makefile",
                                  "bar_foo_test.cc",
                                  "README.md",
                                  "syntax_walk.h",
                                  "criteria_operators.cc",
                                  "CMakeLists.txt",
                                  "config.H",
                                  "libfoo.so.1",
                                  "wildcard.cc",
                                  "pattern_set.h",
                                  "index.html",
                                  "Foobar.hpp",
                                  "a.h",
                                  "record_set.cc",
                                  "h",
                                  "notes.txt",
                                  "file_system_walk_test.cc",
                                  "STDIO.H",
                                  "x.hh",
                                  "very_long_generated_header_name_for_tests.h",
                                  "photo_0001.jpg",
                                  "kernel.c",
                                  "table.h.in",
                                  "dot.h.",
                                  "unistd.h",
                                  "foo",
                                  "buffer.cpp",
                                  "types.h",
                                  ".hidden"};
constexpr size_t kTreeNameCount = sizeof(kTreeNames) / sizeof(kTreeNames[0]);
// Sizes cycle over this many steps of 613 bytes, so that about half exceed 10000.
constexpr int64_t kTreeSizeSteps = 33;

// Argument 0: the criterion (index into kFileCriteria); argument 1: 0 runs fnmatch and the
// compare, 1 the criteria evaluator on the walk's columns. Both see the same names and sizes.
void BM_FileCriterion(benchmark::State& state) {
  const FileCriterion& criterion = kFileCriteria[state.range(0)];
  const bool evaluator = state.range(1) != 0;
  std::vector<std::u16string> wideNames;
  for (const char* name : kTreeNames) wideNames.emplace_back(name, name + std::strlen(name));
  FieldList columns = walkColumns();
  auto* name = static_cast<WStringField*>(columns.at(0));
  auto* size = static_cast<Int64Field*>(columns.at(2));
  CriteriaEvaluator criteria(criterion.text);
  criteria.setColumns(&columns);
  name->setValue(wideNames[0].c_str());
  size->setValue(0);
  criteria.evaluate(false);
  size_t i = 0;
  int64_t selected = 0;
  for (auto _ : state) {
    const size_t n = i % kTreeNameCount;
    const int64_t fileSize = static_cast<int64_t>(i % kTreeSizeSteps) * 613;
    bool match;
    if (evaluator) {
      name->setValue(wideNames[n].c_str(), wideNames[n].size());
      size->setValue(fileSize);
      match = criteria.evaluate(false) == 1;
    } else {
      match = (criterion.pattern == nullptr ||
               fnmatch(criterion.pattern, kTreeNames[n], FNM_CASEFOLD) == 0) &&
              (criterion.minSize < 0 || fileSize > criterion.minSize);
    }
    selected += match;
    ++i;
  }
  benchmark::DoNotOptimize(selected);
  state.counters["selected"] = static_cast<double>(selected) / static_cast<double>(i);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FileCriterion)
    ->ArgNames({"criterion", "evaluator"})
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1}});

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
