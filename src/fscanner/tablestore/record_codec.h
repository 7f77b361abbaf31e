// The byte form of one record: a null map, then every column's value in column order. Plain
// tables store integers with fixed widths and string lengths as u16; compact tables store both as
// variable-length numbers. String text is each UTF-16 unit encoded on its own as UTF-8.
#ifndef FSCANNER_TABLESTORE_RECORD_CODEC_H
#define FSCANNER_TABLESTORE_RECORD_CODEC_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/numbers.h"
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
  // Steps over the next variable-length number; fails where takeVarint does.
  bool skipVarint() {
    size_t available = static_cast<size_t>(end_ - next_);
    if (available > kMaxVarintBytes) available = kMaxVarintBytes;
    for (size_t i = 0; i < available; ++i) {
      if ((next_[i] & 1) == 0) {
        next_ += i + 1;
        return true;
      }
    }
    return false;
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

// How a partial read takes the columns of one table's records: each wanted column decoded, the
// others stepped over without decoding, consecutive fixed-width ones in a single step.
class ColumnPlan {
 public:
  // Plans reads of records of fields' columns in a plain or compact table that decode column i
  // only when wanted[i] is not 0. False, the plan empty, when memory runs out.
  bool make(const FieldList& fields, const std::vector<uint8_t>& wanted, bool compact);
  bool empty() const { return steps_.empty(); }
  void clear() { steps_.clear(); }

 private:
  friend class PartialRecord;
  struct Step {
    bool decode;
    uint32_t column;  // decoded, or the first of those stepped over
    uint32_t type;    // of the column; 0 for fixed-width values stepped over together
    uint32_t bytes;   // their total width
  };
  std::vector<Step> steps_;
  std::vector<uint8_t> wanted_;
  bool compact_ = false;
};

// A record decoded in part: a filter that reads a few columns decides most records without the
// others. read() checks the whole record as decodeRecord does and decodes only the planned
// columns, short ASCII text left in place (WStringField::setAscii); decodeRest() decodes the
// others from the same data, which must stay mapped and unchanged meanwhile, as must the plan.
class PartialRecord {
 public:
  // Reads the record at the reader into fields as the plan says. False exactly where
  // decodeRecord fails; the fields are then partly set.
  bool read(RecordReader* reader, uint32_t nullMapSize, const ColumnPlan& plan, FieldList* fields);
  // Decodes the columns the last successful read() left out into the same fields, once.
  bool decodeRest(FieldList* fields);

 private:
  const uint8_t* start_ = nullptr;
  const uint8_t* end_ = nullptr;
  uint32_t nullMapSize_ = 0;
  const ColumnPlan* plan_ = nullptr;
  bool complete_ = true;
};

#endif  // FSCANNER_TABLESTORE_RECORD_CODEC_H
