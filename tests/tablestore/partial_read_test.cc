// Record sets whose criteria read a few columns decode the others only for the records they
// select; on damaged files they must stop where whole reads stop and leave the same fields.
#include <cstdint>
#include <utility>
#include <vector>

#include "criteria/criteria_evaluator.h"
#include "tablestore/record_set.h"
#include "tablestore/sample_table.h"
#include "tablestore/table_fixture.h"

namespace {

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

class PartialReadTest : public TableFixture {};

TEST_F(PartialReadTest, DamagedRecordsGiveTheResultsAndFieldsOfWholeReads) {
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
