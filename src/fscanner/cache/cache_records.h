// Writing the records of a scan: a directory record, and file records through a writer that
// looks up the files table's columns once instead of by name for every file.
#ifndef FSCANNER_CACHE_CACHE_RECORDS_H
#define FSCANNER_CACHE_CACHE_RECORDS_H

#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "tablestore/field.h"
#include "tablestore/record_set.h"

// A record set's column of that name when it has that type, as T; null otherwise (no record set,
// no such column, another type). Its fields stay the same objects from record to record.
template <typename T>
T* typedColumn(RecordSet* records, const char16_t* column, uint32_t type) {
  Field* field = records != nullptr ? records->fields().findField(column) : nullptr;
  return field != nullptr && field->type() == type ? static_cast<T*>(field) : nullptr;
}

// Appends the directory record {id, name, shortName, parentId, scanTime}; false when the record
// set is missing or the append fails.
bool addDirectoryRecord(RecordSetRef& directories, uint32_t id, const char16_t* name,
                        const char16_t* shortName, uint32_t parentId, uint32_t scanTime);

// Appends the file records of one directory. A column the table lacks is left out, as the
// record set's setters by name do.
class FileRecordWriter {
 public:
  // checksums: compute CRC-32, Q32 and MD5 of every file; otherwise they are stored empty.
  FileRecordWriter(RecordSetRef& files, bool checksums);
  // Appends the record of entry, a file of directory parentId whose path is base (ending with a
  // backslash); false when the append fails.
  bool add(const platform::FindData& entry, const std::u16string& base, uint32_t parentId);

 private:
  RecordSet* records_;
  bool checksums_;
  WStringField* name_ = nullptr;
  WStringField* shortName_ = nullptr;
  Int64Field* size_ = nullptr;
  Int32Field* attributes_ = nullptr;
  Int32Field* pathId_ = nullptr;
  WStringField* md5_ = nullptr;
  Int32Field* crc32_ = nullptr;
  Int32Field* q32_ = nullptr;
};

#endif  // FSCANNER_CACHE_CACHE_RECORDS_H
