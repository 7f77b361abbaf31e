// A compacted copy holds the live records' bytes in record order under new numbers, and indexes
// that hold only them; the original's files are untouched.
#include "table_fixture.h"

namespace {

class TableCompactionTest : public TableFixture, public ::testing::WithParamInterface<bool> {};

TEST_P(TableCompactionTest, CopyHoldsTheLiveRecordsBytesAndOnlyTheirIndexCells) {
  const bool compact = GetParam();
  auto table = makeExampleTable(compact);
  ASSERT_TRUE(table->createIndex(u"by_name", u"FILENAME"));
  ASSERT_TRUE(table->createIndex(u"by_attr", u"ATTR"));
  // Records 0-11: ATTR i, FILENAME "odd" or "even"; record 7's name is null (written, not indexed).
  std::vector<FieldList> written(12, table->columns());
  for (int32_t i = 0; i < 12; ++i) {
    setInt32(&written[i], u"ATTR", i);
    setString(&written[i], u"FILENAME", i % 2 != 0 ? u"odd" : u"even");
    written[i].findField(u"FILENAME")->setNull(i == 7);
    ASSERT_TRUE(table->addRecord(written[i]));
  }
  // A longer name moves record 4 to number 12; four others are removed.
  setString(&written[4], u"FILENAME", u"even, renamed");
  written.push_back(written[4]);
  ASSERT_TRUE(table->updateRecord(4, written[4]));
  for (uint32_t removed : {0u, 3u, 6u, 9u}) ASSERT_TRUE(table->removeRecord(removed));
  const std::vector<uint32_t> live = liveRecords(table.get());
  ASSERT_EQ(live, (std::vector<uint32_t>{1, 2, 5, 7, 8, 10, 11, 12}));
  const Bytes originalData = fileBytes("files.dat");

  TempDir other;
  std::vector<std::u16string> copied;
  ASSERT_TRUE(table->writeCompactedCopy(other.drive().c_str(), &copied));
  ASSERT_EQ(copied.size(), 5u);
  EXPECT_EQ(copied[0], other.drive(u"files.dat"));
  EXPECT_EQ(copied[4], other.drive(u"by_attr.idx"));
  EXPECT_EQ(fileBytes("files.dat"), originalData);

  // Header with the counters of a table that never removed a record, then the records as written.
  const size_t headerSize = 12 + 8 + 8 + 8 + 16;
  Bytes expectedData(originalData.begin(), originalData.begin() + headerSize);
  putU32(&expectedData, 0, static_cast<uint32_t>(live.size()));
  putU32(&expectedData, 4, 0);
  Bytes expectedPositions;
  for (uint32_t number : live) {
    expectedPositions.resize(expectedPositions.size() + 4);
    putU32(&expectedPositions, expectedPositions.size() - 4,
           static_cast<uint32_t>(expectedData.size()));
    const Bytes record = encode(written[number], compact);
    expectedData.insert(expectedData.end(), record.begin(), record.end());
  }
  auto copyBytes = [&](const char* name) { return readBytes(other.host(name)); };
  EXPECT_EQ(copyBytes("files.dat"), expectedData);
  EXPECT_EQ(copyBytes("files.pxx"), expectedPositions);
  EXPECT_EQ(copyBytes("files_idx.dat"), fileBytes("files_idx.dat"));
  // Seven named records in three buckets leave four chain cells (the original's twelve, nine).
  const uint32_t renamed = bucketOfKeyText(u"EVEN, RENAMED");
  ASSERT_TRUE(bucketOfKeyText(u"ODD") != bucketOfKeyText(u"EVEN") &&
              renamed != bucketOfKeyText(u"ODD") && renamed != bucketOfKeyText(u"EVEN"));
  EXPECT_EQ(copyBytes("by_name.idx").size(), 524288u + 4 * 8);

  Table copy(u"files", other.drive().c_str(), compact);
  ASSERT_TRUE(copy.open());
  HashIndex* byName = copy.findIndexByName(u"by_name");
  HashIndex* byAttr = copy.findIndexByName(u"by_attr");
  ASSERT_TRUE(byName != nullptr && byAttr != nullptr);
  // Newest first: the copies of records 11, 5 and 1 (ODD; 7 is null), and of 10, 8 and 2.
  EXPECT_EQ(seekAll(&copy, byName, u"ODD"), (std::vector<uint32_t>{6, 2, 0}));
  EXPECT_EQ(seekAll(&copy, byName, u"EVEN"), (std::vector<uint32_t>{5, 4, 1}));
  EXPECT_EQ(seekAll(&copy, byAttr, u"7"), (std::vector<uint32_t>{3}));
  EXPECT_EQ(seekAll(&copy, byAttr, u"4"), (std::vector<uint32_t>{7}));
  EXPECT_TRUE(seekAll(&copy, byAttr, u"3").empty());
  uint32_t assigned = 0;
  uint32_t liveCount = 0;
  ASSERT_TRUE(table->recordCounts(&assigned, &liveCount));
  EXPECT_EQ(assigned, 13u);
  EXPECT_EQ(liveCount, 8u);

  // A copy that cannot be written leaves nothing behind.
  TempDir blocked;
  std::filesystem::create_directory(blocked.host("files.pxx"));
  EXPECT_FALSE(table->writeCompactedCopy(blocked.drive().c_str(), &copied));
  EXPECT_TRUE(copied.empty());
  EXPECT_FALSE(std::filesystem::exists(blocked.host("files.dat")));
  table->close();
  EXPECT_EQ(fileBytes("by_name.idx").size(), 524288u + 9 * 8);
}

INSTANTIATE_TEST_SUITE_P(PlainAndCompact, TableCompactionTest, ::testing::Bool());

}  // namespace
