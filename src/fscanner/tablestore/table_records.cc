// Record operations of Table: read, add, update and remove by record number, and the walk over
// the live record numbers of the position file.
#include "tablestore/file_io.h"
#include "tablestore/table.h"

namespace {

constexpr uint32_t kLiveCountOffset = 0;
constexpr uint32_t kRemovedCountOffset = 4;

}  // namespace

bool Table::readPositionEntry(uint32_t record, uint32_t* entry) {
  uint32_t size = 0;
  const uint8_t* entries = positions_->dataView(&size);
  if (record >= size / kPositionEntrySize) return false;
  *entry = loadU32(entries + static_cast<size_t>(record) * kPositionEntrySize);
  return true;
}

bool Table::readRecord(uint32_t record, FieldList* fields) {
  return readStored(record, fields, nullptr);
}

bool Table::readRecordPart(uint32_t record, const ColumnPlan& plan, FieldList* fields,
                           PartialRecord* part) {
  const uint8_t* data = nullptr;
  uint32_t size = 0;
  if (fields == nullptr || part == nullptr || !storedData(record, &data, &size)) return false;
  RecordReader reader(data, size);
  return part->read(&reader, nullMapSize_, plan, fields);
}

// Reads the record and, when stringBytes is given, the stored byte length of each string.
bool Table::readStored(uint32_t record, FieldList* fields, std::vector<uint32_t>* stringBytes) {
  const uint8_t* data = nullptr;
  uint32_t size = 0;
  if (fields == nullptr || !storedData(record, &data, &size)) return false;
  RecordReader reader(data, size);
  return decodeRecord(&reader, nullMapSize_, compact_, fields, stringBytes);
}

// The record's data: from its start to the end of the record file.
bool Table::storedData(uint32_t record, const uint8_t** data, uint32_t* size) {
  if (!isOpen()) return false;
  uint32_t offset = kRemovedEntry;
  uint32_t fileSize = 0;
  const uint8_t* file = records_->dataView(&fileSize);
  if (!readPositionEntry(record, &offset) || offset == kRemovedEntry || offset > fileSize) {
    return false;
  }
  *data = file + offset;
  *size = fileSize - offset;
  return true;
}

bool Table::addRecord(const FieldList& fields, uint32_t* record) {
  if (!isOpen()) return false;
  uint32_t size = 0;
  if (!encodeRecord(fields, nullMapSize_, compact_, &encoded_, &size)) return false;
  return counted(appendEncoded(fields, size, record));
}

bool Table::counted(bool written) {
  if (!written) ++writeFailures_;
  return written;
}

// Appends the record held in encoded_. The data goes first and its position entry second, so an
// interrupted append never leaves an entry that points past the data.
bool Table::appendEncoded(const FieldList& fields, uint32_t size, uint32_t* record) {
  uint32_t offset = dataSize(records_.get());
  // A damaged position file may end in a partial entry: the new entry replaces it.
  uint32_t number = dataSize(positions_.get()) / kPositionEntrySize;
  if (records_->write(encoded_.data(), size) != size ||
      !writeU32At(positions_.get(), number * kPositionEntrySize, offset)) {
    return false;
  }
  if (record != nullptr) *record = number;
  bool counted = addCounter(kLiveCountOffset, 1);
  bool indexed = enterIntoIndexes(fields, number);
  return counted && indexed;
}

bool Table::recordCounts(uint32_t* assigned, uint32_t* live) {
  if (!isOpen()) return false;
  *assigned = dataSize(positions_.get()) / kPositionEntrySize;
  return readU32At(records_.get(), kLiveCountOffset, live);
}

bool Table::removeRecord(uint32_t record) {
  uint32_t entry = kRemovedEntry;
  if (!isOpen() || !readPositionEntry(record, &entry)) return false;
  if (!writeU32At(positions_.get(), record * kPositionEntrySize, kRemovedEntry)) {
    return counted(false);
  }
  bool live = addCounter(kLiveCountOffset, -1);
  bool removed = addCounter(kRemovedCountOffset, 1);
  return counted(live && removed);
}

bool Table::updateRecord(uint32_t record, const FieldList& fields) {
  if (!isOpen()) return false;
  uint32_t size = 0;
  if (!encodeRecord(fields, nullMapSize_, compact_, &encoded_, &size)) return false;
  if (compact_) return counted(moveRecord(record, fields, size));
  stored_ = fields;
  if (!readStored(record, &stored_, &storedStringBytes_)) return counted(false);
  if (!storedLengthsMatch(fields)) return counted(moveRecord(record, fields, size));
  ++digestGeneration_;
  uint32_t offset = kRemovedEntry;
  return counted(readPositionEntry(record, &offset) && seekTo(records_.get(), offset) &&
                 records_->write(encoded_.data(), size) == size);
}

// The new copy is appended before the old one is removed, so a failed append loses nothing.
bool Table::moveRecord(uint32_t record, const FieldList& fields, uint32_t size) {
  uint32_t entry = kRemovedEntry;
  if (!readPositionEntry(record, &entry)) return false;
  return appendEncoded(fields, size, nullptr) && removeRecord(record);
}

// True when every string of fields encodes to as many bytes as the stored one (in
// storedStringBytes_): the new record then has exactly the size of the stored one and can
// overwrite it. The stored length counts, not that of its decoded text: damaged text may decode
// to units that encode longer.
bool Table::storedLengthsMatch(const FieldList& fields) const {
  size_t string = 0;
  for (uint32_t i = 0; i < fields.count(); ++i) {
    if (fields.at(i)->type() != FIELD_WSTRING) continue;
    const auto* next = static_cast<const WStringField*>(fields.at(i));
    if (string >= storedStringBytes_.size() ||
        encodedStringLength(next->value(), next->length()) != storedStringBytes_[string++]) {
      return false;
    }
  }
  return true;
}

bool Table::firstLiveRecord(uint32_t* record) {
  if (positions_ == nullptr || record == nullptr) return false;
  return nextLiveEntry(0, record);
}

bool Table::nextLiveRecord(uint32_t after, uint32_t* record) {
  if (positions_ == nullptr || record == nullptr) return false;
  return nextLiveEntry(static_cast<uint64_t>(after) + 1, record);
}

// The first live entry from entry `from` on; false at the end of the file (a partial last entry
// counts as the end).
bool Table::nextLiveEntry(uint64_t from, uint32_t* record) {
  uint32_t size = 0;
  const uint8_t* entries = positions_->dataView(&size);
  uint32_t count = size / kPositionEntrySize;
  for (uint64_t number = from; number < count; ++number) {
    if (loadU32(entries + number * kPositionEntrySize) != kRemovedEntry) {
      *record = static_cast<uint32_t>(number);
      return true;
    }
  }
  return false;
}
