// A table's removed records and the index cells they hold are never reclaimed in place: a table
// that changes all the time is rewritten whole instead, as a copy of its live records.
#include <cstring>

#include "platform/platform.h"
#include "tablestore/file_io.h"
#include "tablestore/table.h"

bool Table::writeCompactedCopy(const char16_t* directory, std::vector<std::u16string>* copied) {
  copied->clear();
  if (!isOpen()) return false;
  Table copy(name_.c_str(), directory, compact_);
  for (uint32_t i = 0; i < columns_.count(); ++i) {
    if (!copy.addColumn(columns_.at(i)->name(), columns_.at(i)->type())) return false;
  }
  bool written = copy.create();
  for (size_t i = 0; written && i < indexes_.size(); ++i) {
    written = copy.createIndex(indexes_[i]->indexName(), indexes_[i]->columnName());
  }
  FieldList fields = columns_;
  uint32_t size = 0;
  const uint8_t* data = records_->dataView(&size);
  uint32_t number = 0;
  for (bool more = written && firstLiveRecord(&number); more && written;
       more = nextLiveRecord(number, &number)) {
    uint32_t offset = kRemovedEntry;
    if (!readPositionEntry(number, &offset) || offset == kRemovedEntry || offset > size) continue;
    RecordReader reader(data + offset, size - offset);
    if (!decodeRecord(&reader, nullMapSize_, compact_, &fields)) continue;
    // The bytes are copied as they are, null map included; the null marks, which decoding
    // clears, decide again which indexes the record enters.
    const uint32_t length = static_cast<uint32_t>(reader.position() - (data + offset));
    for (uint32_t i = 0; i < fields.count(); ++i) {
      fields.at(i)->setNull((data[offset + i / 8] & (0x80u >> (i % 8))) != 0);
    }
    uint8_t* bytes = copy.encoded_.reserve(length);
    written = bytes != nullptr;
    if (written) {
      std::memcpy(bytes, data + offset, length);
      written = copy.appendEncoded(fields, length, nullptr);
    }
  }
  const std::vector<std::u16string> paths = copy.filePaths();
  copy.close();
  if (!written) {
    for (const std::u16string& path : paths) platform::removeFile(path.c_str());
    return false;
  }
  *copied = paths;
  return true;
}

std::vector<std::u16string> Table::filePaths() const {
  std::vector<std::u16string> paths{recordPath_, positionPath_, cataloguePath_};
  for (const auto& index : indexes_) paths.emplace_back(index->path());
  return paths;
}

void Table::identifyRecordFile() {
  recordFileIdentified_ = platform::fileIdentity(recordPath_.c_str(), &recordFileIdentity_);
}

bool Table::replacedOnDisk() const {
  if (!isOpen()) return false;
  platform::FileIdentity now;
  return !recordFileIdentified_ || !platform::fileIdentity(recordPath_.c_str(), &now) ||
         now != recordFileIdentity_;
}
