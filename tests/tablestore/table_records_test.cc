#include <random>
#include <string>

#include "table_fixture.h"

namespace {

using platform::testing::Fault;

class TableRecordsTest : public TableFixture {
 protected:
  // Files-table-like schema with every stored type.
  std::unique_ptr<Table> makeWideTable(bool compact) {
    auto table = makeTable(compact);
    EXPECT_TRUE(table->addColumn(u"FILENAME", FIELD_WSTRING));
    EXPECT_TRUE(table->addColumn(u"ATTR", FIELD_INT32));
    EXPECT_TRUE(table->addColumn(u"SIZE", FIELD_INT64));
    EXPECT_TRUE(table->addColumn(u"FLAGS", FIELD_BYTE));
    EXPECT_TRUE(table->addColumn(u"KIND", FIELD_WORD));
    EXPECT_TRUE(table->addColumn(u"MD5", FIELD_WSTRING));
    EXPECT_TRUE(table->create());
    return table;
  }
  // Deterministic values for record i, covering long, non-ASCII and empty strings.
  static void fillRecord(FieldList* fields, uint32_t i) {
    std::u16string name = u"file" + std::u16string(1, char16_t(0x00E0 + i % 64)) +
                          std::u16string(i % 200, char16_t(u'a' + i % 26));
    if (i % 17 == 0) name += u"\U0001F600\u4E2D";
    setString(fields, u"FILENAME", name);
    setInt32(fields, u"ATTR", static_cast<int32_t>(i * 2654435761u));
    static_cast<Int64Field*>(fields->findField(u"SIZE"))
        ->setValue(static_cast<int64_t>((i * 0xFFFE797Dull) << (i % 30)));
    static_cast<ByteField*>(fields->findField(u"FLAGS"))->setValue(static_cast<uint8_t>(i));
    static_cast<WordField*>(fields->findField(u"KIND"))->setValue(static_cast<uint16_t>(i * 7));
    setString(fields, u"MD5", i % 3 == 0 ? u"" : u"d41d8cd98f00b204e9800998ecf8427e");
  }
  static bool sameValues(const FieldList& a, const FieldList& b) {
    return stringOf(a, u"FILENAME") == stringOf(b, u"FILENAME") &&
           int32Of(a, u"ATTR") == int32Of(b, u"ATTR") &&
           static_cast<Int64Field*>(a.findField(u"SIZE"))->value() ==
               static_cast<Int64Field*>(b.findField(u"SIZE"))->value() &&
           static_cast<ByteField*>(a.findField(u"FLAGS"))->value() ==
               static_cast<ByteField*>(b.findField(u"FLAGS"))->value() &&
           static_cast<WordField*>(a.findField(u"KIND"))->value() ==
               static_cast<WordField*>(b.findField(u"KIND"))->value() &&
           stringOf(a, u"MD5") == stringOf(b, u"MD5");
  }
  // Walks every live record and reads it; the number of records read, or -1 on a failed read.
  static int walkAndRead(Table* table, uint32_t limit) {
    FieldList fields = table->columns();
    uint32_t record = 0;
    int count = 0;
    for (bool more = table->firstLiveRecord(&record); more && count <= static_cast<int>(limit);
         more = table->nextLiveRecord(record, &record)) {
      if (!table->readRecord(record, &fields)) return -1;
      ++count;
    }
    return count;
  }
};

TEST_F(TableRecordsTest, WorkedExampleIsByteExact) {
  const Bytes header = {0x01, 0,    0,    0,    0, 0,    0,    0,    0x02, 0,    0,    0,    0x03,
                        0,    0,    0,    0x08, 0, 0,    0,    0x41, 0,    0x54, 0,    0x54, 0,
                        0x52, 0,    0x05, 0,    0, 0,    0x10, 0,    0,    0,    0x46, 0,    0x49,
                        0,    0x4C, 0,    0x45, 0, 0x4E, 0,    0x41, 0,    0x4D, 0,    0x45, 0};
  const Bytes plainRecord = {0x00, 0x20, 0, 0, 0, 0x05, 0x00, 0x61, 0x2E, 0x74, 0x78, 0x74};
  const Bytes compactRecord = {0x00, 0x40, 0x0A, 0x61, 0x2E, 0x74, 0x78, 0x74};
  for (bool compact : {false, true}) {
    auto table = makeExampleTable(compact);
    FieldList record = table->columns();
    setInt32(&record, u"ATTR", 0x20);
    setString(&record, u"FILENAME", u"a.txt");
    uint32_t number = 99;
    ASSERT_TRUE(table->addRecord(record, &number));
    EXPECT_EQ(number, 0u);
    table->close();

    Bytes expected = header;
    const Bytes& body = compact ? compactRecord : plainRecord;
    expected.insert(expected.end(), body.begin(), body.end());
    EXPECT_EQ(fileBytes("files.dat"), expected) << "compact " << compact;
    EXPECT_EQ(fileBytes("files.pxx"), Bytes({0x34, 0, 0, 0}));
  }
}

TEST_F(TableRecordsTest, RemovalOnlyTouchesTheCountersAndThePositionEntry) {
  auto table = makeExampleTable(false);
  FieldList record = table->columns();
  for (int i = 0; i < 3; ++i) {
    setInt32(&record, u"ATTR", i);
    ASSERT_TRUE(table->addRecord(record));
  }
  table->close();
  Bytes before = fileBytes("files.dat");
  ASSERT_TRUE(table->open());
  ASSERT_TRUE(table->removeRecord(1));
  EXPECT_FALSE(table->removeRecord(3));
  EXPECT_FALSE(table->readRecord(1, &record));
  table->close();

  Bytes after = fileBytes("files.dat");
  EXPECT_EQ(u32At(after, 0), 2u);
  EXPECT_EQ(u32At(after, 4), 1u);
  EXPECT_TRUE(std::equal(before.begin() + 8, before.end(), after.begin() + 8));
  Bytes positions = fileBytes("files.pxx");
  ASSERT_EQ(positions.size(), 12u);
  EXPECT_EQ(u32At(positions, 4), 0u);

  ASSERT_TRUE(table->open());
  uint32_t number = 0;
  ASSERT_TRUE(table->firstLiveRecord(&number));
  EXPECT_EQ(number, 0u);
  ASSERT_TRUE(table->nextLiveRecord(number, &number));
  EXPECT_EQ(number, 2u);
  EXPECT_FALSE(table->nextLiveRecord(number, &number));
  ASSERT_TRUE(table->readRecord(2, &record));
  EXPECT_EQ(int32Of(record, u"ATTR"), 2);
}

TEST_F(TableRecordsTest, ReadsClearEveryNullMark) {
  auto table = makeExampleTable(false);
  FieldList record = table->columns();
  setString(&record, u"FILENAME", u"only the name");
  ASSERT_TRUE(table->addRecord(record));
  FieldList back = table->columns();
  ASSERT_TRUE(table->readRecord(0, &back));
  EXPECT_FALSE(back.at(0)->isNull());
  EXPECT_FALSE(back.at(1)->isNull());
  EXPECT_EQ(int32Of(back, u"ATTR"), 0);
  EXPECT_EQ(stringOf(back, u"FILENAME"), u"only the name");

  table->close();
  EXPECT_EQ(fileBytes("files.dat")[52], 0x80);  // the stored null map keeps ATTR null
}

TEST_F(TableRecordsTest, PlainUpdatesStayInPlaceUnlessAStringChangesLength) {
  auto table = makeExampleTable(false);
  FieldList record = table->columns();
  setString(&record, u"FILENAME", u"ab");
  ASSERT_TRUE(table->addRecord(record));

  setString(&record, u"FILENAME", u"cd");
  setInt32(&record, u"ATTR", 7);
  ASSERT_TRUE(table->updateRecord(0, record));
  FieldList back = table->columns();
  ASSERT_TRUE(table->readRecord(0, &back));
  EXPECT_EQ(stringOf(back, u"FILENAME"), u"cd");
  EXPECT_EQ(int32Of(back, u"ATTR"), 7);

  setString(&record, u"FILENAME", u"efg");
  ASSERT_TRUE(table->updateRecord(0, record));
  EXPECT_FALSE(table->readRecord(0, &back));
  ASSERT_TRUE(table->readRecord(1, &back));
  EXPECT_EQ(stringOf(back, u"FILENAME"), u"efg");
  EXPECT_FALSE(table->updateRecord(0, record));  // removed by the move
  EXPECT_FALSE(table->updateRecord(5, record));  // never assigned
  table->close();
  Bytes data = fileBytes("files.dat");
  EXPECT_EQ(u32At(data, 0), 1u);
  EXPECT_EQ(u32At(data, 4), 1u);
  EXPECT_EQ(fileBytes("files.pxx").size(), 8u);
}

TEST_F(TableRecordsTest, CompactUpdatesAlwaysMove) {
  auto table = makeExampleTable(true);
  FieldList record = table->columns();
  setString(&record, u"FILENAME", u"ab");
  ASSERT_TRUE(table->addRecord(record));
  setInt32(&record, u"ATTR", 1);
  ASSERT_TRUE(table->updateRecord(0, record));
  EXPECT_FALSE(table->readRecord(0, &record));
  ASSERT_TRUE(table->readRecord(1, &record));
  EXPECT_EQ(int32Of(record, u"ATTR"), 1);
  EXPECT_FALSE(table->updateRecord(7, record));
  table->close();
  EXPECT_EQ(fileBytes("files.pxx").size(), 8u);
}

TEST_F(TableRecordsTest, OverlongStringsAreRefusedWithoutWritingAnything) {
  for (bool compact : {false, true}) {
    auto table = makeExampleTable(compact);
    FieldList record = table->columns();
    setString(&record, u"FILENAME", u"short");
    ASSERT_TRUE(table->addRecord(record));
    setString(&record, u"FILENAME", std::u16string(65536, u'x'));
    EXPECT_FALSE(table->addRecord(record));
    EXPECT_FALSE(table->updateRecord(0, record));
    table->close();
    EXPECT_EQ(fileBytes("files.pxx").size(), 4u);
    EXPECT_EQ(u32At(fileBytes("files.dat"), 0), 1u);
    ASSERT_TRUE(table->open());
    ASSERT_TRUE(table->readRecord(0, &record));
    EXPECT_EQ(stringOf(record, u"FILENAME"), u"short");
  }
}

TEST_F(TableRecordsTest, RecordsSurviveReopeningInANewObject) {
  constexpr uint32_t kRecords = 1500;
  for (bool compact : {false, true}) {
    {
      auto table = makeWideTable(compact);
      FieldList record = table->columns();
      for (uint32_t i = 0; i < kRecords; ++i) {
        fillRecord(&record, i);
        ASSERT_TRUE(table->addRecord(record));
      }
      ASSERT_TRUE(table->removeRecord(10));
    }
    auto table = makeTable(compact);
    ASSERT_TRUE(table->open());
    FieldList expected = table->columns();
    FieldList back = table->columns();
    uint32_t number = 0;
    uint32_t visited = 0;
    for (bool more = table->firstLiveRecord(&number); more;
         more = table->nextLiveRecord(number, &number)) {
      ASSERT_NE(number, 10u);
      ASSERT_TRUE(table->readRecord(number, &back));
      fillRecord(&expected, number);
      ASSERT_TRUE(sameValues(back, expected)) << "record " << number;
      ++visited;
    }
    EXPECT_EQ(visited, kRecords - 1);
  }
}

TEST_F(TableRecordsTest, FailedWritesLoseNothingStored) {
  auto table = makeWideTable(false);
  FieldList record = table->columns();
  fillRecord(&record, 1);
  ASSERT_TRUE(table->addRecord(record));
  std::u16string big(40000, u'q');  // passes the spare capacity: the file must grow
  setString(&record, u"FILENAME", big);
  platform::testing::injectFault(Fault::kFileSetSize, platform::kErrorDiskFull);
  EXPECT_FALSE(table->addRecord(record));
  platform::testing::injectFault(Fault::kFileSetSize, platform::kErrorDiskFull);
  EXPECT_FALSE(table->updateRecord(0, record));
  FieldList expected = table->columns();
  fillRecord(&expected, 1);
  ASSERT_TRUE(table->readRecord(0, &record));
  EXPECT_TRUE(sameValues(record, expected));
  uint32_t number = 0;
  ASSERT_TRUE(table->firstLiveRecord(&number));
  EXPECT_FALSE(table->nextLiveRecord(number, &number));
}

TEST_F(TableRecordsTest, DamagedFilesFailOrReadSomethingButNeverCrash) {
  for (bool compact : {false, true}) {
    {
      auto table = makeWideTable(compact);
      FieldList record = table->columns();
      for (uint32_t i = 0; i < 60; ++i) {
        fillRecord(&record, i);
        ASSERT_TRUE(table->addRecord(record));
      }
    }
    const Bytes data = fileBytes("files.dat");
    const Bytes positions = fileBytes("files.pxx");
    const uint32_t headerSize = u32At(positions, 0);  // the first record follows the header
    std::mt19937 random(compact ? 7 : 3);
    for (int round = 0; round < 200; ++round) {
      Bytes badData = data;
      Bytes badPositions = positions;
      switch (round % 5) {
        case 0:  // truncate the records
          badData.resize(random() % data.size());
          break;
        case 1:  // truncate the positions mid-entry
          badPositions.resize(random() % positions.size());
          break;
        case 2:  // flip bytes in the records
          for (int i = 0; i < 8; ++i) {
            badData[headerSize + random() % (data.size() - headerSize)] ^= 1u << (random() % 8);
          }
          break;
        case 3:  // point positions anywhere
          for (int i = 0; i < 4; ++i) badPositions[random() % positions.size()] = random() % 256;
          break;
        case 4:  // garbage appended to both
          for (int i = 0; i < 37; ++i) {
            badData.push_back(0xFF);
            badPositions.push_back(static_cast<uint8_t>(random()));
          }
          break;
      }
      writeBytes("files.dat", badData);
      writeBytes("files.pxx", badPositions);
      auto table = makeTable(compact);
      if (!table->open()) continue;
      uint32_t entries = static_cast<uint32_t>(badPositions.size() / 4);
      EXPECT_LE(walkAndRead(table.get(), entries), static_cast<int>(entries));
      FieldList record = table->columns();
      for (uint32_t i = 0; i < entries + 2; ++i) table->readRecord(i, &record);

      // An append after the damage is stored and read back intact.
      FieldList fresh = table->columns();
      fillRecord(&fresh, 1234);
      uint32_t number = 0;
      ASSERT_TRUE(table->addRecord(fresh, &number)) << "round " << round;
      ASSERT_TRUE(table->readRecord(number, &record));
      EXPECT_TRUE(sameValues(record, fresh));
    }
  }
}

}  // namespace
