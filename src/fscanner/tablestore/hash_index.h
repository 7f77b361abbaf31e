// A hash index on one column of a table: 65,536 bucket heads, each the start of a chain of record
// numbers whose key texts hash into that bucket. The file D\I.idx is an array of 8-byte cells
// (record, next); cells 0-65,535 are the heads, chain cells are appended behind them. An index
// only narrows a search: chains also hold colliding keys and records removed since.
#ifndef FSCANNER_TABLESTORE_HASH_INDEX_H
#define FSCANNER_TABLESTORE_HASH_INDEX_H

#include <cstdint>
#include <memory>
#include <string>

#include "tablestore/chain_digest.h"
#include "tablestore/field.h"
#include "tablestore/storage_file.h"

class HashIndex {
 public:
  // Fixed so that an index never needs rehashing.
  static constexpr uint32_t kBucketCount = 65536;
  static constexpr uint32_t kCellSize = 8;
  // The record field of an empty bucket head, and the next field at the end of a chain.
  static constexpr uint32_t kNone = 0xFFFFFFFF;

  // Builds D\indexName.idx (a backslash is put after directory when it lacks one). With any
  // argument null the object has no names and can be neither created nor opened.
  HashIndex(const char16_t* indexName, const char16_t* directory, const char16_t* columnName);
  ~HashIndex();
  HashIndex(const HashIndex&) = delete;
  HashIndex& operator=(const HashIndex&) = delete;

  // Creates (or empties) the file with every bucket empty. False without names, when a file is
  // already attached, or when the file cannot be written (it is then removed again).
  bool create();
  // Opens the existing file. False without names, when a file is already attached, or when the
  // file is missing or too short to hold the bucket heads.
  bool open();
  // False when no file is attached.
  bool close();
  // The view follows the file's current length (the file written by another process).
  bool refresh();

  // Reads cell `cell`; false when no file is attached or the cell lies outside the file.
  bool readCell(uint32_t cell, uint32_t* record, uint32_t* next);
  // Enters record at the head of bucket's chain. False when no file is attached, the bucket is
  // out of range or a write fails.
  bool insert(uint32_t bucket, uint32_t record);

  // Null for an object without names.
  const char16_t* indexName() const { return named_ ? indexName_.c_str() : nullptr; }
  const char16_t* columnName() const { return named_ ? columnName_.c_str() : nullptr; }
  const char16_t* path() const { return named_ ? path_.c_str() : nullptr; }
  // This process's memory of the chains, kept by the table that searches them.
  ChainDigest& digest() { return digest_; }

 private:
  bool writeCell(uint32_t cell, uint32_t record, uint32_t next);

  std::unique_ptr<StorageFile> file_;
  bool named_ = false;
  std::u16string indexName_;
  std::u16string columnName_;
  std::u16string path_;
  ChainDigest digest_;
};

// Bucket of a key text: its wcsHash modulo kBucketCount, the low 16 bits of the hash. Null text
// hashes like the empty text.
uint32_t bucketOfKeyText(const char16_t* keyText);

// The whole 32-bit hash of a field's key text, whose low 16 bits are its bucket: the decimal
// digits of the value as unsigned 32-bit for codes 1-3 and of its low 32 bits for code 4; for a
// string its units upper-cased (a-z only), for a string without value and for a short blob the
// empty text. Builds no string.
uint32_t keyHashOfField(const Field& field);
inline uint32_t bucketOfField(const Field& field) {
  return keyHashOfField(field) & (HashIndex::kBucketCount - 1);
}

#endif  // FSCANNER_TABLESTORE_HASH_INDEX_H
