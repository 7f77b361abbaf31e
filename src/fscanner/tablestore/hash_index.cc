#include "tablestore/hash_index.h"

#include <vector>

#include "base/wstring.h"
#include "platform/platform.h"
#include "tablestore/file_io.h"
#include "tablestore/mapped_file.h"

namespace {

constexpr uint32_t kHeadBytes = HashIndex::kBucketCount * HashIndex::kCellSize;
constexpr char16_t kIndexSuffix[] = u".idx";

uint32_t hashOfNumber(uint32_t value) {
  char16_t digits[kUintToWideMinCapacity];
  uint32_t hash = 0;
  for (const char16_t* unit = uintToWide(value, digits); *unit != u'\0'; ++unit) {
    hash = wcsHashStep(hash, *unit);
  }
  return wcsHashStep(hash, u'\0');
}

}  // namespace

HashIndex::HashIndex(const char16_t* indexName, const char16_t* directory,
                     const char16_t* columnName) {
  if (indexName == nullptr || directory == nullptr || columnName == nullptr) return;
  named_ = true;
  indexName_ = indexName;
  columnName_ = columnName;
  path_ = directory;
  if (path_.empty() || path_.back() != u'\\') path_ += u'\\';
  path_ += indexName_ + kIndexSuffix;
}

HashIndex::~HashIndex() { close(); }

bool HashIndex::create() {
  if (!named_ || file_ != nullptr) return false;
  file_ = newMappedFile(path_.c_str());
  if (file_ == nullptr) return false;
  if (!file_->create()) {
    file_.reset();
    return false;
  }
  const std::vector<uint8_t> emptyHeads(kHeadBytes, 0xFF);
  if (file_->write(emptyHeads.data(), kHeadBytes) != kHeadBytes) {
    close();
    platform::removeFile(path_.c_str());
    return false;
  }
  return true;
}

bool HashIndex::open() {
  if (!named_ || file_ != nullptr) return false;
  file_ = newMappedFile(path_.c_str());
  if (file_ == nullptr) return false;
  if (!file_->open() || dataSize(file_.get()) < kHeadBytes) {
    close();
    return false;
  }
  return true;
}

bool HashIndex::close() {
  if (file_ == nullptr) return false;
  file_->close();
  file_.reset();
  return true;
}

bool HashIndex::refresh() { return file_ != nullptr && file_->refresh(); }

bool HashIndex::readCell(uint32_t cell, uint32_t* record, uint32_t* next) {
  if (file_ == nullptr) return false;
  uint32_t size = 0;
  const uint8_t* cells = file_->dataView(&size);
  if (cell >= size / kCellSize) return false;
  const uint8_t* bytes = cells + static_cast<size_t>(cell) * kCellSize;
  *record = loadU32(bytes);
  *next = loadU32(bytes + 4);
  return true;
}

bool HashIndex::writeCell(uint32_t cell, uint32_t record, uint32_t next) {
  uint8_t bytes[kCellSize];
  storeU32(bytes, record);
  storeU32(bytes + 4, next);
  return seekTo(file_.get(), cell * kCellSize) && file_->write(bytes, kCellSize) == kCellSize;
}

bool HashIndex::insert(uint32_t bucket, uint32_t record) {
  uint32_t headRecord = kNone;
  uint32_t headNext = kNone;
  if (bucket >= kBucketCount || !readCell(bucket, &headRecord, &headNext)) return false;
  if (headRecord == kNone) return writeCell(bucket, record, headNext);
  // The head moves to a new cell at the end; a partial cell left by damage is overwritten.
  uint32_t cell = dataSize(file_.get()) / kCellSize;
  return writeCell(cell, headRecord, headNext) && writeCell(bucket, record, cell);
}

uint32_t bucketOfKeyText(const char16_t* keyText) {
  // The remainder by a power of two, made non-negative, is the low bits of the hash.
  return static_cast<uint32_t>(wcsHash(keyText, static_cast<int32_t>(HashIndex::kBucketCount)));
}

uint32_t keyHashOfField(const Field& field) {
  switch (field.type()) {
    case FIELD_BYTE:
      return hashOfNumber(static_cast<const ByteField&>(field).value());
    case FIELD_WORD:
      return hashOfNumber(static_cast<const WordField&>(field).value());
    case FIELD_INT32:
      return hashOfNumber(static_cast<uint32_t>(static_cast<const Int32Field&>(field).value()));
    case FIELD_INT64:
      return hashOfNumber(static_cast<uint32_t>(static_cast<const Int64Field&>(field).value()));
    case FIELD_WSTRING: {
      const auto& string = static_cast<const WStringField&>(field);
      uint32_t hash = 0;
      for (size_t i = 0; i < string.length(); ++i) {
        hash = wcsHashStep(hash, toUpperChar(string.value()[i]));
      }
      return wcsHashStep(hash, u'\0');
    }
    default:
      return wcsHashStep(0, u'\0');
  }
}
