// Shared set-up of the table tests: a temporary directory, raw access to the table's files, and
// helpers that set, read, encode and walk records.
#ifndef FSCANNER_TESTS_TABLESTORE_TABLE_FIXTURE_H
#define FSCANNER_TESTS_TABLESTORE_TABLE_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform_testing.h"
#include "support/file_bytes.h"
#include "support/temp_dir.h"
#include "tablestore/table.h"

inline Bytes encode(const FieldList& fields, bool compact) {
  ByteBuffer buffer;
  uint32_t size = 0;
  EXPECT_TRUE(encodeRecord(fields, nullMapBytes(fields.count()), compact, &buffer, &size));
  return Bytes(buffer.data(), buffer.data() + size);
}

class TableFixture : public ::testing::Test {
 protected:
  // Walks give up here, so that a walk that never ends fails instead of hanging.
  static constexpr size_t kWalkLimit = 100000;

  void TearDown() override { platform::testing::clearFaults(); }

  std::unique_ptr<Table> makeTable(bool compact, const char16_t* name = u"files") {
    return std::make_unique<Table>(name, dir_.drive().c_str(), compact);
  }
  // A created table with ATTR (Int32) and FILENAME (string), as in the worked example.
  std::unique_ptr<Table> makeExampleTable(bool compact) {
    auto table = makeTable(compact);
    EXPECT_TRUE(table->addColumn(u"ATTR", FIELD_INT32));
    EXPECT_TRUE(table->addColumn(u"FILENAME", FIELD_WSTRING));
    EXPECT_TRUE(table->create());
    return table;
  }

  Bytes fileBytes(const std::string& name) const { return readBytes(dir_.host(name)); }
  void writeBytes(const std::string& name, const Bytes& bytes) const {
    ::writeBytes(dir_.host(name), bytes);
  }
  static uint32_t u32At(const Bytes& bytes, size_t offset) {
    return bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 |
           static_cast<uint32_t>(bytes[offset + 3]) << 24;
  }
  static void putU32(Bytes* bytes, size_t offset, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) bytes->at(offset + i) = static_cast<uint8_t>(value >> (8 * i));
  }

  static void setInt32(FieldList* fields, const char16_t* name, int32_t value) {
    static_cast<Int32Field*>(fields->findField(name))->setValue(value);
  }
  static void setString(FieldList* fields, const char16_t* name, const std::u16string& value) {
    static_cast<WStringField*>(fields->findField(name))->setValue(value.c_str());
  }

  // Every live record number, in walk order.
  static std::vector<uint32_t> liveRecords(Table* table) {
    std::vector<uint32_t> live;
    uint32_t record = 0;
    for (bool more = table->firstLiveRecord(&record); more && live.size() < kWalkLimit;
         more = table->nextLiveRecord(record, &record)) {
      live.push_back(record);
    }
    return live;
  }
  // Every live record the index yields for keyText, in chain order.
  static std::vector<uint32_t> seekAll(Table* table, HashIndex* index, const char16_t* keyText) {
    std::vector<uint32_t> found;
    uint32_t record = 0;
    uint32_t cursor = 0;
    for (bool more = table->indexSeek(index, keyText, &record, &cursor);
         more && found.size() < kWalkLimit; more = table->indexNext(index, &record, &cursor)) {
      found.push_back(record);
    }
    return found;
  }

  // Every record indexFind yields for key on column's index, in chain order.
  static std::vector<uint32_t> findAll(Table* table, const char16_t* column, const Field& key,
                                       bool caseSensitive = true) {
    std::vector<uint32_t> found;
    FieldList fields = table->columns();
    for (uint32_t record = 0, cursor = 0;
         found.size() < kWalkLimit && table->indexFind(table->findIndexByColumn(column), key,
                                                       caseSensitive, &fields, &record, &cursor);) {
      found.push_back(record);
    }
    return found;
  }

  TempDir dir_;
};

#endif  // FSCANNER_TESTS_TABLESTORE_TABLE_FIXTURE_H
