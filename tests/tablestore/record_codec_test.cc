#include "tablestore/record_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes varint(uint64_t value) {
  uint8_t out[10];
  return Bytes(out, out + putVarint(value, out));
}

Bytes encode(const FieldList& fields, bool compact) {
  ByteBuffer buffer;
  uint32_t size = 0;
  EXPECT_TRUE(encodeRecord(fields, nullMapBytes(fields.count()), compact, &buffer, &size));
  return Bytes(buffer.data(), buffer.data() + size);
}

FieldList oneField(uint32_t type) {
  FieldList fields;
  fields.addField(u"V", type);
  return fields;
}

TEST(RecordCodecTest, VariableLengthNumbersCutSevenBitGroupsMostSignificantFirst) {
  EXPECT_EQ(varint(0), Bytes({0x00}));
  EXPECT_EQ(varint(127), Bytes({0xFE}));
  EXPECT_EQ(varint(128), Bytes({0x03, 0x00}));
  EXPECT_EQ(varint(300), Bytes({0x05, 0x58}));
  EXPECT_EQ(varint(UINT64_MAX).size(), 10u);

  FieldList fields = oneField(FIELD_INT32);
  static_cast<Int32Field*>(fields.at(0))->setValue(-1);
  EXPECT_EQ(encode(fields, true), Bytes({0x00, 0x1F, 0xFF, 0xFF, 0xFF, 0xFE}));
  EXPECT_EQ(encode(fields, false), Bytes({0x00, 0xFF, 0xFF, 0xFF, 0xFF}));
  static_cast<Int32Field*>(fields.at(0))->setValue(0);
  EXPECT_EQ(encode(fields, true), Bytes({0x00, 0x00}));
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
  const char16_t pair[] = {0xD83D, 0xDE00, u'\u0800', u'\u07FF', u'\u007F', 0};
  uint8_t bytes[32];
  size_t count = encodeStringUnits(pair, 5, bytes);
  EXPECT_EQ(Bytes(bytes, bytes + count),
            Bytes({0xED, 0xA0, 0xBD, 0xED, 0xB8, 0x80, 0xE0, 0xA0, 0x80, 0xDF, 0xBF, 0x7F}));
  EXPECT_EQ(encodedStringLength(pair, 5), count);
  char16_t back[32];
  ASSERT_EQ(decodeStringUnits(bytes, count, back), 5u);
  EXPECT_EQ(std::u16string(back, 5), std::u16string(pair, 5));

  // A sequence cut off by the end of the text takes only what is there.
  EXPECT_EQ(decodeStringUnits(bytes, 1, back), 1u);
  EXPECT_EQ(back[0], 0xD);
}

TEST(RecordCodecTest, NullMapMarksNullColumnsMostSignificantBitFirst) {
  FieldList fields;
  for (const char16_t* name : {u"A", u"B", u"C"}) fields.addField(name, FIELD_BYTE);
  static_cast<ByteField*>(fields.at(0))->setValue(1);
  static_cast<ByteField*>(fields.at(2))->setValue(3);
  EXPECT_EQ(encode(fields, false), Bytes({0x40, 0x01, 0x00, 0x03}));

  FieldList nine;
  for (int i = 0; i < 9; ++i) nine.addField(u"N", FIELD_BYTE);
  EXPECT_EQ(nullMapBytes(9), 2u);
  EXPECT_EQ(encode(nine, false), Bytes({0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(RecordCodecTest, StringsPastTheLengthLimitAreRefused) {
  FieldList fields = oneField(FIELD_WSTRING);
  auto* text = static_cast<WStringField*>(fields.at(0));
  ByteBuffer buffer;
  uint32_t size = 0;
  // 21,845 three-byte units are exactly 65,535 bytes.
  text->setValue(std::u16string(21845, u'\u0800').c_str());
  EXPECT_TRUE(encodeRecord(fields, 1, false, &buffer, &size));
  EXPECT_EQ(size, 1u + 2u + 65535u);
  text->setValue(std::u16string(21846, u'\u0800').c_str());
  EXPECT_FALSE(encodeRecord(fields, 1, false, &buffer, &size));
  text->setValue(std::u16string(65536, u'a').c_str());
  EXPECT_FALSE(encodeRecord(fields, 1, true, &buffer, &size));
  text->setValue(std::u16string(1000000, u'a').c_str());
  EXPECT_FALSE(encodeRecord(fields, 1, true, &buffer, &size));
}

TEST(FieldTest, FieldsCopyNameValueAndNullMark) {
  FieldList list;
  EXPECT_FALSE(list.addField(nullptr, FIELD_BYTE));
  EXPECT_FALSE(list.addField(u"X", 0));
  EXPECT_FALSE(list.addField(u"X", 7));
  for (uint32_t type = FIELD_BYTE; type <= FIELD_SHORT_BLOB; ++type) {
    ASSERT_TRUE(list.addField(u"F", type));
    EXPECT_TRUE(list.at(type - 1)->isNull());
  }
  EXPECT_EQ(list.findField(u"F"), list.at(0));
  EXPECT_EQ(list.findField(u"f"), nullptr);

  auto* text = static_cast<WStringField*>(list.at(4));
  std::u16string longText(300, u'z');
  text->setValue(longText.c_str());
  EXPECT_EQ(text->valueSize(), 606u);
  static_cast<Int64Field*>(list.at(3))->setValue(1u, 2u);
  const uint8_t blob[] = {2, 7, 8};
  static_cast<ShortBlobField*>(list.at(5))->setValue(blob);

  FieldList copy = list;
  ASSERT_EQ(copy.count(), 6u);
  EXPECT_TRUE(copy.at(0)->isNull());
  EXPECT_EQ(std::u16string(static_cast<WStringField*>(copy.at(4))->value()), longText);
  EXPECT_FALSE(copy.at(4)->isNull());
  EXPECT_EQ(static_cast<Int64Field*>(copy.at(3))->value(), 0x200000001LL);
  EXPECT_EQ(copy.at(5)->valueSize(), 3u);

  text->setValue(nullptr);
  EXPECT_EQ(text->value(), nullptr);
  EXPECT_EQ(text->valueSize(), 6u);
  WStringField unnamed;
  unnamed.setValue(u"x");
  EXPECT_TRUE(unnamed.isNull());
  EXPECT_EQ(std::u16string(unnamed.value()), u"");
}

}  // namespace
