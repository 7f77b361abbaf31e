// A column or variable compared with a literal, the commonest criterion ("[SIZE] > 10000",
// "[FILENAME] == \"*.h\""), prepared once when the tree is walked the first time: each evaluation
// then reads the field where it lies, a number without a value copy, a string without a copy, and
// a wildcard literal through its prepared pattern (base/wildcard.h). It decides exactly as
// loading the field and compareValues would.
#ifndef FSCANNER_CRITERIA_FIELD_RELATION_H
#define FSCANNER_CRITERIA_FIELD_RELATION_H

#include <cstdint>
#include <memory>
#include <string>

#include "base/wildcard.h"
#include "criteria/criteria_value.h"

class Field;

class FieldRelation {
 public:
  // What decide() found: the relation holds or not, or the field is not one it reads in place
  // (a type mismatch, a type the language does not read, a string of STRING_SPACE units or more);
  // the caller then loads the field and resolves the relation, which traces and fails as usual.
  enum Outcome { kFalse = 0, kTrue = 1, kUndecided = 2 };

  // code: the relational operator; literal: the right operand, which must outlive this object.
  FieldRelation(int64_t code, const CriteriaValue& literal);

  Outcome decide(const Field& field, bool caseSensitive, std::u16string* scratch) const;

 private:
  Outcome decideNumber(int64_t value) const;
  // == on a string literal without a pattern set: the wildcard pattern, or a whole comparison.
  // Unit is char16_t, or uint8_t for ASCII text read where it is stored.
  template <typename Unit>
  bool equalsText(const Unit* text, size_t length, bool caseSensitive) const;

  int64_t code_;
  const CriteriaValue& literal_;
  // The literal with its ASCII letters lower-cased, for whole comparisons without caseSensitive.
  std::u16string folded_;
  // Set for a string literal with '*' or '?' compared by == or !=.
  std::unique_ptr<WildcardPattern> pattern_;
};

#endif  // FSCANNER_CRITERIA_FIELD_RELATION_H
