// Hash indexes of Table: creating and filling them, the index catalogue N_idx.dat, keeping them
// current as records are added, and walking a bucket's chain to the live records in it.
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "ZrLogWrapper.h"
#include "base/wstring.h"
#include "tablestore/file_io.h"
#include "tablestore/mapped_file.h"
#include "tablestore/table.h"

namespace {

// Marks a catalogue entry that describes a hash index.
constexpr uint16_t kHashIndexMarker = 110;
constexpr uint32_t kMarkerSize = 2;
constexpr uint32_t kLengthSize = 4;

// An index file lies in the table's directory: its name must not reach elsewhere, whether it
// comes from a caller or from a damaged catalogue.
bool isPlainFileName(const char16_t* name) {
  if (name == nullptr || *name == u'\0') return false;
  for (const char16_t* unit = name; *unit != u'\0'; ++unit) {
    if (*unit == u'\\' || *unit == u'/' || *unit == u':') return false;
  }
  return !(name[0] == u'.' && (name[1] == u'\0' || (name[1] == u'.' && name[2] == u'\0')));
}

void appendName(std::vector<uint8_t>* out, const char16_t* name) {
  uint32_t units = static_cast<uint32_t>(wcsLength(name));
  size_t at = out->size();
  out->resize(at + kLengthSize + 2 * units);
  storeU32(out->data() + at, 2 * units);
  for (uint32_t i = 0; i < units; ++i) storeU16(out->data() + at + kLengthSize + 2 * i, name[i]);
}

// Reads a length-prefixed name; false when the entry is cut off or its length is odd.
bool readName(StorageFile* file, uint32_t size, std::u16string* name) {
  uint8_t length[kLengthSize];
  if (file->read(length, kLengthSize) != kLengthSize) return false;
  uint32_t bytes = loadU32(length);
  if (bytes % 2 != 0 || bytes > size - file->tell()) return false;
  name->resize(bytes / 2);
  for (char16_t& unit : *name) {
    uint8_t pair[2];
    file->read(pair, 2);
    unit = loadU16(pair);
  }
  return true;
}

// A chain runs from its head to ever older cells, which were appended earlier and so have lower
// numbers; anything else is damage, and ends the chain so that a walk always terminates.
uint32_t checkedNext(uint32_t cell, uint32_t next) {
  bool fromHead = cell < HashIndex::kBucketCount;
  bool valid = next >= HashIndex::kBucketCount && (fromHead || next < cell);
  return valid ? next : HashIndex::kNone;
}

}  // namespace

HashIndex* Table::findIndexByColumn(const char16_t* columnName) const {
  if (columnName == nullptr) return nullptr;
  for (const auto& index : indexes_) {
    if (wcsCompare(index->columnName(), columnName, true) == 0) return index.get();
  }
  return nullptr;
}

HashIndex* Table::findIndexByName(const char16_t* indexName) const {
  return indexNamed(indexName, true);
}

HashIndex* Table::indexNamed(const char16_t* indexName, bool caseSensitive) const {
  if (indexName == nullptr) return nullptr;
  for (const auto& index : indexes_) {
    if (wcsCompare(index->indexName(), indexName, caseSensitive) == 0) return index.get();
  }
  return nullptr;
}

bool Table::createIndex(const char16_t* indexName, const char16_t* columnName) {
  if (!isOpen() || !isPlainFileName(indexName) || columnName == nullptr ||
      findIndexByName(indexName) != nullptr) {
    return false;
  }
  Field* column = columns_.findField(columnName);
  if (column == nullptr || column->type() == FIELD_SHORT_BLOB) return false;
  std::unique_ptr<HashIndex> index(new (std::nothrow)
                                       HashIndex(indexName, directory_.c_str(), columnName));
  if (index == nullptr || !index->create()) return false;

  FieldList record = columns_;
  Field* value = record.findField(columnName);
  uint32_t number = 0;
  for (bool more = firstLiveRecord(&number); more; more = nextLiveRecord(number, &number)) {
    // A record damaged beyond reading cannot be keyed; the others still are.
    if (!readRecord(number, &record)) continue;
    if (!index->insert(bucketOfField(*value), number)) return false;
  }
  indexes_.push_back(std::move(index));
  writeCatalogue();
  return true;
}

