#include "tablestore/record_set.h"

#include <string>
#include <vector>

#include "base/wstring.h"
#include "criteria/criteria_commands.h"
#include "criteria/criteria_evaluator.h"
#include "table_fixture.h"

namespace {

using Records = std::vector<uint32_t>;

struct WalkCase {
  const char16_t* criteria;
  bool caseSensitive;
  bool usesIndex;
  const char16_t* keyText;  // checked when the index is used
  Records records;
};

// tick(x) returns x and counts its calls: a criterion "tick(1) && ..." counts the records a set
// evaluates.
class TickCommand : public CommandExecutor {
 public:
  int execute(const CriteriaValue* first, const CriteriaValue*, CriteriaValue* result) override {
    ++calls;
    result->setNumeric(first->number());
    return 0;
  }
  int calls = 0;
};

class RecordSetTest : public TableFixture {
 protected:
  void TearDown() override {
    clearCriteriaCommands();
    TableFixture::TearDown();
  }

  // FILENAME, PATHID, SIZE, ATTR; record i has PATHID pathIds[i], SIZE i, ATTR i % 3 and
  // FILENAME "file<i>".
  std::unique_ptr<Table> makeFiles(const std::vector<int32_t>& pathIds, bool compact = false,
                                   const char16_t* name = u"files") {
    auto table = makeTable(compact, name);
    table->addColumn(u"FILENAME", FIELD_WSTRING);
    table->addColumn(u"PATHID", FIELD_INT32);
    table->addColumn(u"SIZE", FIELD_INT64);
    table->addColumn(u"ATTR", FIELD_INT32);
    EXPECT_TRUE(table->create());
    RecordSetRef set;
    table->openRecordSet(&set);
    char16_t digits[kUintToWideMinCapacity];
    for (size_t i = 0; i < pathIds.size(); ++i) {
      std::u16string name = u"file" + std::u16string(uintToWide(i, digits));
      set.setString(u"FILENAME", name.c_str());
      set.setInt32(u"PATHID", pathIds[i]);
      set.setInt64(u"SIZE", static_cast<int64_t>(i));
      set.setInt32(u"ATTR", static_cast<int32_t>(i % 3));
      set.addNew();
    }
    EXPECT_TRUE(table->closeRecordSet(&set));
    return table;
  }

  // Record numbers the set visits, in order.
  static Records visit(RecordSetRef& set) {
    Records records;
    for (bool more = set.moveFirst(); more; more = set.moveNext()) {
      records.push_back(set.get()->currentRecord());
    }
    return records;
  }

  // Walks the set under each criteria text, then clears its criteria again.
  static void expectWalks(RecordSetRef& set, const std::vector<WalkCase>& cases) {
    for (const WalkCase& c : cases) {
      std::u16string text = c.criteria;
      SCOPED_TRACE(std::string(text.begin(), text.end()));
      CriteriaEvaluator criteria(c.criteria);
      EXPECT_TRUE(set.setCriteria(&criteria, c.caseSensitive));
      EXPECT_EQ(set.get()->usesIndex(), c.usesIndex);
      if (c.usesIndex) {
        EXPECT_TRUE(set.get()->keyText() == c.keyText);
      }
      EXPECT_EQ(visit(set), c.records);
      EXPECT_TRUE(set.setCriteria(nullptr, false));
    }
  }

