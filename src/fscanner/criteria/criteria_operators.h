// What the operators of the criteria language compute, shared by the parse (which evaluates as it
// reads) and the walk of the stored tree, so that both give the same answers. Each function
// reports a failure as an OperatorStatus and leaves the message to its caller, whose trace
// names the grammar level or the walk.
#ifndef FSCANNER_CRITERIA_CRITERIA_OPERATORS_H
#define FSCANNER_CRITERIA_CRITERIA_OPERATORS_H

#include <cstdint>
#include <string>

#include "criteria/criteria_value.h"

class Field;

enum class OperatorStatus {
  kOk,
  // Division by zero, or of the most negative number by -1, where the value is needed.
  kDivision,
  // A result of STRING_SPACE units or more.
  kStringSpace,
  // An operator code outside the tables, or a field type the language does not read.
  kUnknown,
};

// The binary arithmetic codes OpAdd, OpSub, OpMul, OpDiv, OpBitAnd and OpBitOr on 64 bits; sums,
// differences and products wrap around, division truncates towards zero. A division that has no
// result gives 0 and kOk when the value is not needed, kDivision otherwise.
OperatorStatus applyArithmetic(int64_t code, int64_t left, int64_t right, bool needed,
                               int64_t* result);

// OpUnaryPlus and OpUnaryMinus (two's complement: the most negative number stays itself).
OperatorStatus applyUnary(int64_t code, int64_t operand, int64_t* result);

// out = left + right as STRING. out may be left itself. kStringSpace (out untouched) when the
// result would need STRING_SPACE units or more.
OperatorStatus concatenate(const CriteriaValue& left, const CriteriaValue& right,
                           CriteriaValue* out);

// Relational code on two values of the same type. NUMERIC: signed comparison. STRING: the
// ordering operators compare left with right (exact or on lower-cased units); == and != treat
// the right operand as the pattern side: a set literal matches the lower-cased left string, a
// string with '*' or '?' is a wildcard pattern, anything else compares whole. scratch is work
// space for lower-casing.
OperatorStatus compareValues(int64_t code, const CriteriaValue& left, const CriteriaValue& right,
                             bool caseSensitive, std::u16string* scratch, bool* holds);

// The same for a STRING left operand given as `length` units at text (zero-terminated).
OperatorStatus compareText(int64_t code, const char16_t* text, size_t length,
                           const CriteriaValue& right, bool caseSensitive, std::u16string* scratch,
                           bool* holds);

// Reads a field as the language sees it: codes 1-3 as unsigned NUMERIC, 4 as signed 64-bit,
// 5 as STRING (kStringSpace at STRING_SPACE units or more; out then holds the empty STRING), any
// other code kUnknown. Sets type, number, string and clears the pattern set, nothing else.
OperatorStatus loadField(const Field& field, CriteriaValue* out);

// Sets out to a NUMERIC or an empty STRING result of an operator: number, no pattern set.
inline void setNumericResult(CriteriaValue* out, int64_t number) {
  out->setNumeric(number);
  out->setPatternSet(nullptr);
}

#endif  // FSCANNER_CRITERIA_CRITERIA_OPERATORS_H
