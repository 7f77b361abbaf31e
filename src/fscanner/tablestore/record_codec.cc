#include "tablestore/record_codec.h"

#include <cassert>
#include <cstring>
#include <new>

#include "base/numbers.h"
#include "tablestore/file_io.h"

namespace {

// Room one numeric value needs at most, plain or compact.
constexpr size_t kMaxNumberBytes = kMaxVarintBytes;

constexpr uint8_t kTwoByteLead = 0xC0;
constexpr uint8_t kThreeByteLead = 0xE0;
constexpr uint8_t kContinuation = 0x80;
constexpr uint8_t kSixBits = 0x3F;
constexpr uint64_t kHighBits = 0x8080808080808080u;

// Column i's null mark is bit 0x80 >> (i % 8) of byte i / 8 of the map (most significant bit
// first); a column beyond a map of mapBytes bytes has none.
struct NullMark {
  NullMark(uint32_t column, uint32_t mapBytes)
      : byte(column / 8),
        mask(static_cast<uint8_t>(0x80u >> (column % 8))),
        inMap(byte < mapBytes) {}
  uint32_t byte;
  uint8_t mask;
  bool inMap;
};

// Writes value at out in `width` little-endian bytes, or as a variable-length number in a compact
// table; returns the bytes written.
size_t putNumber(uint64_t value, uint32_t width, bool compact, uint8_t* out) {
  if (compact) return putVarint(value, out);
  for (uint32_t i = 0; i < width; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
  return width;
}

}  // namespace

uint8_t* ByteBuffer::reserve(size_t size) {
  if (size <= capacity_) return bytes_.get();
  size_t grown = capacity_ * 2 > size ? capacity_ * 2 : size;
  std::unique_ptr<uint8_t[]> bigger(new (std::nothrow) uint8_t[grown]);
  if (bigger == nullptr) return nullptr;
  bytes_ = std::move(bigger);
  capacity_ = grown;
  return bytes_.get();
}

size_t encodedStringLength(const char16_t* text, size_t length) {
  size_t bytes = 0;
  for (size_t i = 0; i < length; ++i) bytes += text[i] < 0x80 ? 1 : text[i] < 0x800 ? 2 : 3;
  return bytes;
}

size_t encodeStringUnits(const char16_t* text, size_t length, uint8_t* out) {
  uint8_t* start = out;
  for (size_t i = 0; i < length; ++i) {
    uint32_t unit = text[i];
    if (unit < 0x80) {
      *out++ = static_cast<uint8_t>(unit);
    } else if (unit < 0x800) {
      *out++ = static_cast<uint8_t>(kTwoByteLead | (unit >> 6));
      *out++ = static_cast<uint8_t>(kContinuation | (unit & kSixBits));
    } else {
      *out++ = static_cast<uint8_t>(kThreeByteLead | (unit >> 12));
      *out++ = static_cast<uint8_t>(kContinuation | ((unit >> 6) & kSixBits));
      *out++ = static_cast<uint8_t>(kContinuation | (unit & kSixBits));
    }
  }
  return static_cast<size_t>(out - start);
}

size_t decodeStringUnits(const uint8_t* bytes, size_t count, char16_t* out) {
  size_t units = 0;
  size_t i = 0;
  while (i < count) {
    // Runs of eight one-byte sequences, the common case of file names, widen without decoding.
    uint64_t eight = 0;
    if (count - i >= 8 && (std::memcpy(&eight, bytes + i, 8), (eight & kHighBits) == 0)) {
      for (int k = 0; k < 8; ++k) out[units++] = bytes[i++];
      continue;
    }
    uint8_t lead = bytes[i++];
    uint32_t unit = lead;
    int follow = 0;
    if (lead >= kThreeByteLead) {
      unit = lead & 0x0F;
      follow = 2;
    } else if (lead >= kTwoByteLead) {
      unit = lead & 0x1F;
      follow = 1;
    }
    for (; follow > 0 && i < count; --follow) unit = (unit << 6) | (bytes[i++] & kSixBits);
    out[units++] = static_cast<char16_t>(unit);
  }
  return units;
}

size_t putVarint(uint64_t value, uint8_t* out) {
  uint8_t scratch[kMaxVarintBytes];
  size_t first = encodeVarint(value, scratch, sizeof(scratch));
  size_t size = sizeof(scratch) - first;
  std::memcpy(out, scratch + first, size);
  return size;
}

bool encodeRecord(const FieldList& fields, uint32_t nullMapSize, bool compact, ByteBuffer* out,
                  uint32_t* size) {
  if (nullMapSize > kMaxNullMapBytes) return false;
  uint32_t count = fields.count();
  // Room for the longest form of every value, so that one reservation serves the whole record.
  size_t room = nullMapSize;
  for (uint32_t i = 0; i < count; ++i) {
    room += kMaxNumberBytes;
    if (fields.at(i)->type() != FIELD_WSTRING) continue;
    size_t length = static_cast<const WStringField*>(fields.at(i))->length();
    // Every unit takes at least one byte: a longer string can never fit.
    if (length > kMaxStringBytes) return false;
    room += kMaxBytesPerUnit * length;
  }
  uint8_t* bytes = out->reserve(room);
  if (bytes == nullptr) return false;
  std::memset(bytes, 0, nullMapSize);
  size_t used = nullMapSize;
  for (uint32_t i = 0; i < count; ++i) {
    const Field* field = fields.at(i);
    NullMark mark(i, nullMapSize);
    if (field->isNull() && mark.inMap) bytes[mark.byte] |= mark.mask;
    switch (field->type()) {
      case FIELD_BYTE:
        bytes[used++] = static_cast<const ByteField*>(field)->value();
        break;
      case FIELD_WORD:
        used += putNumber(static_cast<const WordField*>(field)->value(), 2, compact, bytes + used);
        break;
      case FIELD_INT32:
        used += putNumber(static_cast<uint32_t>(static_cast<const Int32Field*>(field)->value()), 4,
                          compact, bytes + used);
        break;
      case FIELD_INT64:
        used += putNumber(static_cast<uint64_t>(static_cast<const Int64Field*>(field)->value()), 8,
                          compact, bytes + used);
        break;
      case FIELD_WSTRING: {
        const auto* string = static_cast<const WStringField*>(field);
        size_t textBytes = encodedStringLength(string->value(), string->length());
        if (textBytes > kMaxStringBytes) return false;
        used += putNumber(textBytes, 2, compact, bytes + used);
        used += encodeStringUnits(string->value(), string->length(), bytes + used);
        break;
      }
      default:  // short blobs live in memory only
        break;
    }
  }
  assert(used <= room);
  *size = static_cast<uint32_t>(used);
  return true;
}

bool RecordReader::takeLongVarint(uint64_t* value) {
  size_t used = decodeVarint(next_, static_cast<size_t>(end_ - next_), value);
  if (used == 0) return false;
  next_ += used;
  return true;
}

namespace {

// Reads one number of the given plain width (or a variable-length number in a compact table).
bool takeNumber(RecordReader* reader, bool compact, uint32_t width, uint64_t* value) {
  if (compact) return reader->takeVarint(value);
  const uint8_t* bytes = reader->take(width);
  if (bytes == nullptr) return false;
  *value = width == 2 ? loadU16(bytes) : width == 4 ? loadU32(bytes) : loadU64(bytes);
  return true;
}

// A stored string's byte count: two bytes, or a variable-length number in a compact table. Kept
// apart from takeNumber so that the per-record paths inline it.
inline bool takeTextLength(RecordReader* reader, bool compact, uint32_t* length) {
  uint64_t value = 0;
  if (compact) {
    if (!reader->takeVarint(&value)) return false;
  } else {
    const uint8_t* bytes = reader->take(2);
    if (bytes == nullptr) return false;
    value = loadU16(bytes);
  }
  *length = static_cast<uint16_t>(value);
  return true;
}

inline bool skipString(RecordReader* reader, bool compact) {
  uint32_t length = 0;
  return takeTextLength(reader, compact, &length) && reader->take(length) != nullptr;
}

// True when every one of the count bytes is below 0x80: each is then one unit.
bool isAscii(const uint8_t* bytes, size_t count) {
  uint64_t seen = 0;
  size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    uint64_t eight;
    std::memcpy(&eight, bytes + i, 8);
    seen |= eight;
  }
  for (; i < count; ++i) seen |= bytes[i];
  return (seen & kHighBits) == 0;
}

// With inPlace, short ASCII text is left where it is stored (WStringField::setAscii).
bool decodeString(RecordReader* reader, bool compact, WStringField* field,
                  std::vector<uint32_t>* stringBytes, bool inPlace) {
  uint32_t textBytes = 0;
  if (!takeTextLength(reader, compact, &textBytes)) return false;
  const uint8_t* text = reader->take(textBytes);
  if (text == nullptr) return false;
  if (stringBytes != nullptr) stringBytes->push_back(textBytes);
  if (inPlace && textBytes < WStringField::kInlineUnits && isAscii(text, textBytes)) {
    field->setAscii(text, textBytes);
    return true;
  }
  // Every unit takes at least one byte: textBytes units of room always suffice.
  char16_t* units = field->valueStorage(textBytes);
  if (units != nullptr) field->commitValue(decodeStringUnits(text, textBytes, units));
  return true;
}

// Decodes one stored value into field, its null mark first taken from the null map; false when
// the data ends early or the field's type code is outside 1-5.
bool decodeColumn(RecordReader* reader, bool compact, const uint8_t* nullMap, uint32_t nullMapSize,
                  uint32_t column, Field* field, std::vector<uint32_t>* stringBytes,
                  bool textInPlace = false) {
  NullMark mark(column, nullMapSize);
  if (mark.inMap) field->setNull((nullMap[mark.byte] & mark.mask) != 0);
  uint64_t value = 0;
  switch (field->type()) {
    case FIELD_BYTE: {
      const uint8_t* byte = reader->take(1);
      if (byte == nullptr) return false;
      static_cast<ByteField*>(field)->setValue(*byte);
      return true;
    }
    case FIELD_WORD:
      if (!takeNumber(reader, compact, 2, &value)) return false;
      static_cast<WordField*>(field)->setValue(static_cast<uint16_t>(value));
      return true;
    case FIELD_INT32:
      if (!takeNumber(reader, compact, 4, &value)) return false;
      static_cast<Int32Field*>(field)->setValue(static_cast<int32_t>(static_cast<uint32_t>(value)));
      return true;
    case FIELD_INT64:
      if (!takeNumber(reader, compact, 8, &value)) return false;
      static_cast<Int64Field*>(field)->setValue(static_cast<int64_t>(value));
      return true;
    case FIELD_WSTRING:
      return decodeString(reader, compact, static_cast<WStringField*>(field), stringBytes,
                          textInPlace);
    default:  // short blobs are never stored, so a record holding one cannot be read back
      return false;
  }
}

// Consumes one stored value of the given type without decoding it; fails where decodeColumn does.
bool skipColumn(RecordReader* reader, bool compact, uint32_t type) {
  switch (type) {
    case FIELD_BYTE:
      return reader->take(1) != nullptr;
    case FIELD_WORD:
      return compact ? reader->skipVarint() : reader->take(2) != nullptr;
    case FIELD_INT32:
      return compact ? reader->skipVarint() : reader->take(4) != nullptr;
    case FIELD_INT64:
      return compact ? reader->skipVarint() : reader->take(8) != nullptr;
    case FIELD_WSTRING:
      return skipString(reader, compact);
    default:
      return false;
  }
}

}  // namespace

