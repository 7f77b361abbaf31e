// A table with a column of every stored type, for the table tests and the damage fuzz target:
// records whose values differ by number, and indexes over FILENAME, ATTR and SIZE.
#ifndef FSCANNER_TESTS_TABLESTORE_SAMPLE_TABLE_H
#define FSCANNER_TESTS_TABLESTORE_SAMPLE_TABLE_H

#include <cstdint>
#include <string>
#include <utility>

#include "tablestore/table.h"

struct SampleIndex {
  const char16_t* suffix;  // after the table's name
  const char16_t* column;
  uint32_t type;
};
inline constexpr SampleIndex kSampleIndexes[] = {{u"_FILENAME", u"FILENAME", FIELD_WSTRING},
                                                 {u"_ATTR", u"ATTR", FIELD_INT32},
                                                 {u"_SIZE", u"SIZE", FIELD_INT64}};

// Sets every field of record from n, so that records differ, strings take one-, two- and
// three-byte encodings and some values are long enough to leave a field's built-in buffer. With
// nulls, one field of every fourth record is null.
inline void fillSampleRecord(FieldList* record, uint32_t n, bool withNulls = false) {
  std::u16string text = u"file" + std::u16string(n % 3, u'\u00e9') + u"_" +
                        std::u16string(1, static_cast<char16_t>(u'a' + n % 26));
  if (n % 11 == 0) text += std::u16string(150, u'\u4e2d');
  if (n % 13 == 0) text.clear();
  const uint8_t blob[4] = {3, static_cast<uint8_t>(n), 2, 1};
  for (uint32_t i = 0; i < record->count(); ++i) {
    Field* f = record->at(i);
    const uint32_t type = f->type();
    if (type == FIELD_BYTE) static_cast<ByteField*>(f)->setValue(static_cast<uint8_t>(n * 7));
    if (type == FIELD_WORD) static_cast<WordField*>(f)->setValue(static_cast<uint16_t>(n * 300));
    if (type == FIELD_INT32) {
      static_cast<Int32Field*>(f)->setValue(n % 5 == 0 ? -1 : static_cast<int32_t>(n % 7));
    }
    if (type == FIELD_INT64) {
      static_cast<Int64Field*>(f)->setValue(static_cast<int64_t>(n) << (n % 40));
    }
    if (type == FIELD_WSTRING) static_cast<WStringField*>(f)->setValue(text.c_str());
    if (type == FIELD_SHORT_BLOB) static_cast<ShortBlobField*>(f)->setValue(blob);
  }
  if (withNulls && n % 4 == 1 && record->count() > 0) {
    record->at(n % record->count())->setNull(true);
  }
}

// Adds the columns (TAG, a short blob, only withBlob) to a new table object, creates the table and
// its indexes and adds records 0 to count - 1; false at the first failure.
inline bool createSampleTable(Table* table, uint32_t count, bool withBlob, bool withNulls = false) {
  const std::pair<const char16_t*, uint32_t> columns[] = {
      {u"FILENAME", FIELD_WSTRING}, {u"FLAGS", FIELD_BYTE}, {u"KIND", FIELD_WORD},
      {u"ATTR", FIELD_INT32},       {u"SIZE", FIELD_INT64}, {u"TAG", FIELD_SHORT_BLOB},
      {u"SHORTNAME", FIELD_WSTRING}};
  for (const auto& [name, type] : columns) {
    if ((type != FIELD_SHORT_BLOB || withBlob) && !table->addColumn(name, type)) return false;
  }
  if (!table->create()) return false;
  for (const SampleIndex& index : kSampleIndexes) {
    const std::u16string name = std::u16string(table->name()) + index.suffix;
    if (!table->createIndex(name.c_str(), index.column)) return false;
  }
  FieldList record = table->columns();
  for (uint32_t n = 0; n < count; ++n) {
    fillSampleRecord(&record, n, withNulls);
    if (!table->addRecord(record)) return false;
  }
  return true;
}

#endif  // FSCANNER_TESTS_TABLESTORE_SAMPLE_TABLE_H
