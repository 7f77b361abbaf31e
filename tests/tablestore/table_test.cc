#include "tablestore/table.h"

#include <filesystem>
#include <string>

#include "table_fixture.h"

namespace {

using platform::testing::Fault;

class TableTest : public TableFixture {};

// Column layouts are checked byte for byte by the worked example in table_records_test.cc.
TEST_F(TableTest, ColumnsAreFixedOnceTheTableExistsAndCreateStartsAfresh) {
  auto table = makeTable(false);
  for (int i = 0; i < 256; ++i) ASSERT_TRUE(table->addColumn(u"C", FIELD_BYTE));
  EXPECT_FALSE(table->addColumn(u"C", FIELD_BYTE));  // at most 256
  EXPECT_FALSE(table->addColumn(nullptr, FIELD_BYTE));
  EXPECT_FALSE(table->addColumn(u"C", 9));
  ASSERT_TRUE(table->create());
  EXPECT_FALSE(table->create());
  table->close();
  ASSERT_TRUE(table->open());
  EXPECT_FALSE(table->open());
  EXPECT_FALSE(table->addColumn(u"LATE", FIELD_BYTE));
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

TEST_F(TableTest, BadNamesAndDirectoriesMakeInertObjectsAndFailedCreatesLeaveNoFiles) {
  EXPECT_FALSE(Table(nullptr, dir_.drive().c_str(), false).create());
  EXPECT_EQ(Table(u"t", nullptr, false).name(), nullptr);
  const std::u16string longDirectory = dir_.drive() + u"\\" + std::u16string(300, u'd');
  for (const std::u16string& directory : {longDirectory, dir_.drive(u"missing")}) {
    Table table(u"t", directory.c_str(), false);
    EXPECT_FALSE(table.create());
    EXPECT_FALSE(table.open());
  }
  Table relative(u"t", u"sub\\..", false);
  ASSERT_NE(relative.directory(), nullptr);
  EXPECT_EQ(std::u16string(relative.directory()).back(), u'\\');
  EXPECT_FALSE(Table(std::u16string(300, u'n').c_str(), dir_.drive().c_str(), false).create());
  Table missingTable(u"absent", dir_.drive().c_str(), false);
  EXPECT_FALSE(missingTable.open());
  EXPECT_FALSE(missingTable.addRecord(FieldList()));

  // The record file is made, the position file is refused (as in a read-only directory); then
  // the header cannot be written.
  auto table = makeTable(false);
  ASSERT_TRUE(table->addColumn(u"A", FIELD_INT32));
  platform::testing::injectFault(Fault::kFileOpen, platform::kErrorAccessDenied, 2);
  EXPECT_FALSE(table->create());
  EXPECT_FALSE(table->isOpen());
  platform::testing::injectFault(Fault::kFileSetSize, platform::kErrorDiskFull);
  EXPECT_FALSE(table->create());
  EXPECT_TRUE(std::filesystem::is_empty(dir_.host()));
  EXPECT_TRUE(table->create());
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
    EXPECT_FALSE(table->open()) << "case " << i;
    EXPECT_FALSE(table->isOpen());
    EXPECT_EQ(table->columns().count(), 0u);
  }
  writeBytes("files.dat", good);
  EXPECT_TRUE(makeTable(false)->open());
}

// Two objects on one table, as the monitor (writer) and the provider (reader) hold it from two
// processes: the reader's views follow the writer after refreshViews, a reader never cuts the
// files, and nobody can recreate the files the other holds. Key searches see changes in place
// and new chain heads, the reader's after refreshViews.
TEST_F(TableTest, AReaderFollowsTheWriterAndNeverCutsItsData) {
  auto writer = makeExampleTable(false);
  ASSERT_TRUE(writer->createIndex(u"files_name", u"FILENAME"));
  ASSERT_TRUE(writer->createIndex(u"files_attr", u"ATTR"));
  auto reader = makeTable(false);
  ASSERT_TRUE(reader->open());
  ASSERT_NE(reader->mutex(), nullptr);
  EXPECT_FALSE(makeTable(false)->refreshViews());  // not open

  FieldList record = writer->columns();
  for (int i = 0; i < 3000; ++i) {  // grows every file by several steps
    setString(&record, u"FILENAME", u"f" + std::u16string(1, char16_t(u'a' + i % 26)));
    setInt32(&record, u"ATTR", i);
    ASSERT_TRUE(writer->addRecord(record));
  }
  HashIndex* index = reader->findIndexByColumn(u"FILENAME");
  ASSERT_NE(index, nullptr);
  EXPECT_TRUE(liveRecords(reader.get()).empty());
  ASSERT_TRUE(reader->refreshViews());
  EXPECT_EQ(liveRecords(reader.get()).size(), 3000u);
  EXPECT_EQ(seekAll(reader.get(), index, u"FC").size(), 116u);

  using Records = std::vector<uint32_t>;
  const std::vector<Table*> both = {reader.get(), writer.get()};
  Int32Field seven(u"ATTR");
  seven.setValue(7);
  Int32Field other(u"ATTR");  // a value in the bucket of 7
  for (other.setValue(3000); bucketOfField(other) != bucketOfField(seven);) {
    other.setValue(other.value() + 1);
  }
  for (Table* t : both) EXPECT_EQ(findAll(t, u"ATTR", seven), Records{7});
  for (Table* t : both) EXPECT_TRUE(findAll(t, u"ATTR", other).empty());
  ASSERT_TRUE(writer->readRecord(7, &record));
  setInt32(&record, u"ATTR", other.value());
  ASSERT_TRUE(writer->updateRecord(7, record));  // in place
  ASSERT_TRUE(reader->refreshViews());
  for (Table* t : both) EXPECT_EQ(findAll(t, u"ATTR", other), Records{7});
  setInt32(&record, u"ATTR", 7);
  ASSERT_TRUE(writer->addRecord(record));  // a new head
  ASSERT_TRUE(reader->refreshViews());
  for (Table* t : both) EXPECT_EQ(findAll(t, u"ATTR", seven), Records{3000});

  // The writer closes first (its cut waits for the reader); the reader's close cuts nothing.
  const size_t written = fileBytes("files.dat").size();
  writer->close();
  ASSERT_TRUE(writer->addColumn(u"ATTR", FIELD_INT32));
  EXPECT_FALSE(writer->create()) << "files another holder has open are never emptied";
  reader->close();
  EXPECT_EQ(fileBytes("files.dat").size(), written);
  auto again = makeTable(false);
  ASSERT_TRUE(again->open());
  EXPECT_EQ(liveRecords(again.get()).size(), 3001u);
}

}  // namespace