bool decodeRecord(RecordReader* reader, uint32_t nullMapSize, bool compact, FieldList* fields,
                  std::vector<uint32_t>* stringBytes) {
  if (nullMapSize > kMaxNullMapBytes) return false;
  if (stringBytes != nullptr) stringBytes->clear();
  uint8_t nullMap[kMaxNullMapBytes];
  const uint8_t* stored = reader->take(nullMapSize);
  if (stored == nullptr) return false;
  std::memcpy(nullMap, stored, nullMapSize);
  for (uint32_t i = 0; i < fields->count(); ++i) {
    if (!decodeColumn(reader, compact, nullMap, nullMapSize, i, fields->at(i), stringBytes)) {
      return false;
    }
  }
  return true;
}

namespace {

// Bytes a value of the type always takes, or 0 when its size is stored with it.
uint32_t fixedWidth(uint32_t type, bool compact) {
  switch (type) {
    case FIELD_BYTE:
      return 1;
    case FIELD_WORD:
      return compact ? 0 : 2;
    case FIELD_INT32:
      return compact ? 0 : 4;
    case FIELD_INT64:
      return compact ? 0 : 8;
    default:
      return 0;
  }
}

}  // namespace

bool ColumnPlan::make(const FieldList& fields, const std::vector<uint8_t>& wanted, bool compact) {
  steps_.clear();
  compact_ = compact;
  try {
    wanted_ = wanted;
    for (uint32_t i = 0; i < fields.count(); ++i) {
      const uint32_t type = fields.at(i)->type();
      const bool decode = i < wanted.size() && wanted[i] != 0;
      const uint32_t width = decode ? 0 : fixedWidth(type, compact);
      if (width != 0 && !steps_.empty() && !steps_.back().decode && steps_.back().type == 0) {
        steps_.back().bytes += width;
        continue;
      }
      steps_.push_back(Step{decode, i, width != 0 ? 0 : type, width});
    }
  } catch (const std::bad_alloc&) {
    steps_.clear();
    return false;
  }
  return true;
}

