// The byte form of one record: a null map, then every column's value in column order. Plain
// tables store integers with fixed widths and string lengths as u16; compact tables store both as
// variable-length numbers. String text is each UTF-16 unit encoded on its own as UTF-8.
#ifndef FSCANNER_TABLESTORE_RECORD_CODEC_H
#define FSCANNER_TABLESTORE_RECORD_CODEC_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "tablestore/field.h"

// Longest encoded string text; its length must fit the u16 of a plain record.
constexpr uint32_t kMaxStringBytes = 65535;
// Null maps are built in a buffer of this size, which bounds a table at 256 columns.
constexpr uint32_t kMaxNullMapBytes = 32;
// Most bytes one UTF-16 unit takes when encoded.
constexpr size_t kMaxBytesPerUnit = 3;

// A byte buffer that only grows and is reused from record to record.
class ByteBuffer {
 public:
  // Makes room for at least size bytes (the contents are not kept); returns the start, or null
  // (the buffer unchanged) when memory runs out.
  uint8_t* reserve(size_t size);
  uint8_t* data() { return bytes_.get(); }

 private:
  std::unique_ptr<uint8_t[]> bytes_;
  size_t capacity_ = 0;
};

// Bytes that text takes when each unit is encoded on its own.
size_t encodedStringLength(const char16_t* text, size_t length);

// Encodes length units of text into out (room for kMaxBytesPerUnit bytes per unit); returns the
// bytes written.
size_t encodeStringUnits(const char16_t* text, size_t length, uint8_t* out);

// Decodes count bytes into out (room for count units); returns the units written. Every sequence
// becomes one unit: the lead byte's high bits say how many continuation bytes follow (none below
// 0xC0, one below 0xE0, otherwise two). A sequence cut off by the end of the input takes the
// bytes that are there, so damaged text decodes to something without reading past count.
size_t decodeStringUnits(const uint8_t* bytes, size_t count, char16_t* out);

// Writes value as a variable-length number at out (room for kMaxVarintBytes); returns its size.
size_t putVarint(uint64_t value, uint8_t* out);

// Bytes of the null map for a table of columnCount columns.
inline uint32_t nullMapBytes(uint32_t columnCount) { return (columnCount + 7) / 8; }

// Encodes fields as one record into out and stores its size. False, with nothing usable in out,
// when a string's encoded text would pass kMaxStringBytes or memory runs out. Short-blob fields
// encode nothing.
bool encodeRecord(const FieldList& fields, uint32_t nullMapSize, bool compact, ByteBuffer* out,
                  uint32_t* size);

// Reads a record in place from a file's data (StorageFile::dataView), from a start offset to the
// end of the data. Never reads past it.
class RecordReader {
 public:
  RecordReader(const uint8_t* data, uint32_t size) : next_(data), end_(data + size) {}
  // The next count bytes, consumed; null when the data ends first.
  const uint8_t* take(uint32_t count) {
    if (static_cast<size_t>(end_ - next_) < count) return nullptr;
    const uint8_t* taken = next_;
    next_ += count;
    return taken;
  }
  // The next variable-length number; false when the data ends first or it is too long.
  bool takeVarint(uint64_t* value) {
    // A number below 128, such as most string lengths, is one byte whose low bit is clear.
    if (next_ != end_ && (*next_ & 1) == 0) {
      *value = *next_++ >> 1;
      return true;
    }
    return takeLongVarint(value);
  }
  // Where the next take starts.
  const uint8_t* position() const { return next_; }

 private:
  bool takeLongVarint(uint64_t* value);

  const uint8_t* next_;
  const uint8_t* end_;
};

// Decodes the record at the reader into fields, by each field's type code. Each field's null mark
// is first taken from the null map and then cleared by its setter. False when the data ends early
// or a field has a type code outside 1-5; fields already read keep their new values.
// stringBytes, when given, receives the stored byte length of each string in column order.
bool decodeRecord(RecordReader* reader, uint32_t nullMapSize, bool compact, FieldList* fields,
                  std::vector<uint32_t>* stringBytes = nullptr);

// A record decoded in part: a filter that reads a few columns decides most records without the
// others. read() checks the whole record as decodeRecord does and decodes only the wanted columns;
// decodeRest() decodes the others from the same data, which must stay mapped and unchanged
// meanwhile.
class PartialRecord {
 public:
  // Reads the record at the reader into fields, decoding column i only when wanted[i] is not 0.
  // False exactly where decodeRecord fails; the fields are then partly set.
  bool read(RecordReader* reader, uint32_t nullMapSize, bool compact,
            const std::vector<uint8_t>& wanted, FieldList* fields);
  // Decodes the columns the last successful read() left out into the same fields, once.
  bool decodeRest(FieldList* fields);

 private:
  // Per column, where its value starts; null for a decoded column. Columns beyond those a null
  // map can mark are always decoded.
  std::array<const uint8_t*, kMaxNullMapBytes* 8> starts_ = {};
  const uint8_t* end_ = nullptr;
  uint8_t nullMap_[kMaxNullMapBytes] = {};
  uint32_t nullMapSize_ = 0;
  bool compact_ = false;
  bool complete_ = true;
};

#endif  // FSCANNER_TABLESTORE_RECORD_CODEC_H
