#include "tablestore/field.h"

#include <cassert>
#include <cstring>
#include <new>

#include "base/wstring.h"

namespace {

// Bookkeeping bytes that valueSize() adds to each value.
constexpr uint32_t kValueOverhead = 2;
// A string's bookkeeping: its terminating zero and the overhead.
constexpr uint32_t kStringOverhead = 6;

}  // namespace

bool isFieldType(uint32_t type) { return type >= FIELD_BYTE && type <= FIELD_SHORT_BLOB; }

Field::Field(const char16_t* name, uint32_t type) : type_(type) {
  if (name != nullptr) {
    hasName_ = true;
    name_ = name;
  }
}

uint32_t ByteField::valueSize() const { return sizeof(uint8_t) + kValueOverhead; }
std::unique_ptr<Field> ByteField::clone() const { return std::make_unique<ByteField>(*this); }

uint32_t WordField::valueSize() const { return sizeof(uint16_t) + kValueOverhead; }
std::unique_ptr<Field> WordField::clone() const { return std::make_unique<WordField>(*this); }

uint32_t Int32Field::valueSize() const { return sizeof(int32_t) + kValueOverhead; }
std::unique_ptr<Field> Int32Field::clone() const { return std::make_unique<Int32Field>(*this); }

uint32_t Int64Field::valueSize() const { return sizeof(int64_t) + kValueOverhead; }
std::unique_ptr<Field> Int64Field::clone() const { return std::make_unique<Int64Field>(*this); }

WStringField::WStringField(const char16_t* name) : Field(name, FIELD_WSTRING) {}

WStringField::WStringField(const WStringField& other) : Field(other) {
  other.resolve();
  if (other.value_ == nullptr) {
    value_ = nullptr;
    return;
  }
  char16_t* target = storageFor(other.length_);
  if (target == nullptr) {
    value_ = nullptr;
    return;
  }
  std::memcpy(target, other.value_, (other.length_ + 1) * sizeof(char16_t));
  value_ = target;
  length_ = other.length_;
}

uint32_t WStringField::valueSize() const {
  return static_cast<uint32_t>(2 * length_) + kStringOverhead;
}

std::unique_ptr<Field> WStringField::clone() const { return std::make_unique<WStringField>(*this); }

char16_t* WStringField::storageFor(size_t length) {
  if (length < kInlineUnits) return inline_;
  if (heapCapacity_ < length + 1) {
    heap_.reset(new (std::nothrow) char16_t[length + 1]);
    heapCapacity_ = heap_ != nullptr ? length + 1 : 0;
  }
  return heap_.get();
}

void WStringField::setValue(const char16_t* value) {
  if (!hasName_) return;
  ascii_ = nullptr;
  if (value == nullptr) {
    value_ = nullptr;
    length_ = 0;
    return;
  }
  setValue(value, wcsLength(value));
}

void WStringField::setValue(const char16_t* text, size_t length) {
  if (!hasName_) return;
  resolve();  // text may be this field's own value
  char16_t* target = storageFor(length);
  if (target == nullptr) {  // out of memory: the field holds no value
    value_ = nullptr;
    length_ = 0;
    return;
  }
  // memmove: text may be this field's own value.
  if (length > 0) std::memmove(target, text, length * sizeof(char16_t));
  target[length] = 0;
  value_ = target;
  length_ = length;
  null_ = false;
}

char16_t* WStringField::valueStorage(size_t maxLength) {
  if (!hasName_) return nullptr;
  ascii_ = nullptr;
  filling_ = storageFor(maxLength);
  if (filling_ == nullptr) {
    value_ = nullptr;
    length_ = 0;
  }
  return filling_;
}

void WStringField::setAscii(const uint8_t* bytes, size_t count) {
  assert(count < kInlineUnits);
  if (!hasName_) return;
  ascii_ = bytes;
  value_ = inline_;
  length_ = count;
  null_ = false;
}

void WStringField::widenAscii() const {
  for (size_t i = 0; i < length_; ++i) inline_[i] = ascii_[i];
  inline_[length_] = 0;
  ascii_ = nullptr;
}

void WStringField::commitValue(size_t length) {
  assert(filling_ != nullptr);
  // A short value lives in the object, as setValue keeps it.
  if (filling_ != inline_ && length < kInlineUnits) {
    std::memcpy(inline_, filling_, length * sizeof(char16_t));
    filling_ = inline_;
  }
  filling_[length] = 0;
  value_ = filling_;
  length_ = length;
  null_ = false;
  filling_ = nullptr;
}

uint32_t ShortBlobField::valueSize() const { return buffer_[0] + 1u; }

std::unique_ptr<Field> ShortBlobField::clone() const {
  return std::make_unique<ShortBlobField>(*this);
}

void ShortBlobField::setValue(const uint8_t* value) {
  if (!hasName_ || value == nullptr) return;
  std::memmove(buffer_, value, value[0] + 1u);
  null_ = false;
}

FieldList::FieldList(const FieldList& other) { *this = other; }

FieldList& FieldList::operator=(const FieldList& other) {
  if (this == &other) return *this;
  fields_.clear();
  fields_.reserve(other.fields_.size());
  for (const auto& field : other.fields_) fields_.push_back(field->clone());
  return *this;
}

bool FieldList::addField(const char16_t* name, uint32_t type) {
  if (name == nullptr) return false;
  std::unique_ptr<Field> field;
  switch (type) {
    case FIELD_BYTE:
      field = std::make_unique<ByteField>(name);
      break;
    case FIELD_WORD:
      field = std::make_unique<WordField>(name);
      break;
    case FIELD_INT32:
      field = std::make_unique<Int32Field>(name);
      break;
    case FIELD_INT64:
      field = std::make_unique<Int64Field>(name);
      break;
    case FIELD_WSTRING:
      field = std::make_unique<WStringField>(name);
      break;
    case FIELD_SHORT_BLOB:
      field = std::make_unique<ShortBlobField>(name);
      break;
    default:
      return false;
  }
  fields_.push_back(std::move(field));
  return true;
}

Field* FieldList::findField(const char16_t* name) const {
  if (name == nullptr) return nullptr;
  // Column lookups run for every record written: an exact comparison in place.
  for (const auto& field : fields_) {
    const char16_t* a = field->name();
    if (a == nullptr) continue;
    const char16_t* b = name;
    while (*a != u'\0' && *a == *b) {
      ++a;
      ++b;
    }
    if (*a == *b) return field.get();
  }
  return nullptr;
}
