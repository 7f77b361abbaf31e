#include "tablestore/hash_index.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "table_fixture.h"

namespace {

constexpr uint32_t kHeadBytes = 524288;

class HashIndexTest : public TableFixture {
 protected:
  // Every live record the index yields for keyText, in chain order.
  static std::vector<uint32_t> seekAll(Table* table, HashIndex* index, const char16_t* keyText) {
    std::vector<uint32_t> found;
    uint32_t record = 0;
    uint32_t cursor = 0;
    for (bool more = table->indexSeek(index, keyText, &record, &cursor); more;
         more = table->indexNext(index, &record, &cursor)) {
      found.push_back(record);
    }
    return found;
  }
  void addNamed(Table* table, const std::u16string& name, int32_t attr) {
    FieldList record = table->columns();
    setString(&record, u"FILENAME", name);
    setInt32(&record, u"ATTR", attr);
    ASSERT_TRUE(table->addRecord(record));
  }
};

TEST_F(HashIndexTest, KeyTextsHashIntoTheDocumentedBuckets) {
  EXPECT_EQ(bucketOfKeyText(u"0"), 1776u);
  EXPECT_EQ(bucketOfKeyText(u""), 0u);
  EXPECT_EQ(bucketOfKeyText(nullptr), 0u);
  EXPECT_EQ(bucketOfKeyText(u"12345"), 35483u);

  FieldList fields;
  for (uint32_t type = FIELD_BYTE; type <= FIELD_WSTRING; ++type) fields.addField(u"F", type);
  static_cast<WordField*>(fields.at(1))->setValue(12345);
  static_cast<Int32Field*>(fields.at(2))->setValue(-1);
  static_cast<Int64Field*>(fields.at(3))->setValue(int64_t{4294967296});
  static_cast<WStringField*>(fields.at(4))->setValue(u"ReadMe.TXT");
  EXPECT_EQ(bucketOfField(*fields.at(0)), 1776u);
  EXPECT_EQ(bucketOfField(*fields.at(1)), 35483u);
  EXPECT_EQ(bucketOfField(*fields.at(2)), bucketOfKeyText(u"4294967295"));
  EXPECT_EQ(bucketOfField(*fields.at(3)), 1776u);
  EXPECT_EQ(bucketOfField(*fields.at(4)), bucketOfKeyText(u"README.TXT"));
  static_cast<WStringField*>(fields.at(4))->setValue(u"\u00e9a");  // only a-z change case
  EXPECT_EQ(bucketOfField(*fields.at(4)), bucketOfKeyText(u"\u00e9A"));
}

TEST_F(HashIndexTest, NewIndexIsAllEmptyHeadsAndChainsGrowAtTheEnd) {
  auto table = makeExampleTable(false);
  ASSERT_TRUE(table->createIndex(u"files_FILENAME", u"FILENAME"));
  table->close();
  EXPECT_EQ(fileBytes("files_FILENAME.idx"), Bytes(kHeadBytes, 0xFF));

  HashIndex index(u"files_FILENAME", dir_.drive().c_str(), u"FILENAME");
  ASSERT_TRUE(index.open());
  EXPECT_FALSE(index.open());
  const uint32_t bucket = 4242;
  ASSERT_TRUE(index.insert(bucket, 5));
  ASSERT_TRUE(index.insert(bucket, 9));
  EXPECT_FALSE(index.insert(65536, 1));
  uint32_t record = 0;
  uint32_t next = 0;
  ASSERT_TRUE(index.readCell(bucket, &record, &next));
  EXPECT_EQ(record, 9u);
  EXPECT_EQ(next, 65536u);
  ASSERT_TRUE(index.readCell(65536, &record, &next));
  EXPECT_EQ(record, 5u);
  EXPECT_EQ(next, 0xFFFFFFFFu);
  EXPECT_FALSE(index.readCell(65537, &record, &next));
  ASSERT_TRUE(index.close());
  EXPECT_FALSE(index.close());
  EXPECT_EQ(fileBytes("files_FILENAME.idx").size(), kHeadBytes + 8u);

  HashIndex unnamed(u"x", nullptr, u"FILENAME");
  EXPECT_FALSE(unnamed.create());
  EXPECT_FALSE(unnamed.open());
  EXPECT_EQ(unnamed.indexName(), nullptr);
}

TEST_F(HashIndexTest, CatalogueListsIndexesInOrderAndReopensThem) {
  auto table = makeExampleTable(false);
  ASSERT_TRUE(table->createIndex(u"files_ATTR", u"ATTR"));
  ASSERT_TRUE(table->createIndex(u"files_FILENAME", u"FILENAME"));
  const Bytes catalogue = fileBytes("files_idx.dat");
  EXPECT_FALSE(table->createIndex(u"files_ATTR", u"FILENAME"));
  EXPECT_FALSE(table->createIndex(u"files_X", u"NOSUCH"));
  EXPECT_FALSE(table->createIndex(nullptr, u"ATTR"));
  EXPECT_EQ(fileBytes("files_idx.dat"), catalogue);

  Bytes expected = {0x6E, 0x00, 0x14, 0, 0, 0};
  for (char16_t c : std::u16string(u"files_ATTR")) expected.insert(expected.end(), {uint8_t(c), 0});
  expected.insert(expected.end(), {0x08, 0, 0, 0});
  for (char16_t c : std::u16string(u"ATTR")) expected.insert(expected.end(), {uint8_t(c), 0});
  ASSERT_GT(catalogue.size(), expected.size());
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), catalogue.begin()));
  table->close();

  ASSERT_TRUE(table->open());
  EXPECT_NE(table->findIndexByName(u"files_ATTR"), nullptr);
  EXPECT_EQ(table->findIndexByColumn(u"FILENAME"), table->findIndexByName(u"files_FILENAME"));
  EXPECT_EQ(table->findIndexByColumn(u"filename"), nullptr);
  table->close();

  std::filesystem::remove(dir_.host("files_ATTR.idx"));
  ASSERT_TRUE(table->open());
  EXPECT_EQ(table->findIndexByName(u"files_ATTR"), nullptr);
  EXPECT_NE(table->findIndexByName(u"files_FILENAME"), nullptr);
  table->close();

  auto recreated = makeExampleTable(false);
  recreated->close();
  ASSERT_TRUE(recreated->open());
  EXPECT_EQ(recreated->findIndexByName(u"files_FILENAME"), nullptr);
}