bool PartialRecord::read(RecordReader* reader, uint32_t nullMapSize, const ColumnPlan& plan,
                         FieldList* fields) {
  complete_ = true;
  if (nullMapSize > kMaxNullMapBytes) return false;
  start_ = reader->position();
  const uint8_t* nullMap = reader->take(nullMapSize);
  if (nullMap == nullptr) return false;
  bool skipped = false;
  for (const ColumnPlan::Step& step : plan.steps_) {
    if (step.decode) {
      if (!decodeColumn(reader, plan.compact_, nullMap, nullMapSize, step.column,
                        fields->at(step.column), nullptr, true)) {
        return false;
      }
      continue;
    }
    skipped = true;
    const bool stepped = step.type == 0 ? reader->take(step.bytes) != nullptr
                         : step.type == FIELD_WSTRING
                             ? skipString(reader, plan.compact_)
                             : skipColumn(reader, plan.compact_, step.type);
    if (!stepped) return false;
  }
  end_ = reader->position();
  nullMapSize_ = nullMapSize;
  plan_ = &plan;
  complete_ = !skipped;
  return true;
}

bool PartialRecord::decodeRest(FieldList* fields) {
  if (complete_) return true;
  complete_ = true;
  RecordReader reader(start_, static_cast<uint32_t>(end_ - start_));
  const uint8_t* nullMap = reader.take(nullMapSize_);
  if (nullMap == nullptr) return false;
  const std::vector<uint8_t>& decoded = plan_->wanted_;
  for (uint32_t i = 0; i < fields->count(); ++i) {
    Field* field = fields->at(i);
    const bool ok =
        i < decoded.size() && decoded[i] != 0
            ? skipColumn(&reader, plan_->compact_, field->type())
            : decodeColumn(&reader, plan_->compact_, nullMap, nullMapSize_, i, field, nullptr);
    if (!ok) return false;
  }
  return true;
}
