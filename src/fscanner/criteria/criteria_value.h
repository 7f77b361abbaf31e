// Values of the criteria language: every operand and intermediate result is a 64-bit NUMERIC or
// a STRING, plus the counts that let the analyzer recognise a comparison of one column with a
// constant (the index key a record set can seek by).
#ifndef FSCANNER_CRITERIA_CRITERIA_VALUE_H
#define FSCANNER_CRITERIA_CRITERIA_VALUE_H

#include <cstddef>
#include <cstdint>
#include <string>

class PatternSet;

// The language's string space: every string, read from a field or concatenated, stays shorter.
constexpr size_t STRING_SPACE = 0x400000;

class CriteriaValue {
 public:
  enum Type : int8_t { NUMERIC = 0, STRING = 1 };

  CriteriaValue() = default;
  CriteriaValue(const CriteriaValue& other) = default;
  CriteriaValue& operator=(const CriteriaValue& other) = default;

  // The STRING value; never null (empty by default).
  const char16_t* string() const { return string_.c_str(); }
  size_t stringLength() const { return string_.size(); }
  // A null text gives the empty string.
  void setString(const char16_t* text);
  void setString(const char16_t* text, size_t length);
  // Writable access for in-place work (lower-casing, concatenation).
  std::u16string& stringStorage() { return string_; }

  // The column or variable a value was read from, or the column of an index key; never null.
  const char16_t* name() const { return name_.c_str(); }
  bool hasName() const { return !name_.empty(); }
  // A null text gives the empty name.
  void setName(const char16_t* text);

  Type type() const { return type_; }
  void setType(Type type) { type_ = type; }
  int64_t number() const { return number_; }
  void setNumber(int64_t number) { number_ = number; }
  // A NUMERIC with this number; string and pattern set are left alone.
  void setNumeric(int64_t number) {
    type_ = NUMERIC;
    number_ = number;
  }

  // How many literal and how many column or variable operands were folded into the value.
  uint32_t constantTerms() const { return constantTerms_; }
  uint32_t referenceTerms() const { return referenceTerms_; }
  void setTerms(uint32_t constantTerms, uint32_t referenceTerms) {
    constantTerms_ = constantTerms;
    referenceTerms_ = referenceTerms;
  }
  bool isPureConstant() const { return referenceTerms_ == 0 && constantTerms_ != 0; }
  bool isSingleReference() const { return constantTerms_ == 0 && referenceTerms_ == 1; }

  // The set of a set literal; not owned.
  const PatternSet* patternSet() const { return patternSet_; }
  void setPatternSet(const PatternSet* patterns) { patternSet_ = patterns; }

  // NUMERIC: number 0; STRING: the empty string; either way the type becomes `type`. Any other
  // type: false, nothing changes.
  bool resetToType(int type);
  // Back to the default value: NUMERIC 0, empty string and name, one constant term, no set.
  void clear() {
    string_.clear();
    name_.clear();
    type_ = NUMERIC;
    constantTerms_ = 1;
    referenceTerms_ = 0;
    number_ = 0;
    patternSet_ = nullptr;
  }

 private:
  std::u16string string_;
  std::u16string name_;
  Type type_ = NUMERIC;
  uint32_t constantTerms_ = 1;
  uint32_t referenceTerms_ = 0;
  int64_t number_ = 0;
  const PatternSet* patternSet_ = nullptr;
};

#endif  // FSCANNER_CRITERIA_CRITERIA_VALUE_H
