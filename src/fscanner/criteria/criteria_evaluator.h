// One criteria text bound to the two field lists it reads: [NAME] reads the field NAME of the
// columns, a bare name the field of that name of the variables (exact names). The first
// evaluation parses the text; later ones walk the stored tree, which makes evaluating the same
// text over many records or files cheap. A record set also asks it for the index key: a column
// compared with a constant at the top level of the text, which lets the set seek an index.
//
// Not thread-safe: one thread at a time, under the lock of the cache or query that owns it.
#ifndef FSCANNER_CRITERIA_CRITERIA_EVALUATOR_H
#define FSCANNER_CRITERIA_CRITERIA_EVALUATOR_H

#include <memory>
#include <string>

#include "criteria/criteria_value.h"
#include "tablestore/record_filter.h"

class FieldList;
class SyntaxAnalyzer;

class CriteriaEvaluator final : public RecordFilter {
 public:
  // Copies text. A null text gives an invalid evaluator. Nothing is parsed here: syntax errors
  // appear at the first evaluation.
  explicit CriteriaEvaluator(const char16_t* text);
  ~CriteriaEvaluator() override;
  CriteriaEvaluator(const CriteriaEvaluator&) = delete;
  CriteriaEvaluator& operator=(const CriteriaEvaluator&) = delete;

  // Bind the lists that later evaluations read (not owned). False when the evaluator is invalid
  // or the list is null. Fields are looked up by name once per list; a list whose fields were
  // replaced (cleared, assigned, built anew at the same address) must be bound again.
  bool setColumns(FieldList* columns) override;
  bool setVariables(FieldList* variables);
  // False only when the text names no column [column] (see readsColumn in column_reads.h).
  bool readsColumn(const char16_t* column) override;

  // Evaluates against the bound lists; a null argument means the bound list. -1 for an invalid
  // evaluator or any error (syntax, types, unknown name, string space, division by zero, all
  // traced); otherwise the low 32 bits of the value: 0 or 1 for relations and boolean operators,
  // the number of a bare NUMERIC, 0 for a STRING. caseSensitive chooses exact or lower-cased
  // string comparisons for this evaluation. Once the first parse failed on the text itself,
  // every later evaluation returns -1 as well. Running out of memory is such an error: no
  // exception leaves the evaluator.
  int evaluate(bool caseSensitive);
  int evaluate(FieldList* columns, FieldList* variables, bool caseSensitive) override;

  // The column and value an index seek can use (name = column, type and number or string = the
  // value), or null: for an invalid evaluator, with no columns bound, or when the text compares
  // no column with a constant by == at its top level. Parses the text (without executing
  // commands) when no evaluation has yet. Once a key object exists, every call returns it.
  CriteriaValue* indexKey();
  // From now on indexKey() returns a copy of key, without looking at the text.
  bool setIndexKey(const CriteriaValue& key);
  // The record-set view of indexKey(): the key's column and value.
  bool indexKey(RecordFilterKey* key) override;

  bool isValid() const { return valid_; }
  // The evaluator's copy of the criteria text; null for an invalid evaluator.
  const char16_t* text() const override { return valid_ ? text_.c_str() : nullptr; }

 private:
  std::unique_ptr<SyntaxAnalyzer> analyzer_;
  std::u16string text_;
  bool valid_ = false;
  bool pending_ = true;
  bool lastError_ = false;
  std::unique_ptr<CriteriaValue> indexKey_;
  CriteriaValue result_;
  FieldList* columns_ = nullptr;
  FieldList* variables_ = nullptr;
};

#endif  // FSCANNER_CRITERIA_CRITERIA_EVALUATOR_H
