#include "tablestore/record_codec.h"

#include <string>

#include "table_fixture.h"

namespace {

FieldList oneField(uint32_t type) {
  FieldList fields;
  fields.addField(u"V", type);
  return fields;
}

TEST(RecordCodecTest, VariableLengthNumbersCutSevenBitGroupsMostSignificantFirst) {
  const std::pair<uint64_t, Bytes> cases[] = {
      {0, {0x00}}, {127, {0xFE}}, {128, {0x03, 0x00}}, {300, {0x05, 0x58}}};
  uint8_t out[10];
  for (const auto& [value, bytes] : cases) {
    EXPECT_EQ(Bytes(out, out + putVarint(value, out)), bytes) << value;
  }
  EXPECT_EQ(putVarint(UINT64_MAX, out), 10u);

  FieldList fields = oneField(FIELD_INT32);
  static_cast<Int32Field*>(fields.at(0))->setValue(-1);
  EXPECT_EQ(encode(fields, true), Bytes({0x00, 0x1F, 0xFF, 0xFF, 0xFF, 0xFE}));
  EXPECT_EQ(encode(fields, false), Bytes({0x00, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(RecordCodecTest, StringsEncodeEachUnitOnItsOwn) {
  FieldList fields = oneField(FIELD_WSTRING);
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
}

TEST(RecordCodecTest, NullMapMarksNullColumnsMostSignificantBitFirst) {
  FieldList fields;
  for (int i = 0; i < 9; ++i) fields.addField(u"N", FIELD_BYTE);
  EXPECT_EQ(encode(fields, false), Bytes({0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  static_cast<ByteField*>(fields.at(0))->setValue(1);
  static_cast<ByteField*>(fields.at(2))->setValue(3);
  static_cast<ByteField*>(fields.at(8))->setValue(9);
  EXPECT_EQ(encode(fields, false), Bytes({0x5F, 0x00, 1, 0, 3, 0, 0, 0, 0, 0, 9}));
}

TEST(RecordCodecTest, StringsPastTheLengthLimitAreRefused) {
  FieldList fields = oneField(FIELD_WSTRING);
  auto* text = static_cast<WStringField*>(fields.at(0));
  text->setValue(std::u16string(21845, u'\u0800').c_str());  // exactly 65,535 bytes
  EXPECT_EQ(encode(fields, false).size(), 1u + 2u + 65535u);
  ByteBuffer buffer;
  uint32_t size = 0;
  text->setValue(std::u16string(21846, u'\u0800').c_str());
  EXPECT_FALSE(encodeRecord(fields, 1, false, &buffer, &size));
  text->setValue(std::u16string(65536, u'a').c_str());
  EXPECT_FALSE(encodeRecord(fields, 1, true, &buffer, &size));
}

}  // namespace
