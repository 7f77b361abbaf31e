#include "tablestore/hash_index.h"

#include <filesystem>
#include <string>
#include <vector>

#include "support/trace_capture.h"
#include "table_fixture.h"

namespace {

constexpr uint32_t kHeadBytes = 524288;

class HashIndexTest : public TableFixture {
 protected:
  void addNamed(Table* table, const std::u16string& name, int32_t attr) {
    FieldList record = table->columns();
    setString(&record, u"FILENAME", name);
    setInt32(&record, u"ATTR", attr);
    ASSERT_TRUE(table->addRecord(record));
  }
  // A catalogue entry: marker, then two length-prefixed UTF-16LE names.
  static Bytes catalogueEntry(const std::u16string& indexName, const std::u16string& columnName) {
    Bytes entry = {0x6E, 0x00};
    for (const std::u16string* name : {&indexName, &columnName}) {
      entry.resize(entry.size() + 4);
      putU32(&entry, entry.size() - 4, static_cast<uint32_t>(name->size() * 2));
      for (char16_t c : *name) entry.insert(entry.end(), {uint8_t(c), uint8_t(c >> 8)});
    }
    return entry;
  }
};

TEST_F(HashIndexTest, KeyTextsHashIntoTheDocumentedBuckets) {
  EXPECT_EQ(bucketOfKeyText(u"0"), 1776u);
  EXPECT_EQ(bucketOfKeyText(u"") + bucketOfKeyText(nullptr), 0u);
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

TEST_F(HashIndexTest, IndexesAreCataloguedGrowAtTheEndAndLoadWhatDamageAllowsWithoutLooping) {
  auto table = makeExampleTable(false);
  ASSERT_TRUE(table->createIndex(u"files_ATTR", u"ATTR"));
  ASSERT_TRUE(table->createIndex(u"files_FILENAME", u"FILENAME"));
  // A taken name, a name reaching outside the directory, a missing column: refused.
  for (const char16_t* name : {u"files_ATTR", u"..\\x", u"a/b", u"C:x", u"", u"..", u"."}) {
    EXPECT_FALSE(table->createIndex(name, u"FILENAME")) << std::u16string(name).size();
  }
  EXPECT_FALSE(table->createIndex(u"files_X", u"NOSUCH") || table->createIndex(nullptr, u"ATTR"));
  const Bytes byName = catalogueEntry(u"files_FILENAME", u"FILENAME");
  Bytes both = catalogueEntry(u"files_ATTR", u"ATTR");
  both.insert(both.end(), byName.begin(), byName.end());
  EXPECT_EQ(fileBytes("files_idx.dat"), both);
  table->close();
  ASSERT_TRUE(table->open());
  EXPECT_NE(table->findIndexByName(u"files_ATTR"), nullptr);
  EXPECT_EQ(table->findIndexByColumn(u"FILENAME"), table->findIndexByName(u"files_FILENAME"));
  EXPECT_EQ(table->findIndexByColumn(u"filename"), nullptr);
  table->close();

  // A new index is all empty heads. A head holds the newest record of its bucket; the older one
  // moves to a chain cell at the end.
  EXPECT_EQ(fileBytes("files_ATTR.idx"), Bytes(kHeadBytes, 0xFF));
  HashIndex raw(u"files_ATTR", dir_.drive().c_str(), u"ATTR");
  ASSERT_TRUE(raw.open());
  EXPECT_FALSE(raw.open());
  const uint32_t bucket = 4242;
  ASSERT_TRUE(raw.insert(bucket, 5));
  ASSERT_TRUE(raw.insert(bucket, 9));
  EXPECT_FALSE(raw.insert(65536, 1));
  ASSERT_TRUE(raw.close());
  EXPECT_FALSE(raw.close());
  const Bytes bytes = fileBytes("files_ATTR.idx");
  ASSERT_EQ(bytes.size(), kHeadBytes + 8u);
  EXPECT_EQ(Bytes(bytes.begin() + bucket * 8, bytes.begin() + bucket * 8 + 8),
            Bytes({9, 0, 0, 0, 0, 0, 1, 0}));
  EXPECT_EQ(Bytes(bytes.begin() + kHeadBytes, bytes.end()),
            Bytes({5, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
  HashIndex unnamed(u"x", nullptr, u"FILENAME");
  EXPECT_FALSE(unnamed.create() || unnamed.open());
  EXPECT_EQ(unnamed.indexName(), nullptr);

  // Each catalogue below names FILENAME's index or not; an entry whose file is missing, cut off,
  // foreign or outside the directory is left out. An index listed twice opens once.
  std::filesystem::remove(dir_.host("files_ATTR.idx"));
  std::filesystem::create_directory(dir_.host("sub"));
  std::filesystem::copy(dir_.host("files_FILENAME.idx"), dir_.host("sub") / "evil.idx");
  Bytes foreign = byName;
  foreign[0] = 0x6F;
  Bytes withTail = byName;
  withTail.insert(withTail.end(), {0x6E, 0x00, 0xFF, 0xFF, 0xFF, 0x7F});
  Bytes twice = byName;
  for (const char16_t* name : {u"files_FILENAME", u"FILES_filename"}) {
    const Bytes duplicate = catalogueEntry(name, u"ATTR");
    twice.insert(twice.end(), duplicate.begin(), duplicate.end());
  }
  const std::pair<Bytes, bool> catalogues[] = {
      {both, true},     {Bytes(byName.begin(), byName.end() - 3), false},   {foreign, false},
      {withTail, true}, {catalogueEntry(u"sub\\evil", u"FILENAME"), false}, {twice, true}};
  for (const auto& [catalogue, loaded] : catalogues) {
    writeBytes("files_idx.dat", catalogue);
    TraceCapture traces;
    ASSERT_TRUE(table->open());
    EXPECT_EQ(table->findIndexByColumn(u"FILENAME") != nullptr, loaded);
    EXPECT_EQ(table->findIndexByColumn(u"ATTR"), nullptr);
    EXPECT_EQ(traces.containsText("index [files_FILENAME] is listed twice"), catalogue == twice);
    table->close();
  }
  // With the index listed twice, inserts still append one cell each behind the heads.
  ASSERT_TRUE(table->open());
  for (int i = 0; i < 4; ++i) addNamed(table.get(), u"same", i);
  table->close();
  EXPECT_EQ(fileBytes("files_FILENAME.idx").size(), kHeadBytes + 3 * 8u);
  ASSERT_TRUE(table->open());
  EXPECT_EQ(seekAll(table.get(), table->findIndexByColumn(u"FILENAME"), u"SAME"),
            std::vector<uint32_t>({3, 2, 1, 0}));
  table->close();

  // Damaged chains are the damage fuzz target's ground; here one that cycles (the oldest cell
  // points back at the newest) is walked as it is, without looping, and still takes inserts. Key
  // searches compare keys as wcsCompare does.
  writeBytes("files_idx.dat", byName);
  const Bytes index = fileBytes("files_FILENAME.idx");
  Bytes cycle = index;
  putU32(&cycle, kHeadBytes + 4, 65536 + 2);
  writeBytes("files_FILENAME.idx", cycle);
  ASSERT_TRUE(table->open());
  const std::vector<uint32_t> chain =
      seekAll(table.get(), table->findIndexByName(u"files_FILENAME"), u"SAME");
  EXPECT_LE(chain.size(), 4u);
  WStringField key(u"FILENAME");
  key.setValue(u"SAME");
  EXPECT_EQ(findAll(table.get(), u"FILENAME", key, false), chain);
  EXPECT_TRUE(findAll(table.get(), u"FILENAME", key).empty());
  addNamed(table.get(), u"same", 9);
  table->close();
  // A file too short for the heads is no index.
  writeBytes("files_FILENAME.idx", Bytes(index.begin(), index.begin() + kHeadBytes - 1));
  ASSERT_TRUE(table->open());
  EXPECT_EQ(table->findIndexByName(u"files_FILENAME"), nullptr);
}

}  // namespace
