// The files table as the cache builds it, for the table-store benchmarks: eight columns
// (FILENAME, SHORTFILENAME, ATTR, SIZE, PATHID, MD5, CRC32, Q32), optionally its three indexes on
// FILENAME, SHORTFILENAME and PATHID, and records whose names are all distinct.
#ifndef FSCANNER_BENCH_FILES_TABLE_H
#define FSCANNER_BENCH_FILES_TABLE_H

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "tablestore/table.h"

namespace files_table {

// The record count every figure is taken at.
constexpr uint32_t kRecords = 1000000;
// Files per directory: PATHID changes every this many records.
constexpr uint32_t kFilesPerDirectory = 50;

enum Column : uint32_t { kFileName, kShortFileName, kAttr, kSize, kPathId, kMd5, kCrc32, kQ32 };

struct IndexDefinition {
  const char16_t* suffix;  // the index is named after the table plus this suffix
  const char16_t* column;
};
constexpr IndexDefinition kIndexes[] = {
    {u"_FILENAME", u"FILENAME"}, {u"_SHORTFILENAME", u"SHORTFILENAME"}, {u"_PATHID", u"PATHID"}};

// The temporary directory, drive-qualified.
inline std::u16string directory() {
  std::u16string drive;
  platform::driveQualifiedPath(std::filesystem::temp_directory_path().string(), &drive);
  return drive;
}

// A table name of this process, so that concurrent runs do not share files.
inline std::u16string tableName(const char16_t* purpose) {
  std::string pid = std::to_string(platform::currentProcessId());
  return u"fscanner_bench_" + std::u16string(purpose) + u"_" +
         std::u16string(pid.begin(), pid.end());
}

// Host path of one of the table's files, for sizes and clean-up.
inline std::filesystem::path hostFile(const std::u16string& table, const std::u16string& suffix) {
  std::u16string name = table + suffix;
  return std::filesystem::temp_directory_path() / std::string(name.begin(), name.end());
}

// Removes every file a table of that name may have.
inline void removeFiles(const std::u16string& table) {
  std::error_code ignored;
  for (const char16_t* suffix : {u".dat", u".pxx", u"_idx.dat"}) {
    std::filesystem::remove(hostFile(table, suffix), ignored);
  }
  for (const auto& index : kIndexes) {
    std::filesystem::remove(hostFile(table + index.suffix, u".idx"), ignored);
  }
}

// A new, empty files table; with its indexes when `indexed`. Null when it cannot be made.
inline std::unique_ptr<Table> create(const std::u16string& name, bool compact, bool indexed) {
  auto table = std::make_unique<Table>(name.c_str(), directory().c_str(), compact);
  const struct {
    const char16_t* name;
    uint32_t type;
  } columns[] = {{u"FILENAME", FIELD_WSTRING}, {u"SHORTFILENAME", FIELD_WSTRING},
                 {u"ATTR", FIELD_INT32},       {u"SIZE", FIELD_INT64},
                 {u"PATHID", FIELD_INT32},     {u"MD5", FIELD_WSTRING},
                 {u"CRC32", FIELD_INT32},      {u"Q32", FIELD_INT32}};
  for (const auto& column : columns) table->addColumn(column.name, column.type);
  if (!table->create()) return nullptr;
  if (indexed) {
    for (const auto& index : kIndexes) {
      if (!table->createIndex((name + index.suffix).c_str(), index.column)) return nullptr;
    }
  }
  return table;
}

// Writes the decimal digits of value into out; returns their count.
inline size_t putDigits(uint32_t value, char16_t* out) {
  char16_t reversed[10];
  size_t count = 0;
  do {
    reversed[count++] = static_cast<char16_t>(u'0' + value % 10);
    value /= 10;
  } while (value != 0);
  for (size_t i = 0; i < count; ++i) out[i] = reversed[count - 1 - i];
  return count;
}

// The FILENAME of record i: "report_<i>_final_version.docx".
inline std::u16string fileName(uint32_t i) {
  char16_t digits[10];
  size_t count = putDigits(i, digits);
  return u"report_" + std::u16string(digits, count) + u"_final_version.docx";
}

// Sets record i's values, as the cache would for a file.
inline void fill(FieldList* record, uint32_t i) {
  char16_t name[64] = u"report_";
  size_t length = 7;
  length += putDigits(i, name + length);
  for (const char16_t* tail = u"_final_version.docx"; *tail != 0; ++tail) name[length++] = *tail;
  static_cast<WStringField*>(record->at(kFileName))->setValue(name, length);

  char16_t shortName[13] = u"REPORT~";
  size_t shortLength = 7 + putDigits(i % 100000, shortName + 7);
  static_cast<WStringField*>(record->at(kShortFileName))->setValue(shortName, shortLength);
  static_cast<Int32Field*>(record->at(kAttr))->setValue(0x20);
  static_cast<Int64Field*>(record->at(kSize))->setValue(static_cast<int64_t>(i) * 4099);
  static_cast<Int32Field*>(record->at(kPathId))
      ->setValue(static_cast<int32_t>(i / kFilesPerDirectory));
  static_cast<WStringField*>(record->at(kMd5))->setValue(u"");
  static_cast<Int32Field*>(record->at(kCrc32))->setValue(0);
  static_cast<Int32Field*>(record->at(kQ32))->setValue(static_cast<int32_t>(i));
}

}  // namespace files_table

#endif  // FSCANNER_BENCH_FILES_TABLE_H
