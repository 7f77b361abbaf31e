// What a record set needs from the criteria that filter it: the text (an empty one selects every
// record), the columns it reads (the set's current record) and which of them evaluations need, the
// column and constant an index can seek by, and the evaluation of the current record. The criteria
// language implements it; the table store knows nothing else of that language.
#ifndef FSCANNER_TABLESTORE_RECORD_FILTER_H
#define FSCANNER_TABLESTORE_RECORD_FILTER_H

#include <cstddef>
#include <cstdint>

class FieldList;

// A column compared with a constant by == at the top level of the criteria.
struct RecordFilterKey {
  const char16_t* column = nullptr;
  bool numeric = false;
  int64_t number = 0;
  const char16_t* string = nullptr;
  size_t stringLength = 0;
};

class RecordFilter {
 public:
  virtual ~RecordFilter() = default;

  // The criteria text; null or empty selects every record.
  virtual const char16_t* text() const = 0;
  // Later evaluations read these columns (not owned). False when the filter cannot use them.
  virtual bool setColumns(FieldList* columns) = 0;
  // False only when no evaluation reads the column of that name: a record set then leaves it
  // undecoded until a record is selected.
  virtual bool readsColumn(const char16_t* column) = 0;
  // Fills key and answers true when the criteria name a key an index seek can use; the key's
  // texts stay valid until the filter changes.
  virtual bool indexKey(RecordFilterKey* key) = 0;
  // >= 1 selects the record, 0 rejects it, -1 is an error (the record is skipped).
  virtual int evaluate(FieldList* columns, FieldList* variables, bool caseSensitive) = 0;
};

#endif  // FSCANNER_TABLESTORE_RECORD_FILTER_H