void Table::writeCatalogue() {
  std::vector<uint8_t> bytes;
  for (const auto& index : indexes_) {
    size_t at = bytes.size();
    bytes.resize(at + kMarkerSize);
    storeU16(bytes.data() + at, kHashIndexMarker);
    appendName(&bytes, index->indexName());
    appendName(&bytes, index->columnName());
  }
  MappedFile catalogue(cataloguePath_.c_str());
  if (!catalogue.create()) return;
  catalogue.write(bytes.data(), static_cast<uint32_t>(bytes.size()));
  catalogue.close();
}

void Table::loadCatalogue() {
  MappedFile catalogue(cataloguePath_.c_str());
  if (!catalogue.open()) return;
  uint32_t size = dataSize(&catalogue);
  seekTo(&catalogue, 0);
  std::u16string indexName;
  std::u16string columnName;
  while (catalogue.tell() < size) {
    uint8_t marker[kMarkerSize];
    if (catalogue.read(marker, kMarkerSize) != kMarkerSize ||
        !readName(&catalogue, size, &indexName) || !readName(&catalogue, size, &columnName)) {
      break;
    }
    if (loadU16(marker) != kHashIndexMarker || !isPlainFileName(indexName.c_str())) continue;
    // Two objects on one file would append over each other: the first entry wins. Names that
    // differ only in case name one file where the file system folds case.
    if (indexNamed(indexName.c_str(), false) != nullptr) {
      getZrLogFs()->traceMAX(__LINE__, __FILE__, "open",
                             "Table::open - index [%S] is listed twice in [%S]; the later entry "
                             "is ignored\n",
                             indexName.c_str(), cataloguePath_.c_str());
      continue;
    }
    std::unique_ptr<HashIndex> index(
        new (std::nothrow) HashIndex(indexName.c_str(), directory_.c_str(), columnName.c_str()));
    if (index != nullptr && index->open()) indexes_.push_back(std::move(index));
  }
  catalogue.close();
}

bool Table::enterIntoIndexes(const FieldList& fields, uint32_t record) {
  for (const auto& index : indexes_) {
    const Field* field = fields.findField(index->columnName());
    if (field == nullptr) return false;
    if (field->isNull()) continue;
    if (!index->insert(bucketOfField(*field), record)) return false;
  }
  return true;
}

bool Table::indexSeek(HashIndex* index, const char16_t* keyText, uint32_t* record,
                      uint32_t* cursor) {
  if (positions_ == nullptr || index == nullptr || record == nullptr || cursor == nullptr) {
    return false;
  }
  uint32_t bucket = bucketOfKeyText(keyText);
  uint32_t head = HashIndex::kNone;
  uint32_t next = HashIndex::kNone;
  if (!index->readCell(bucket, &head, &next)) return false;
  *cursor = checkedNext(bucket, next);
  if (head == HashIndex::kNone) return false;
  uint32_t entry = kRemovedEntry;
  if (!readPositionEntry(head, &entry)) return false;
  if (entry != kRemovedEntry) {
    *record = head;
    return true;
  }
  return indexNext(index, record, cursor);
}

bool Table::indexNext(HashIndex* index, uint32_t* record, uint32_t* cursor) {
  if (positions_ == nullptr || index == nullptr || record == nullptr || cursor == nullptr) {
    return false;
  }
  while (*cursor != HashIndex::kNone) {
    uint32_t cell = *cursor;
    uint32_t candidate = HashIndex::kNone;
    uint32_t next = HashIndex::kNone;
    if (cell < HashIndex::kBucketCount || !index->readCell(cell, &candidate, &next)) {
      *cursor = HashIndex::kNone;
      return false;
    }
    *cursor = checkedNext(cell, next);
    uint32_t entry = kRemovedEntry;
    if (!readPositionEntry(candidate, &entry)) return false;
    if (entry != kRemovedEntry) {
      *record = candidate;
      return true;
    }
  }
  return false;
}
