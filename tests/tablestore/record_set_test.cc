#include "tablestore/record_set.h"

#include <string>
#include <vector>

#include "base/wstring.h"
#include "criteria/criteria_evaluator.h"
#include "sample_table.h"
#include "table_fixture.h"

namespace {

using Records = std::vector<uint32_t>;

struct WalkCase {
  const char16_t* criteria;
  bool caseSensitive;
  const char16_t* keyText;  // null when the walk must not use an index
  Records records;
};

// Criteria that claim to read every column: the record set then reads records whole.
class WholeReads final : public RecordFilter {
 public:
  explicit WholeReads(const char16_t* text) : criteria_(text) {}
  const char16_t* text() const override { return criteria_.text(); }
  bool setColumns(FieldList* columns) override { return criteria_.setColumns(columns); }
  bool readsColumn(const char16_t*) override { return true; }
  bool indexKey(RecordFilterKey* key) override { return criteria_.indexKey(key); }
  int evaluate(FieldList* columns, FieldList* variables, bool caseSensitive) override {
    return criteria_.evaluate(columns, variables, caseSensitive);
  }

 private:
  CriteriaEvaluator criteria_;
};

// The records selected with their fields' encoding, then the fields the walk ended with.
std::vector<std::pair<uint32_t, Bytes>> walk(Table* table, RecordFilter* filter) {
  RecordSetRef set;
  table->openRecordSet(&set);
  set.setCriteria(filter, false);
  std::vector<std::pair<uint32_t, Bytes>> seen;
  for (bool more = set.moveFirst(); more; more = set.moveNext()) {
    seen.emplace_back(set.get()->currentRecord(), encode(set.get()->fields(), false));
  }
  seen.emplace_back(UINT32_MAX, encode(set.get()->fields(), false));
  return seen;
}

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

TEST_F(RecordSetTest, WalksVisitLiveRecordsInOrderAndClosingEmptiesTheReferences) {
  RecordSetRef none;
  CriteriaEvaluator criteria(u"1");
  none.addNew();
  none.setInt32(u"PATHID", 1);
  EXPECT_FALSE(none.setCriteria(&criteria, false) || none.moveFirst() || none.moveNext());
  EXPECT_EQ(none.getString(u"FILENAME"), nullptr);

  RecordSetRef set;
  auto empty = makeFiles({}, u"empty");
  empty->openRecordSet(&set);
  EXPECT_FALSE(set.moveFirst() || set.moveNext());
  auto table = makeFiles({1, 2, 3, 4, 5});
  EXPECT_FALSE(table->closeRecordSet(&set) || table->closeRecordSet(&none) ||
               table->closeRecordSet(nullptr));
  EXPECT_TRUE(empty->closeRecordSet(&set));
  EXPECT_FALSE(set || empty->closeRecordSet(&set));

  for (uint32_t r : {1, 4}) ASSERT_TRUE(table->removeRecord(r));
  table->openRecordSet(&set);
  EXPECT_EQ(visit(set), (Records{0, 2, 3}));
  ASSERT_TRUE(set.moveFirst() && set.moveNext());
  EXPECT_EQ(set.get()->stepCount(), 1u);  // counted afresh from the first record
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
  RecordSetRef unread;
  table->openRecordSet(&unread);
  EXPECT_FALSE(unread.moveFirst());
  for (uint32_t i = 0; i < unread.get()->fields().count(); ++i) {
    EXPECT_TRUE(unread.get()->fields().at(i)->isNull());
  }

  // Closing the table closes its sets and empties the variables that held them.
  table->close();
  EXPECT_FALSE(set || fresh || unread || set.moveNext());
  {
    RecordSetRef scoped;
    table->openRecordSet(&scoped);
  }
  table.reset();
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

// Criteria that read a few columns decode the others only for the records they select; on damaged
// files they must stop where whole reads stop and leave the same fields.
TEST_F(RecordSetTest, PartialReadsOfDamagedRecordsGiveTheResultsAndFieldsOfWholeReads) {
  CriteriaEvaluator probe(u"[FILENAME]==\"*_b\" && [KIND] > 3");
  EXPECT_TRUE(probe.readsColumn(u"KIND") && !probe.readsColumn(u"SIZE"));
  for (bool compact : {false, true}) {
    auto table = makeTable(compact);
    ASSERT_TRUE(createSampleTable(table.get(), 12, false, true));
    table->close();
    const Bytes pristine = fileBytes("files.dat");
    // Every fifth cut, changed byte and run of eleven number continuation bits after the header.
    for (size_t step = 3 * u32At(fileBytes("files.pxx"), 0); step < 3 * pristine.size();
         step += 5) {
      Bytes bytes = pristine;
      const size_t at = step / 3;
      if (step % 3 == 0) bytes.resize(at);
      if (step % 3 == 1) bytes[at] ^= static_cast<uint8_t>(0xC1 + step);
      for (size_t i = at; step % 3 == 2 && i < at + 11 && i < bytes.size(); ++i) bytes[i] |= 1;
      writeBytes("files.dat", bytes);
      ASSERT_TRUE(table->open());
      // A scan, and a walk of the FILENAME index's chain.
      for (const char16_t* text : {u"[FILENAME]==\"*_b\" || [SIZE] > 4096", u"[FILENAME]==\"\""}) {
        CriteriaEvaluator partial(text);
        WholeReads whole(text);
        EXPECT_EQ(walk(table.get(), &partial), walk(table.get(), &whole)) << step;
      }
      table->close();
    }
  }
}

}  // namespace
