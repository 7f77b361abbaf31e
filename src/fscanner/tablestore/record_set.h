// Cursors over a table's records. A RecordSet carries its own copy of the table's fields (the
// current record), an optional RecordFilter (the criteria) that chooses the records it stops on,
// and, when the criteria compare an indexed column with a value, the index chain it walks instead
// of every record. The table owns its record sets (Table::openRecordSet / closeRecordSet).
//
// Use: setCriteria (optional), moveFirst, then moveNext while true; read with the getters, change
// the current record with the setters and update(), or delete it with remove(). To insert, set
// the fields and call addNew(); the values stay, so consecutive inserts set only what changes.
// A record set is used by one thread at a time and has no lock of its own.
#ifndef FSCANNER_TABLESTORE_RECORD_SET_H
#define FSCANNER_TABLESTORE_RECORD_SET_H

#include <cstdint>
#include <string>

#include "tablestore/field.h"
#include "tablestore/record_codec.h"

class HashIndex;
class RecordFilter;
class RecordSetRef;
class Table;

class RecordSet {
 public:
  // All fields null, no criteria, positioned before the first record.
  explicit RecordSet(Table* table);
  ~RecordSet();
  RecordSet(const RecordSet&) = delete;
  RecordSet& operator=(const RecordSet&) = delete;

  // Filters the walk with filter (not owned; may be null) and binds this set's fields as its
  // columns. When the filter's index key names a column with an index, moves walk that index
  // chain. A null filter or an empty criteria text visits every live record. Always true.
  bool setCriteria(RecordFilter* filter, bool caseSensitive);

  // Positions on the first / next record that the criteria select (evaluate() >= 1; an
  // evaluation error skips the record). False at the end or when a read fails; the fields then
  // hold the last record read. Records are decoded whole for the caller, but a record the
  // criteria reject has only the columns they read decoded (see RecordFilter::readsColumn).
  bool moveFirst();
  bool moveNext();
  // Positions on the first record, in the order of the column's index chain, whose 32-bit column
  // holds value, through Table::indexFind (this process's memory of the chains spares reading
  // the others). The criteria are neither consulted nor changed; moveNext is not meant to
  // follow. False when the column has no index, no record holds the value or a read fails.
  bool seekNumber(const char16_t* column, int32_t value);

  // Insert the fields as a new record / rewrite / remove the current record. They do not move
  // the set: an updated record that got a new number lies ahead and may be visited again.
  bool addNew();
  bool update();
  bool remove();

  // Values of the current record by exact column name; null or 0 for a name that is not a
  // column of the table or a column of another type.
  const char16_t* getString(const char16_t* column) const;
  uint8_t getByte(const char16_t* column) const;
  uint16_t getWord(const char16_t* column) const;
  int32_t getInt32(const char16_t* column) const;
  int64_t getInt64(const char16_t* column) const;
  // Setters leave the fields unchanged for such names.
  void setString(const char16_t* column, const char16_t* text);
  void setInt32(const char16_t* column, int32_t value);
  void setInt64(const char16_t* column, int64_t value);

  FieldList& fields() { return fields_; }
  uint32_t currentRecord() const { return current_; }
  // 0 after moveFirst succeeded, one more after each successful moveNext.
  uint32_t stepCount() const { return steps_; }
  // True while moves walk an index chain.
  bool usesIndex() const { return index_ != nullptr && hasKey_; }
  const std::u16string& keyText() const { return keyText_; }

 private:
  friend class RecordSetRef;

  void chooseColumns();
  bool selects();
  // Reads `record` and tests it; false when the read fails.
  bool readAt(uint32_t record, bool* selected);
  // A walk that stops leaves the fields as whole reads would have: the last record rejected
  // after a partial read is read whole, then the one whose read failed, if any.
  bool stop(bool readFailed);
  // Widens text a partial read left in the table's data: the fields the caller sees never
  // depend on the data staying mapped.
  void resolveText();
  bool scanFrom(uint32_t record);
  bool followChain(uint32_t record);
  template <typename T>
  T* typedField(const char16_t* column, uint32_t type) const;

  uint32_t current_ = 0;
  uint32_t steps_ = 0;
  Table* table_;
  FieldList fields_;
  bool hasKey_ = false;
  std::u16string keyText_;
  uint32_t cursor_;
  HashIndex* index_ = nullptr;
  bool caseSensitive_ = false;
  bool criteria_ = false;
  RecordFilter* filter_ = nullptr;
  // The columns the criteria read; empty when records are read whole.
  ColumnPlan plan_;
  PartialRecord part_;
  // A record rejected after a partial read, since the move started.
  bool partlyRead_ = false;
  uint32_t lastPartlyRead_ = 0;
  // The variable that holds this set, cleared when the set dies first.
  RecordSetRef* holder_ = nullptr;
};

// The variable through which callers hold a record set that a table opened. Every operation
// forwards to the set, or returns false, 0 or null (doing nothing) when there is none. The link
// is two-way: when the table closes the set, the variable becomes empty instead of dangling.
class RecordSetRef {
 public:
  RecordSetRef() = default;
  ~RecordSetRef();
  RecordSetRef(const RecordSetRef&) = delete;
  RecordSetRef& operator=(const RecordSetRef&) = delete;

  RecordSet* get() const { return set_; }
  explicit operator bool() const { return set_ != nullptr; }

  bool setCriteria(RecordFilter* filter, bool caseSensitive);
  bool moveFirst();
  bool moveNext();
  void addNew();
  void update();
  void remove();
  const char16_t* getString(const char16_t* column) const;
  int32_t getInt32(const char16_t* column) const;
  int64_t getInt64(const char16_t* column) const;
  void setString(const char16_t* column, const char16_t* text);
  void setInt32(const char16_t* column, int32_t value);
  void setInt64(const char16_t* column, int64_t value);

 private:
  friend class Table;
  friend class RecordSet;

  void attach(RecordSet* set);
  void detach();

  RecordSet* set_ = nullptr;
};

#endif  // FSCANNER_TABLESTORE_RECORD_SET_H
