#include "tablestore/record_set.h"

#include <string>
#include <vector>

#include "base/wstring.h"
#include "criteria/criteria_evaluator.h"
#include "table_fixture.h"

namespace {

using Records = std::vector<uint32_t>;

struct WalkCase {
  const char16_t* criteria;
  bool caseSensitive;
  const char16_t* keyText;  // null when the walk must not use an index
  Records records;
};

class RecordSetTest : public TableFixture {
 protected:
  // FILENAME, PATHID, SIZE, ATTR; record i has FILENAME "file<i>", PATHID pathIds[i], SIZE i and
  // ATTR i % 3, added through a record set.
  std::unique_ptr<Table> makeFiles(const std::vector<int32_t>& pathIds,
                                   const char16_t* name = u"files") {
    auto table = makeTable(false, name);
    table->addColumn(u"FILENAME", FIELD_WSTRING);
    table->addColumn(u"PATHID", FIELD_INT32);
    table->addColumn(u"SIZE", FIELD_INT64);
    table->addColumn(u"ATTR", FIELD_INT32);
    EXPECT_TRUE(table->create());
    RecordSetRef set;
    table->openRecordSet(&set);
    for (size_t i = 0; i < pathIds.size(); ++i) {
      char16_t digits[kUintToWideMinCapacity];
      set.setString(u"FILENAME", (u"file" + std::u16string(uintToWide(i, digits))).c_str());
      set.setInt32(u"PATHID", pathIds[i]);
      set.setInt64(u"SIZE", static_cast<int64_t>(i));
      set.setInt32(u"ATTR", static_cast<int32_t>(i % 3));
      set.addNew();
    }
    EXPECT_TRUE(table->closeRecordSet(&set));
    return table;
  }

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
      const std::u16string text = c.criteria;
      SCOPED_TRACE(std::string(text.begin(), text.end()));
      CriteriaEvaluator criteria(c.criteria);
      EXPECT_TRUE(set.setCriteria(&criteria, c.caseSensitive));
      EXPECT_EQ(set.get()->usesIndex(), c.keyText != nullptr);
      EXPECT_TRUE(set.get()->keyText() == (c.keyText != nullptr ? c.keyText : u""));
      EXPECT_EQ(visit(set), c.records);
      EXPECT_TRUE(set.setCriteria(nullptr, false));
    }
  }
};

TEST_F(RecordSetTest, WalksVisitLiveRecordsInOrder) {
  RecordSetRef set;
  auto empty = makeFiles({}, u"empty");
  empty->openRecordSet(&set);
  EXPECT_FALSE(set.moveFirst());
  EXPECT_FALSE(set.moveNext());

  auto table = makeFiles({1, 2, 3, 4, 5});
  for (uint32_t r : {1, 4}) ASSERT_TRUE(table->removeRecord(r));
  table->openRecordSet(&set);
  EXPECT_EQ(visit(set), (Records{0, 2, 3}));
  ASSERT_TRUE(set.moveFirst());
  EXPECT_EQ(set.get()->stepCount(), 0u);
  ASSERT_TRUE(set.moveNext());
  EXPECT_EQ(set.get()->stepCount(), 1u);
  EXPECT_EQ(std::u16string(set.getString(u"FILENAME")), u"file2");
  EXPECT_EQ(set.getInt32(u"PATHID"), 3);
  EXPECT_EQ(set.getInt64(u"SIZE"), 2);
  // Unknown columns and columns of another type read as null or 0 and are never set.
  EXPECT_EQ(set.getString(u"PATHID"), nullptr);
  EXPECT_EQ(set.getInt64(u"size"), 0);
  set.setInt64(u"PATHID", 99);
  EXPECT_EQ(set.getInt32(u"PATHID"), 3);

  // An empty criteria text filters nothing; a set never moved first continues after record 0.
  CriteriaEvaluator noCriteria(u"");
  RecordSetRef fresh;
  table->openRecordSet(&fresh);
  ASSERT_TRUE(fresh.setCriteria(&noCriteria, false));
  ASSERT_TRUE(fresh.moveNext());
  EXPECT_EQ(fresh.get()->currentRecord(), 2u);

  // With every record removed nothing is read: the fields stay as the set made them.
  for (uint32_t r : {0, 2, 3}) ASSERT_TRUE(table->removeRecord(r));
  RecordSetRef none;
  table->openRecordSet(&none);
  EXPECT_FALSE(none.moveFirst());
  for (uint32_t i = 0; i < none.get()->fields().count(); ++i) {
    EXPECT_TRUE(none.get()->fields().at(i)->isNull());
  }
}

TEST_F(RecordSetTest, CriteriaFilterTheWalkAndIndexedKeysSeekTheirBucket) {
  auto table = makeFiles({7, 8, 7, 9, 7, 7});
  RecordSetRef set;
  table->openRecordSet(&set);
  expectWalks(set, {{u"[PATHID]==7 && [SIZE]>0", false, nullptr, {2, 4, 5}},
                    // ATTR is 0 in records 0 and 3: the division fails there and they are skipped.
                    {u"6 / [ATTR] > 3", false, nullptr, {1, 4}}});

  for (const char16_t* column : {u"PATHID", u"FILENAME", u"SIZE"}) {
    ASSERT_TRUE(table->createIndex((u"files_" + std::u16string(column)).c_str(), column));
  }
  ASSERT_TRUE(set.moveFirst());
  set.setInt64(u"SIZE", 5000000000LL);
  set.addNew();
  // A chain runs from the newest record to the oldest; 64-bit keys keep their low 32 bits.
  expectWalks(set, {{u"[PATHID]==7 && [SIZE]>0", false, u"7", {6, 5, 4, 2}},
                    {u"[PATHID]==8 || [PATHID]==9", false, nullptr, {1, 3}},
                    {u"[FILENAME]==\"File1\"", false, u"FILE1", {1}},
                    {u"[FILENAME]==\"File1\"", true, u"FILE1", {}},
                    {u"[SIZE]==5000000000", false, u"705032704", {6}}});
}

TEST_F(RecordSetTest, NullReferencesAndClosing) {
  RecordSetRef none;
  CriteriaEvaluator criteria(u"1");
  none.addNew();
  none.setInt32(u"PATHID", 1);
  EXPECT_FALSE(none.setCriteria(&criteria, false) || none.moveFirst() || none.moveNext());
  EXPECT_EQ(none.getString(u"FILENAME"), nullptr);

  auto table = makeFiles({1, 2});
  auto other = makeFiles({1}, u"other");
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
