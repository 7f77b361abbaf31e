#include <iterator>
#include <string>

#include "sample_table.h"
#include "table_fixture.h"
#include "tablestore/record_codec.h"

namespace {

using platform::testing::Fault;

class TableRecordsTest : public TableFixture {};

TEST_F(TableRecordsTest, WorkedExampleIsByteExactAndRemovalOnlyTouchesCountersAndEntry) {
  const Bytes header = {0x01, 0,    0,    0,    0, 0,    0,    0,    0x02, 0,    0,    0,    0x03,
                        0,    0,    0,    0x08, 0, 0,    0,    0x41, 0,    0x54, 0,    0x54, 0,
                        0x52, 0,    0x05, 0,    0, 0,    0x10, 0,    0,    0,    0x46, 0,    0x49,
                        0,    0x4C, 0,    0x45, 0, 0x4E, 0,    0x41, 0,    0x4D, 0,    0x45, 0};
  const Bytes plainRecord = {0x00, 0x20, 0, 0, 0, 0x05, 0x00, 0x61, 0x2E, 0x74, 0x78, 0x74};
  const Bytes compactRecord = {0x00, 0x40, 0x0A, 0x61, 0x2E, 0x74, 0x78, 0x74};
  for (bool compact : {false, true}) {
    SCOPED_TRACE(compact);
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
    EXPECT_EQ(fileBytes("files.dat"), expected);
    EXPECT_EQ(fileBytes("files.pxx"), Bytes({0x34, 0, 0, 0}));

    // Two more records, the last with FILENAME null; then the middle one is removed.
    ASSERT_TRUE(table->open());
    ASSERT_TRUE(table->addRecord(record));
    FieldList nameless = table->columns();
    setInt32(&nameless, u"ATTR", 2);
    ASSERT_TRUE(table->addRecord(nameless));
    table->close();
    Bytes data = fileBytes("files.dat");
    ASSERT_TRUE(table->open());
    ASSERT_TRUE(table->removeRecord(1));
    EXPECT_FALSE(table->removeRecord(3));
    table->close();
    putU32(&data, 0, 2);  // live records
    putU32(&data, 4, 1);  // removed records
    EXPECT_EQ(fileBytes("files.dat"), data);
    const Bytes positions = fileBytes("files.pxx");
    ASSERT_EQ(positions.size(), 12u);
    EXPECT_EQ(u32At(positions, 4), 0u);
    EXPECT_EQ(data.at(u32At(positions, 8)), 0x40);  // the stored null map marks FILENAME

    ASSERT_TRUE(table->open());
    EXPECT_EQ(liveRecords(table.get()), std::vector<uint32_t>({0, 2}));
    FieldList back = table->columns();
    ASSERT_TRUE(table->readRecord(2, &back));
    EXPECT_FALSE(back.at(1)->isNull());  // a read clears every null mark
    EXPECT_EQ(static_cast<WStringField*>(back.at(1))->length(), 0u);
    EXPECT_EQ(static_cast<Int32Field*>(back.at(0))->value(), 2);

    // Only a plain update that keeps the string lengths stays in place; others move the record
    // to the next number.
    uint32_t current = 0;
    uint32_t moves = 0;
    for (const std::u16string name : {u"b.txt", u"bc.txt"}) {
      setString(&record, u"FILENAME", name);
      setInt32(&record, u"ATTR", static_cast<int32_t>(name.size()));
      ASSERT_TRUE(table->updateRecord(current, record));
      if (compact || name.size() != 5) {
        EXPECT_FALSE(table->readRecord(current, &back));
        current = 3 + moves++;
      }
      ASSERT_TRUE(table->readRecord(current, &back));
      EXPECT_EQ(encode(back, compact), encode(record, compact));
    }
    EXPECT_FALSE(table->updateRecord(9, record));              // never assigned
    EXPECT_FALSE(!compact && table->updateRecord(1, record));  // removed (a compact one moves)
    table->close();
    data = fileBytes("files.dat");
    EXPECT_EQ(u32At(data, 0), 2u);
    EXPECT_EQ(u32At(data, 4), 1 + moves);
    EXPECT_EQ(fileBytes("files.pxx").size(), 4u * (current + 1));
  }
}

// Records survive reopening in a new object; refused and failed writes change no byte. After
// damage that leaves the table readable (hostile files in general are the damage fuzzer's), an
// append is stored whole and numbered after the last complete entry.
TEST_F(TableRecordsTest, RecordsSurviveReopeningFailedWritesChangeNoByteAndAppendsAfterDamage) {
  constexpr uint32_t kRecords = 1500;
  constexpr uint32_t kRemoved = 10;
  for (bool compact : {false, true}) {
    SCOPED_TRACE(compact);
    auto table = makeTable(compact);
    ASSERT_TRUE(createSampleTable(table.get(), kRecords, false) && table->removeRecord(kRemoved));
    table = makeTable(compact);  // closes the files: reopened below in a new object
    const std::string files[] = {"files.dat", "files.pxx", "files_FILENAME.idx", "files_SIZE.idx"};
    std::vector<Bytes> before;
    for (const std::string& file : files) before.push_back(fileBytes(file));
    ASSERT_TRUE(table->open());
    const std::vector<uint32_t> live = liveRecords(table.get());
    ASSERT_EQ(live.size(), kRecords - 1);
    FieldList expected = table->columns();
    FieldList back = table->columns();
    for (uint32_t i = 0; i < live.size(); ++i) {
      ASSERT_EQ(live[i], i < kRemoved ? i : i + 1);
      ASSERT_TRUE(table->readRecord(live[i], &back));
      fillSampleRecord(&expected, live[i]);
      ASSERT_EQ(encode(back, compact), encode(expected, compact)) << "record " << live[i];
    }
    fillSampleRecord(&expected, 1);
    setString(&expected, u"SHORTNAME", std::u16string(21846, u'\u0800'));  // 65,538 bytes: too long
    EXPECT_FALSE(table->addRecord(expected) || table->updateRecord(0, expected) ||
                 table->removeRecord(kRecords));
    EXPECT_EQ(table->writeFailures(), 0u);                            // refusals, not failed writes
    setString(&expected, u"SHORTNAME", std::u16string(40000, u'q'));  // the file must grow
    platform::testing::injectFault(Fault::kFileSetSize, platform::kErrorDiskFull);
    EXPECT_FALSE(table->addRecord(expected));
    EXPECT_EQ(table->writeFailures(), 1u);
    platform::testing::injectFault(Fault::kFileSetSize, platform::kErrorDiskFull);
    EXPECT_FALSE(table->updateRecord(0, expected));
    EXPECT_GE(table->writeFailures(), 2u);
    EXPECT_EQ(liveRecords(table.get()), live);
    table->close();
    for (size_t i = 0; i < std::size(files); ++i) EXPECT_EQ(fileBytes(files[i]), before[i]) << i;

    const Bytes data = fileBytes("files.dat");
    const Bytes positions = fileBytes("files.pxx");
    const std::pair<Bytes, Bytes> damaged[] = {
        {data, Bytes(positions.begin(), positions.end() - 1)},           // partial last entry
        {Bytes(data.begin(), data.end() - 3), positions},                // last record cut off
        {data, Bytes(positions.begin(), positions.begin() + 4 * 2 + 3)}  // three entries left
    };
    for (const auto& [records, entries] : damaged) {
      writeBytes("files.dat", records);
      writeBytes("files.pxx", entries);
      ASSERT_TRUE(table->open());
      fillSampleRecord(&expected, 1234);
      uint32_t number = 0;
      ASSERT_TRUE(table->addRecord(expected, &number));
      EXPECT_EQ(number, entries.size() / 4);
      ASSERT_TRUE(table->readRecord(number, &back));
      EXPECT_EQ(encode(back, compact), encode(expected, compact));
      table->close();
    }
  }
}

FieldList oneField(uint32_t type) {
  FieldList fields;
  fields.addField(u"V", type);
  return fields;
}

// Compact numbers are varints (their bytes are the base suite's); plain ones little-endian.
TEST(RecordCodecTest, NumbersNullMapsAndStringsEncodeByteExactly) {
  FieldList fields = oneField(FIELD_INT32);
  static_cast<Int32Field*>(fields.at(0))->setValue(-1);
  EXPECT_EQ(encode(fields, true), Bytes({0x00, 0x1F, 0xFF, 0xFF, 0xFF, 0xFE}));
  EXPECT_EQ(encode(fields, false), Bytes({0x00, 0xFF, 0xFF, 0xFF, 0xFF}));

  // The null map marks null columns, most significant bit first.
  FieldList nine;
  for (int i = 0; i < 9; ++i) nine.addField(u"N", FIELD_BYTE);
  EXPECT_EQ(encode(nine, false), Bytes({0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  static_cast<ByteField*>(nine.at(0))->setValue(1);
  static_cast<ByteField*>(nine.at(2))->setValue(3);
  static_cast<ByteField*>(nine.at(8))->setValue(9);
  EXPECT_EQ(encode(nine, false), Bytes({0x5F, 0x00, 1, 0, 3, 0, 0, 0, 0, 0, 9}));

  // Strings encode each UTF-16 unit on its own, up to the length limit.
  fields = oneField(FIELD_WSTRING);
  auto* text = static_cast<WStringField*>(fields.at(0));
  text->setValue(u"\u00E9");
  EXPECT_EQ(encode(fields, false), Bytes({0x00, 0x02, 0x00, 0xC3, 0xA9}));
  text->setValue(u"");
  EXPECT_EQ(encode(fields, false), Bytes({0x00, 0x00, 0x00}));
  EXPECT_EQ(encode(fields, true), Bytes({0x00, 0x00}));

  // A surrogate pair is two three-byte sequences, and decodes back to the same two units.
  const char16_t units[] = {0xD83D, 0xDE00, u'\u0800', u'\u07FF', u'\u007F'};
  uint8_t bytes[32];
  size_t count = encodeStringUnits(units, 5, bytes);
  EXPECT_EQ(Bytes(bytes, bytes + count),
            Bytes({0xED, 0xA0, 0xBD, 0xED, 0xB8, 0x80, 0xE0, 0xA0, 0x80, 0xDF, 0xBF, 0x7F}));
  char16_t back[32];
  ASSERT_EQ(decodeStringUnits(bytes, count, back), 5u);
  EXPECT_EQ(std::u16string(back, 5), std::u16string(units, 5));
  // A sequence cut off by the end of the text takes only what is there.
  EXPECT_EQ(decodeStringUnits(bytes, 1, back), 1u);
  EXPECT_EQ(back[0], 0xD);

  text->setValue(std::u16string(21845, u'\u0800').c_str());  // exactly 65,535 bytes, the limit
  EXPECT_EQ(encode(fields, false).size(), 1u + 2u + 65535u);
}

}  // namespace
