// Key searches of Table: an index chain walked as indexSeek and indexNext walk it, with the
// records whose key hash differs from the key's passed over through the index's ChainDigest.
#include <new>
#include <vector>

#include "base/wstring.h"
#include "tablestore/file_io.h"
#include "tablestore/table.h"

namespace {

// Numbers as the criteria read them: Int32 unsigned, Int64 signed.
bool numericValue(const Field& field, int64_t* value) {
  switch (field.type()) {
    case FIELD_BYTE:
      *value = static_cast<const ByteField&>(field).value();
      return true;
    case FIELD_WORD:
      *value = static_cast<const WordField&>(field).value();
      return true;
    case FIELD_INT32:
      *value = static_cast<uint32_t>(static_cast<const Int32Field&>(field).value());
      return true;
    case FIELD_INT64:
      *value = static_cast<const Int64Field&>(field).value();
      return true;
    default:
      return false;
  }
}

bool sameValue(const Field& stored, const Field& key, bool caseSensitive) {
  if (stored.type() == FIELD_WSTRING || key.type() == FIELD_WSTRING) {
    if (stored.type() != key.type()) return false;
    const auto& a = static_cast<const WStringField&>(stored);
    const auto& b = static_cast<const WStringField&>(key);
    return a.length() == b.length() && wcsCompare(a.value(), b.value(), caseSensitive) == 0;
  }
  int64_t a = 0;
  int64_t b = 0;
  return numericValue(stored, &a) && numericValue(key, &b) && a == b;
}

// A chain runs to ever older cells (see indexNext); anything else ends it.
uint32_t checkedNext(uint32_t cell, uint32_t next) {
  bool fromHead = cell < HashIndex::kBucketCount;
  bool valid = next >= HashIndex::kBucketCount && (fromHead || next < cell);
  return valid ? next : HashIndex::kNone;
}

}  // namespace

// Adds the chain's next step, read from the index and the record file in the order indexSeek and
// indexNext visit the chain, with the key hash of column `column` when the record reads into
// fields. False when the chain has ended or memory runs out (the chain is then as it was). kept:
// chain is an entry of the index's digest.
bool Table::extendChain(HashIndex* index, uint32_t bucket, uint32_t column,
                        ChainDigest::Chain* chain, bool kept, FieldList* fields) {
  uint32_t cell = chain->started ? chain->resume : bucket;
  uint32_t record = HashIndex::kNone;
  uint32_t next = HashIndex::kNone;
  bool read = cell != HashIndex::kNone && index->readCell(cell, &record, &next) &&
              (chain->started || record != HashIndex::kNone);
  if (!read) {
    chain->started = true;
    chain->resume = HashIndex::kNone;
    return false;
  }
  ChainDigest::Step step{record, 0, kRemovedEntry, false};
  readPositionEntry(record, &step.offset);
  step.known = readRecord(record, fields);
  if (step.known) step.keyHash = keyHashOfField(*fields->at(column));
  if (kept) {
    if (!index->digest().append(chain, step)) return false;
  } else {
    try {
      chain->steps.push_back(step);
    } catch (const std::bad_alloc&) {
      return false;
    }
  }
  chain->started = true;
  chain->resume = checkedNext(cell, next);
  return true;
}

bool Table::indexFind(HashIndex* index, const Field& key, bool caseSensitive, FieldList* fields,
                      uint32_t* record, uint32_t* cursor) {
  if (!isOpen() || index == nullptr || fields == nullptr || record == nullptr ||
      cursor == nullptr || fields->count() != columns_.count()) {
    return false;
  }
  uint32_t column = 0;
  while (column < columns_.count() &&
         wcsCompare(columns_.at(column)->name(), index->columnName(), true) != 0) {
    ++column;
  }
  if (column == columns_.count()) return false;
  uint32_t keyHash = keyHashOfField(key);
  uint32_t bucket = keyHash & (HashIndex::kBucketCount - 1);
  uint32_t head = HashIndex::kNone;
  uint32_t next = HashIndex::kNone;
  index->digest().prefetch(bucket);
  if (!index->readCell(bucket, &head, &next)) return false;
  ChainDigest::Chain* chain = index->digest().chain(bucket, head, next, digestGeneration_);
  const bool kept = chain != nullptr;
  if (!kept) {
    // Without room in the digest the chain is walked afresh.
    unkeptChain_.steps.clear();
    unkeptChain_.started = false;
    chain = &unkeptChain_;
  }
  uint32_t dataSize = 0;
  const uint8_t* data = records_->dataView(&dataSize);
  // True while fields hold the record of the step at the cursor, read as it was added.
  bool inFields = false;
  for (;;) {
    if (*cursor >= chain->steps.size()) {
      if (!extendChain(index, bucket, column, chain, kept, fields)) return false;
      inFields = chain->steps.back().known;
      continue;
    }
    const bool read = inFields;
    inFields = false;
    const ChainDigest::Step& step = chain->steps[(*cursor)++];
    if (step.known && step.keyHash != keyHash) continue;
    // The record's bytes are fetched while its position entry is read.
    if (step.offset < dataSize) prefetchForRead(data + step.offset);
    uint32_t entry = kRemovedEntry;
    if (!readPositionEntry(step.record, &entry)) return false;
    if (entry == kRemovedEntry) continue;
    if (!read && !readRecord(step.record, fields)) return false;
    if (sameValue(*fields->at(column), key, caseSensitive)) {
      *record = step.record;
      return true;
    }
  }
}