TEST_F(HashIndexTest, SeeksYieldLiveRecordsOfTheBucketNewestFirst) {
  auto table = makeExampleTable(false);
  ASSERT_TRUE(table->createIndex(u"files_FILENAME", u"FILENAME"));
  ASSERT_TRUE(table->createIndex(u"files_ATTR", u"ATTR"));
  HashIndex* byName = table->findIndexByColumn(u"FILENAME");
  HashIndex* byAttr = table->findIndexByColumn(u"ATTR");
  addNamed(table.get(), u"a.txt", 0);  // 0
  addNamed(table.get(), u"b.txt", 1);  // 1
  addNamed(table.get(), u"A.TXT", 0);  // 2
  addNamed(table.get(), u"a.txt", 1);  // 3

  EXPECT_EQ(seekAll(table.get(), byName, u"A.TXT"), std::vector<uint32_t>({3, 2, 0}));
  EXPECT_EQ(seekAll(table.get(), byAttr, u"0"), std::vector<uint32_t>({2, 0}));
  EXPECT_TRUE(seekAll(table.get(), byName, u"C.TXT").empty());

  ASSERT_TRUE(table->removeRecord(3));
  ASSERT_TRUE(table->removeRecord(0));
  EXPECT_EQ(seekAll(table.get(), byName, u"A.TXT"), std::vector<uint32_t>({2}));
  ASSERT_TRUE(table->removeRecord(2));
  EXPECT_TRUE(seekAll(table.get(), byName, u"A.TXT").empty());

  // A moved record is entered again under its new number.
  FieldList record = table->columns();
  ASSERT_TRUE(table->readRecord(1, &record));
  setString(&record, u"FILENAME", u"longer.txt");
  ASSERT_TRUE(table->updateRecord(1, record));
  EXPECT_EQ(seekAll(table.get(), byName, u"LONGER.TXT"), std::vector<uint32_t>({4}));
  EXPECT_EQ(seekAll(table.get(), byAttr, u"1"), std::vector<uint32_t>({4}));
}

TEST_F(HashIndexTest, NullValuesAreLeftOutOnAddButEnteredWhenTheIndexIsBuilt) {
  auto table = makeExampleTable(true);
  ASSERT_TRUE(table->createIndex(u"files_FILENAME", u"FILENAME"));
  FieldList record = table->columns();
  setInt32(&record, u"ATTR", 1);  // FILENAME stays null: its key would be the empty text
  ASSERT_TRUE(table->addRecord(record));
  EXPECT_TRUE(seekAll(table.get(), table->findIndexByName(u"files_FILENAME"), u"").empty());

  ASSERT_TRUE(table->createIndex(u"late", u"FILENAME"));
  EXPECT_EQ(seekAll(table.get(), table->findIndexByName(u"late"), u""), std::vector<uint32_t>({0}));
}

