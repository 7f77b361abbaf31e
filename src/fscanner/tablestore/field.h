// Typed fields and field lists: a table's column definitions, a record set's current record, and
// the variables the criteria evaluator reads by name.
#ifndef FSCANNER_TABLESTORE_FIELD_H
#define FSCANNER_TABLESTORE_FIELD_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Type codes, stored as u32 in the table header.
enum FieldType : uint32_t {
  FIELD_BYTE = 1,
  FIELD_WORD = 2,
  FIELD_INT32 = 3,
  FIELD_INT64 = 4,
  FIELD_WSTRING = 5,
  FIELD_SHORT_BLOB = 6,
};

// True for the codes 1 to 6.
bool isFieldType(uint32_t type);

// A named, typed value with a null mark. The mark is set at construction and cleared by every
// value setter. Hot paths switch on type() and cast to the concrete class rather than calling
// virtual accessors.
class Field {
 public:
  virtual ~Field() = default;
  // Bytes the value occupies in memory as the system accounts them (value plus bookkeeping).
  virtual uint32_t valueSize() const = 0;
  // A new field of the same class with the same name, value and null mark.
  virtual std::unique_ptr<Field> clone() const = 0;

  // Null when the field has no name.
  const char16_t* name() const { return hasName_ ? name_.c_str() : nullptr; }
  uint32_t type() const { return type_; }
  bool isNull() const { return null_; }
  void setNull(bool null) { null_ = null; }

 protected:
  Field(const char16_t* name, uint32_t type);
  Field(const Field& other) = default;
  Field& operator=(const Field&) = delete;

  bool hasName_ = false;
  std::u16string name_;
  uint32_t type_;
  bool null_ = true;
};

class ByteField final : public Field {
 public:
  explicit ByteField(const char16_t* name = nullptr) : Field(name, FIELD_BYTE) {}
  ByteField(const ByteField& other) = default;
  uint32_t valueSize() const override;
  std::unique_ptr<Field> clone() const override;
  uint8_t value() const { return value_; }
  void setValue(uint8_t value) {
    value_ = value;
    null_ = false;
  }

 private:
  uint8_t value_ = 0;
};

class WordField final : public Field {
 public:
  explicit WordField(const char16_t* name = nullptr) : Field(name, FIELD_WORD) {}
  WordField(const WordField& other) = default;
  uint32_t valueSize() const override;
  std::unique_ptr<Field> clone() const override;
  uint16_t value() const { return value_; }
  void setValue(uint16_t value) {
    value_ = value;
    null_ = false;
  }

 private:
  uint16_t value_ = 0;
};

class Int32Field final : public Field {
 public:
  explicit Int32Field(const char16_t* name = nullptr) : Field(name, FIELD_INT32) {}
  Int32Field(const Int32Field& other) = default;
  uint32_t valueSize() const override;
  std::unique_ptr<Field> clone() const override;
  int32_t value() const { return value_; }
  void setValue(int32_t value) {
    value_ = value;
    null_ = false;
  }

 private:
  int32_t value_ = 0;
};

class Int64Field final : public Field {
 public:
  explicit Int64Field(const char16_t* name = nullptr) : Field(name, FIELD_INT64) {}
  Int64Field(const Int64Field& other) = default;
  uint32_t valueSize() const override;
  std::unique_ptr<Field> clone() const override;
  int64_t value() const { return value_; }
  void setValue(int64_t value) {
    value_ = value;
    null_ = false;
  }
  void setValue(uint32_t low, uint32_t high) {
    setValue(static_cast<int64_t>((static_cast<uint64_t>(high) << 32) | low));
  }

 private:
  int64_t value_ = 0;
};

// A UTF-16 string. Values shorter than kInlineUnits units live in the object; longer ones in a
// heap buffer that is kept and reused by later values. Setting a null string, or a value that
// finds no memory, leaves no value.
// Setters do nothing on a field without a name.
class WStringField final : public Field {
 public:
  static constexpr size_t kInlineUnits = 128;

  explicit WStringField(const char16_t* name = nullptr);
  WStringField(const WStringField& other);
  uint32_t valueSize() const override;
  std::unique_ptr<Field> clone() const override;
  // Null when the field holds no value.
  const char16_t* value() const {
    if (ascii_ != nullptr) widenAscii();
    return value_;
  }
  // Units before the terminating zero; 0 without a value.
  size_t length() const { return length_; }
  // Makes the value the `count` units (below kInlineUnits) that are the bytes at bytes, each
  // below 0x80: ASCII text where it is stored. They are widened when value() is first read, so
  // they must stay in place until then, or until resolve(); a comparison may read them in place
  // through asciiBytes() and spare the widening.
  void setAscii(const uint8_t* bytes, size_t count);
  // The bytes given to setAscii, while they are not widened yet; null otherwise.
  const uint8_t* asciiBytes() const { return ascii_; }
  // Widens a value given by setAscii: its bytes are no longer needed.
  void resolve() const {
    if (ascii_ != nullptr) widenAscii();
  }
  void setValue(const char16_t* value);
  // Sets the first length units of text (which need not be terminated).
  void setValue(const char16_t* text, size_t length);
  // Filling the value in place, for a decoder: valueStorage gives room for up to maxLength units
  // (null, the field then without a value, when memory runs out; null for a field without a
  // name), and commitValue(length) makes its first length units the value.
  char16_t* valueStorage(size_t maxLength);
  void commitValue(size_t length);

 private:
  // Room for length units and the zero; null when memory runs out.
  char16_t* storageFor(size_t length);
  void widenAscii() const;

  // Widening fills inline_ from ascii_ when the value is read: the value itself stays the same.
  mutable char16_t inline_[kInlineUnits] = {};
  mutable const uint8_t* ascii_ = nullptr;
  char16_t* filling_ = nullptr;  // the storage valueStorage handed out
  std::unique_ptr<char16_t[]> heap_;
  size_t heapCapacity_ = 0;
  const char16_t* value_ = inline_;
  size_t length_ = 0;
};

// Up to 255 bytes; the first byte holds the length. Kept in memory only: never stored in a record.
// Setters do nothing on a field without a name.
class ShortBlobField final : public Field {
 public:
  static constexpr size_t kCapacity = 256;

  explicit ShortBlobField(const char16_t* name = nullptr) : Field(name, FIELD_SHORT_BLOB) {}
  ShortBlobField(const ShortBlobField& other) = default;
  uint32_t valueSize() const override;
  std::unique_ptr<Field> clone() const override;
  const uint8_t* value() const { return buffer_; }
  // Copies value[0] + 1 bytes; a null value is ignored.
  void setValue(const uint8_t* value);

 private:
  uint8_t buffer_[kCapacity] = {};
};

// An ordered list of owned fields; the field at position i is column i of its table.
class FieldList {
 public:
  FieldList() = default;
  FieldList(const FieldList& other);
  // Destroys its own fields, then appends a copy of each field of other.
  FieldList& operator=(const FieldList& other);

  // Appends a new null field of the given type with a copy of name. False for a null name or a
  // type outside 1-6.
  bool addField(const char16_t* name, uint32_t type);
  // The first field whose name equals name exactly; null when there is none.
  Field* findField(const char16_t* name) const;
  uint32_t count() const { return static_cast<uint32_t>(fields_.size()); }
  // No bounds check: callers stay below count().
  Field* at(uint32_t index) const { return fields_[index].get(); }
  void clear() { fields_.clear(); }

 private:
  std::vector<std::unique_ptr<Field>> fields_;
};

#endif  // FSCANNER_TABLESTORE_FIELD_H