  TickCommand tick_;
};

TEST_F(RecordSetTest, EmptyAndFullyRemovedTablesHaveNoFirstRecord) {
  auto table = makeFiles({});
  RecordSetRef set;
  table->openRecordSet(&set);
  EXPECT_FALSE(set.moveFirst());
  EXPECT_FALSE(set.moveNext());
  ASSERT_TRUE(table->closeRecordSet(&set));

  auto removed = makeFiles({1, 2, 3}, false, u"removed");
  for (uint32_t r = 0; r < 3; ++r) ASSERT_TRUE(removed->removeRecord(r));
  removed->openRecordSet(&set);
  EXPECT_FALSE(set.moveFirst());
  // Nothing was read: the fields are as the set made them.
  for (uint32_t i = 0; i < set.get()->fields().count(); ++i) {
    EXPECT_TRUE(set.get()->fields().at(i)->isNull());
  }
}

TEST_F(RecordSetTest, WalksLiveRecordsInOrderAndCountsSteps) {
  auto table = makeFiles({1, 2, 3, 4, 5});
  ASSERT_TRUE(table->removeRecord(1));
  ASSERT_TRUE(table->removeRecord(4));
  RecordSetRef set;
  table->openRecordSet(&set);
  EXPECT_EQ(visit(set), (Records{0, 2, 3}));
  ASSERT_TRUE(set.moveFirst());
  EXPECT_EQ(set.get()->stepCount(), 0u);
  ASSERT_TRUE(set.moveNext());
  EXPECT_EQ(set.get()->stepCount(), 1u);
  EXPECT_EQ(std::u16string(set.getString(u"FILENAME")), u"file2");
  EXPECT_EQ(set.getInt32(u"PATHID"), 3);
  EXPECT_EQ(set.getInt64(u"SIZE"), 2);

  // An empty criteria text filters nothing; a set never moved first continues after record 0.
  CriteriaEvaluator empty(u"");
  RecordSetRef fresh;
  table->openRecordSet(&fresh);
  ASSERT_TRUE(fresh.setCriteria(&empty, false));
  ASSERT_TRUE(fresh.moveNext());
  EXPECT_EQ(fresh.get()->currentRecord(), 2u);
  EXPECT_EQ(visit(fresh), (Records{0, 2, 3}));
}

TEST_F(RecordSetTest, CriteriaFilterTheWalkAndFailedEvaluationsSkip) {
  auto table = makeFiles({7, 8, 7, 9, 7, 7});
  RecordSetRef set;
  table->openRecordSet(&set);
  expectWalks(set, {{u"[PATHID]==7 && [SIZE]>0", false, false, nullptr, {2, 4, 5}},
                    // ATTR is 0 in records 0 and 3: the division fails there and they are skipped.
                    {u"6 / [ATTR] > 3", false, false, nullptr, {1, 4}},
                    {u"[PATHID]==", false, false, nullptr, {}},
                    {u"[FILENAME]=={\"FILE1\", \"*4\"}", false, false, nullptr, {1, 4}}});
  EXPECT_EQ(visit(set).size(), 6u);
}

TEST_F(RecordSetTest, IndexedKeysSeekTheirBucket) {
  auto table = makeFiles({7, 8, 7, 9, 7, 7});
  for (const char16_t* column : {u"PATHID", u"FILENAME", u"SIZE"}) {
    ASSERT_TRUE(table->createIndex((u"files_" + std::u16string(column)).c_str(), column));
  }
  RecordSetRef set;
  table->openRecordSet(&set);
  ASSERT_TRUE(set.moveFirst());
  set.setInt64(u"SIZE", 5000000000LL);
  set.addNew();
  // A chain runs from the newest record to the oldest; 64-bit keys keep their low 32 bits.
  expectWalks(set, {{u"[PATHID]==7 && [SIZE]>0", false, true, u"7", {6, 5, 4, 2}},
                    {u"[PATHID]==8 || [PATHID]==9", false, false, nullptr, {1, 3}},
                    {u"[FILENAME]==\"File1\"", false, true, u"FILE1", {1}},
                    {u"[FILENAME]==\"File1\"", true, true, u"FILE1", {}},
                    {u"[SIZE]==5000000000", false, true, u"705032704", {6}}});

  // An explicit key replaces the one of the text.
  FieldList variables;
  variables.addField(u"pathid", FIELD_INT32);
  setInt32(&variables, u"pathid", 9);
  CriteriaEvaluator byVariable(u"[PATHID]==pathid");
  ASSERT_TRUE(byVariable.setVariables(&variables));
  CriteriaValue key;
  key.setName(u"PATHID");
  key.setNumber(9);
  ASSERT_TRUE(byVariable.setIndexKey(key));
  ASSERT_TRUE(set.setCriteria(&byVariable, false));
  ASSERT_TRUE(set.get()->usesIndex());
  EXPECT_EQ(visit(set), (Records{3}));
}

TEST_F(RecordSetTest, AnAbsentKeyReadsOnlyItsBucketsChain) {
  // Three values whose key texts share the bucket of the absent key 1000000.
  uint32_t bucket = bucketOfKeyText(u"1000000");
  std::vector<int32_t> pathIds;
  char16_t digits[kUintToWideMinCapacity];
  for (uint32_t v = 0; pathIds.size() < 3; ++v) {
    if (v != 1000000 && bucketOfKeyText(uintToWide(v, digits)) == bucket) {
      pathIds.push_back(static_cast<int32_t>(v));
    }
  }
  for (int32_t filler = 1; filler <= 200; ++filler) pathIds.push_back(filler);
  auto table = makeFiles(pathIds);
  ASSERT_TRUE(table->createIndex(u"files_pathid", u"PATHID"));
  auto plain = makeFiles(pathIds, false, u"plain");

  CriteriaEvaluator criteria(u"tick(1) && [PATHID]==1000000");
  ASSERT_TRUE(registerCriteriaCommand(u"tick", 1, CriteriaValue::NUMERIC, {CriteriaValue::NUMERIC},
                                      &tick_));
  RecordSetRef set;
  table->openRecordSet(&set);
  ASSERT_TRUE(set.setCriteria(&criteria, false));
  ASSERT_TRUE(set.get()->usesIndex());
  EXPECT_EQ(tick_.calls, 0);
  EXPECT_FALSE(set.moveFirst());
  EXPECT_EQ(tick_.calls, 3);

  // The same text without the index evaluates every record.
  RecordSetRef scan;
  plain->openRecordSet(&scan);
  tick_.calls = 0;
  ASSERT_TRUE(scan.setCriteria(&criteria, false));
  EXPECT_FALSE(scan.moveFirst());
  EXPECT_EQ(tick_.calls, static_cast<int>(pathIds.size()));
}

TEST_F(RecordSetTest, ChangingRecordsThroughTheSet) {
  auto table = makeFiles({1, 2, 3, 4});
  RecordSetRef set;
  table->openRecordSet(&set);
  ASSERT_TRUE(set.moveFirst());
  ASSERT_TRUE(set.moveNext());
  set.remove();
  ASSERT_TRUE(set.moveNext());
  EXPECT_EQ(set.get()->currentRecord(), 2u);
  const std::u16string longer = u"a much longer name than before";
  set.setString(u"FILENAME", longer.c_str());
  set.update();
  // The longer record moved to the end and is met again.
  EXPECT_EQ(visit(set), (Records{0, 3, 4}));
  EXPECT_EQ(std::u16string(set.getString(u"FILENAME")), longer);

  // Field values stay after an insert: only what changes needs setting.
  set.setInt32(u"PATHID", 50);
  set.addNew();
  set.setInt32(u"PATHID", 51);
  set.addNew();
  expectWalks(set, {{u"[PATHID] >= 50", false, false, nullptr, {5, 6}}});
  EXPECT_EQ(std::u16string(set.getString(u"FILENAME")), longer);
}

TEST_F(RecordSetTest, UnknownColumnsAndWrongTypes) {
  auto table = makeFiles({1});
  RecordSetRef set;
  table->openRecordSet(&set);
  ASSERT_TRUE(set.moveFirst());
  EXPECT_EQ(set.getString(u"NOPE"), nullptr);
  EXPECT_EQ(set.getString(u"PATHID"), nullptr);
  EXPECT_EQ(set.getInt32(u"FILENAME"), 0);
  EXPECT_EQ(set.getInt64(u"filename"), 0);
  EXPECT_EQ(set.get()->getByte(u"PATHID"), 0);
  EXPECT_EQ(set.get()->getWord(u"PATHID"), 0);
  set.setInt32(u"SIZE", 99);
  set.setInt64(u"PATHID", 99);
  set.setString(u"NOPE", u"x");
  EXPECT_EQ(set.getInt64(u"SIZE"), 0);
  EXPECT_EQ(set.getInt32(u"PATHID"), 1);
}

TEST_F(RecordSetTest, NullReferencesAndClosing) {
  RecordSetRef none;
  CriteriaEvaluator criteria(u"1");
  EXPECT_FALSE(none.setCriteria(&criteria, false));
  EXPECT_FALSE(none.moveFirst());
  EXPECT_FALSE(none.moveNext());
  none.addNew();
  none.update();
  none.remove();
  none.setString(u"FILENAME", u"x");
  none.setInt32(u"PATHID", 1);
  none.setInt64(u"SIZE", 1);
  EXPECT_EQ(none.getString(u"FILENAME"), nullptr);
  EXPECT_EQ(none.getInt32(u"PATHID"), 0);
  EXPECT_EQ(none.getInt64(u"SIZE"), 0);

  auto table = makeFiles({1, 2});
  auto other = makeFiles({1}, true, u"other");
  RecordSetRef set;
  table->openRecordSet(&set);
  EXPECT_FALSE(other->closeRecordSet(&set));
  EXPECT_FALSE(table->closeRecordSet(&none));
  EXPECT_FALSE(table->closeRecordSet(nullptr));
  EXPECT_TRUE(table->closeRecordSet(&set));
  EXPECT_FALSE(set);
  EXPECT_FALSE(table->closeRecordSet(&set));

  // Closing the table closes its sets and empties the variables that held them.
  table->openRecordSet(&set);
  ASSERT_TRUE(set.moveFirst());
  table->close();
  EXPECT_FALSE(set);
  EXPECT_FALSE(set.moveNext());
  {
    RecordSetRef scoped;
    table->openRecordSet(&scoped);
  }
  table.reset();
}

}  // namespace
