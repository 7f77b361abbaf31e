#include "tablestore/table.h"

#include <filesystem>
#include <string>

#include "table_fixture.h"

namespace {

using platform::testing::Fault;

class TableTest : public TableFixture {};

TEST_F(TableTest, NamesDirectoriesAndColumnsAreCheckedAndCreateStartsAfresh) {
  EXPECT_FALSE(Table(nullptr, dir_.drive().c_str(), false).create());
  EXPECT_EQ(Table(u"t", nullptr, false).name(), nullptr);
  const std::u16string longDirectory = dir_.drive() + u"\\" + std::u16string(300, u'd');
  for (const std::u16string& directory : {longDirectory, dir_.drive(u"missing")}) {
    Table table(u"t", directory.c_str(), false);
    EXPECT_FALSE(table.create() || table.open());
  }
  Table relative(u"t", u"sub\\..", false);
  ASSERT_NE(relative.directory(), nullptr);
  EXPECT_EQ(std::u16string(relative.directory()).back(), u'\\');
  EXPECT_FALSE(Table(std::u16string(300, u'n').c_str(), dir_.drive().c_str(), false).create());
  Table missing(u"absent", dir_.drive().c_str(), false);
  EXPECT_FALSE(missing.open() || missing.addRecord(FieldList()));

  // The record file is made, the position file is refused (as in a read-only directory); then
  // the header cannot be written. Neither leaves a file.
  auto table = makeTable(false);
  ASSERT_TRUE(table->addColumn(u"A", FIELD_INT32));
  platform::testing::injectFault(Fault::kFileOpen, platform::kErrorAccessDenied, 2);
  EXPECT_FALSE(table->create() || table->isOpen());
  platform::testing::injectFault(Fault::kFileSetSize, platform::kErrorDiskFull);
  EXPECT_FALSE(table->create());
  EXPECT_TRUE(std::filesystem::is_empty(dir_.host()));
  EXPECT_TRUE(table->create());

  // Columns are fixed once the table exists.
  table = makeTable(false);
  for (int i = 0; i < 256; ++i) ASSERT_TRUE(table->addColumn(u"C", FIELD_BYTE));
  // At most 256 columns, each with a name and a known type.
  EXPECT_FALSE(table->addColumn(u"C", FIELD_BYTE) || table->addColumn(nullptr, FIELD_BYTE) ||
               table->addColumn(u"C", 9));
  ASSERT_TRUE(table->create());
  EXPECT_FALSE(table->create());
  table->close();
  ASSERT_TRUE(table->open());
  EXPECT_FALSE(table->open() || table->addColumn(u"LATE", FIELD_BYTE));
  EXPECT_EQ(table->columns().count(), 256u);
  FieldList record = table->columns();
  ASSERT_TRUE(table->addRecord(record));
  EXPECT_TRUE(table->readRecord(0, &record));
  table->close();

  // A new table of the same name empties both files and drops the catalogue.
  writeBytes("files_idx.dat", Bytes(10, 1));
  makeTable(false)->create();
  EXPECT_EQ(fileBytes("files.dat"), Bytes(12, 0));  // no columns: the fixed header alone
  EXPECT_EQ(fileBytes("files.pxx"), Bytes());
  EXPECT_FALSE(std::filesystem::exists(dir_.host("files_idx.dat")));
}

TEST_F(TableTest, DamagedHeadersAreRefused) {
  makeExampleTable(false)->close();
  const Bytes good = fileBytes("files.dat");
  const std::pair<size_t, uint32_t> patches[] = {
      {8, 257},          // too many columns
      {8, 3},            // more columns than listed
      {12, 9},           // unknown type code
      {16, 7},           // odd name length
      {16, 0xFFFFFFF0},  // name length past the file
  };
  std::vector<Bytes> damaged = {Bytes(), Bytes(good.begin(), good.begin() + 11),
                                Bytes(good.begin(), good.begin() + 40)};  // cut at 0, 11, 40
  for (const auto& [offset, value] : patches) {
    damaged.push_back(good);
    putU32(&damaged.back(), offset, value);
  }
  for (size_t i = 0; i < damaged.size(); ++i) {
    writeBytes("files.dat", damaged[i]);
    auto table = makeTable(false);
    EXPECT_FALSE(table->open() || table->isOpen()) << "case " << i;
    EXPECT_EQ(table->columns().count(), 0u);
  }
  writeBytes("files.dat", good);
  EXPECT_TRUE(makeTable(false)->open());
}

// Two objects on one table, as the monitor (writer) and the provider (reader) hold it from two
// processes: the reader's views follow the writer after refreshViews, a reader never cuts the
// files, and nobody can recreate the files the other holds. Key searches of both objects see
// changes in place and new chain heads, the reader's after refreshViews.
TEST_F(TableTest, AReaderFollowsTheWriterAndNeverCutsItsData) {
  auto writer = makeExampleTable(false);
  ASSERT_TRUE(writer->createIndex(u"files_name", u"FILENAME"));
  ASSERT_TRUE(writer->createIndex(u"files_attr", u"ATTR"));
  auto reader = makeTable(false);
  ASSERT_TRUE(reader->open());
  ASSERT_NE(reader->mutex(), nullptr);
  EXPECT_FALSE(makeTable(false)->refreshViews());  // not open

  // Record i holds ATTR i; records 3000 to 3007 hold the first eight values from 3000 on that
  // share the bucket of 7 (keys[1] to keys[8]), so that its chain has many steps. keys[9] is held
  // by no record yet.
  Int32Field key(u"ATTR");
  key.setValue(7);
  const uint32_t bucket = bucketOfField(key);
  std::vector<int32_t> keys = {7};
  for (key.setValue(3000); keys.size() < 10; key.setValue(key.value() + 1)) {
    if (bucketOfField(key) == bucket) keys.push_back(key.value());
  }
  FieldList record = writer->columns();
  for (int i = 0; i < 3008; ++i) {  // grows every file by several steps
    setString(&record, u"FILENAME", u"f" + std::u16string(1, char16_t(u'a' + i % 26)));
    setInt32(&record, u"ATTR", i < 3000 ? i : keys[i - 2999]);
    ASSERT_TRUE(writer->addRecord(record));
  }
  HashIndex* index = reader->findIndexByColumn(u"FILENAME");
  ASSERT_NE(index, nullptr);
  EXPECT_TRUE(liveRecords(reader.get()).empty());
  ASSERT_TRUE(reader->refreshViews());
  EXPECT_EQ(liveRecords(reader.get()).size(), 3008u);
  EXPECT_EQ(seekAll(reader.get(), index, u"FC").size(), 116u);

  // Each key is found in exactly the records that hold it, again from the chains remembered.
  std::vector<std::vector<uint32_t>> holders(keys.size());
  for (uint32_t i = 0; i < 9; ++i) holders[i] = {i == 0 ? 7 : 2999 + i};
  const auto findsEach = [&] {
    for (int pass = 0; pass < 2; ++pass) {
      for (Table* t : {reader.get(), writer.get()}) {
        for (size_t i = 0; i < keys.size(); ++i) {
          key.setValue(keys[i]);
          EXPECT_EQ(findAll(t, u"ATTR", key), holders[i]) << keys[i];
        }
      }
    }
  };
  findsEach();
  ASSERT_TRUE(writer->readRecord(7, &record));
  setInt32(&record, u"ATTR", keys[9]);
  ASSERT_TRUE(writer->updateRecord(7, record));  // in place
  holders[0] = {};
  holders[9] = {7};
  ASSERT_TRUE(reader->refreshViews());
  findsEach();
  setInt32(&record, u"ATTR", 7);
  ASSERT_TRUE(writer->addRecord(record));  // a new head
  holders[0] = {3008};
  ASSERT_TRUE(reader->refreshViews());
  findsEach();

  // The writer closes first (its cut waits for the reader); the reader's close cuts nothing.
  const size_t written = fileBytes("files.dat").size();
  writer->close();
  ASSERT_TRUE(writer->addColumn(u"ATTR", FIELD_INT32));
  EXPECT_FALSE(writer->create()) << "files another holder has open are never emptied";
  reader->close();
  EXPECT_EQ(fileBytes("files.dat").size(), written);
  auto again = makeTable(false);
  ASSERT_TRUE(again->open());
  EXPECT_EQ(liveRecords(again.get()).size(), 3009u);
}

class TableCompactionTest : public TableFixture, public ::testing::WithParamInterface<bool> {};

// A compacted copy holds the live records' bytes in record order under new numbers, and indexes
// that hold only them; the original's files are untouched.
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
  EXPECT_TRUE(copied.empty() && !std::filesystem::exists(blocked.host("files.dat")));
  table->close();
  EXPECT_EQ(fileBytes("by_name.idx").size(), 524288u + 9 * 8);
}

INSTANTIATE_TEST_SUITE_P(PlainAndCompact, TableCompactionTest, ::testing::Bool());

}  // namespace