TEST_F(HashIndexTest, DamagedIndexFilesNeitherCrashNorLoop) {
  {
    auto table = makeExampleTable(false);
    ASSERT_TRUE(table->createIndex(u"files_FILENAME", u"FILENAME"));
    for (int i = 0; i < 5; ++i) addNamed(table.get(), u"same", i);
  }
  const Bytes index = fileBytes("files_FILENAME.idx");
  const uint32_t bucket = bucketOfKeyText(u"SAME");

  // Point the oldest chain cell back at the newest: a cycle.
  Bytes cyclic = index;
  cyclic[kHeadBytes + 4] = 0x03;
  cyclic[kHeadBytes + 5] = 0x00;
  cyclic[kHeadBytes + 6] = 0x01;
  cyclic[kHeadBytes + 7] = 0x00;
  // A head whose chain points into the head area, and one past the end of the file.
  Bytes intoHeads = index;
  intoHeads[bucket * 8 + 4] = 0x07;
  intoHeads[bucket * 8 + 5] = intoHeads[bucket * 8 + 6] = intoHeads[bucket * 8 + 7] = 0;
  Bytes pastEnd = index;
  pastEnd[bucket * 8 + 6] = 0x7F;
  for (const Bytes& damaged : {cyclic, intoHeads, pastEnd}) {
    writeBytes("files_FILENAME.idx", damaged);
    auto table = makeTable(false);
    ASSERT_TRUE(table->open());
    std::vector<uint32_t> found =
        seekAll(table.get(), table->findIndexByName(u"files_FILENAME"), u"SAME");
    EXPECT_LE(found.size(), 5u);
    addNamed(table.get(), u"same", 9);  // inserting into a damaged chain still works
  }

  writeBytes("files_FILENAME.idx", Bytes(index.begin(), index.begin() + kHeadBytes - 1));
  auto table = makeTable(false);
  ASSERT_TRUE(table->open());
  EXPECT_EQ(table->findIndexByName(u"files_FILENAME"), nullptr);
  table->close();

  // A catalogue cut inside an entry, or holding foreign entries, loads what it can.
  const Bytes catalogue = fileBytes("files_idx.dat");
  writeBytes("files_FILENAME.idx", index);
  Bytes foreign = catalogue;
  foreign[0] = 0x6F;
  Bytes withTail = catalogue;
  withTail.insert(withTail.end(), {0x6E, 0x00, 0xFF, 0xFF, 0xFF, 0x7F});
  for (const Bytes& damaged : {Bytes(catalogue.begin(), catalogue.end() - 3), foreign, withTail}) {
    writeBytes("files_idx.dat", damaged);
    ASSERT_TRUE(table->open());
    EXPECT_EQ(table->findIndexByName(u"files_FILENAME") != nullptr, damaged == withTail);
    table->close();
  }
}

}  // namespace

namespace {

// A catalogue entry as the table writes it: marker, then two length-prefixed UTF-16LE names.
Bytes catalogueEntry(const std::u16string& indexName, const std::u16string& columnName) {
  Bytes entry = {0x6E, 0x00};
  for (const std::u16string* name : {&indexName, &columnName}) {
    uint32_t length = static_cast<uint32_t>(name->size() * 2);
    for (int shift = 0; shift < 32; shift += 8) entry.push_back(uint8_t(length >> shift));
    for (char16_t c : *name) entry.insert(entry.end(), {uint8_t(c), uint8_t(c >> 8)});
  }
  return entry;
}

TEST_F(HashIndexTest, IndexNamesNeverReachOutsideTheTableDirectory) {
  auto table = makeExampleTable(false);
  for (const char16_t* name : {u"..\\x", u"a/b", u"C:x", u"", u"..", u"."}) {
    EXPECT_FALSE(table->createIndex(name, u"ATTR")) << std::u16string(name).size();
  }
  ASSERT_TRUE(table->createIndex(u"files_ATTR", u"ATTR"));
  table->close();

  // A damaged catalogue that names an index file in another directory is not followed there.
  std::filesystem::create_directory(dir_.host("sub"));
  std::filesystem::rename(dir_.host("files_ATTR.idx"), dir_.host("sub") / "evil.idx");
  Bytes catalogue = catalogueEntry(u"sub\\evil", u"ATTR");
  std::ofstream(dir_.host("files_idx.dat"), std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(catalogue.data()), std::streamsize(catalogue.size()));
  ASSERT_TRUE(table->open());
  EXPECT_EQ(table->findIndexByColumn(u"ATTR"), nullptr);
  EXPECT_EQ(table->findIndexByName(u"sub\\evil"), nullptr);
}

}  // namespace
