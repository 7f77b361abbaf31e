#include "criteria/criteria_operators.h"

#include <limits>

#include "base/wildcard.h"
#include "base/wstring.h"
#include "criteria/criteria_token.h"
#include "criteria/pattern_set.h"
#include "tablestore/field.h"

namespace {

// Two's complement arithmetic without signed overflow.
int64_t wrap(uint64_t value) { return static_cast<int64_t>(value); }

bool stringEquals(const char16_t* text, size_t length, const CriteriaValue& right,
                  bool caseSensitive, std::u16string* scratch) {
  if (right.patternSet() != nullptr) {
    scratch->resize(length);
    char16_t* lower = scratch->data();
    for (size_t i = 0; i < length; ++i) lower[i] = toLowerChar(text[i]);
    return right.patternSet()->match(scratch->c_str(), length);
  }
  if (hasWildcards(right.string())) return wildcardMatch(right.string(), text, caseSensitive) == 1;
  // Lower-casing keeps lengths, so texts of different lengths never compare equal.
  return length == right.stringLength() && wcsCompare(text, right.string(), caseSensitive) == 0;
}

template <typename T>
bool relationHolds(int64_t code, T order, bool equal) {
  switch (code) {
    case OpRelEQ:
      return equal;
    case OpRelNE:
      return !equal;
    case OpRelGE:
      return order >= 0;
    case OpRelLE:
      return order <= 0;
    case OpRelGT:
      return order > 0;
    default:
      return order < 0;
  }
}

}  // namespace

OperatorStatus applyArithmetic(int64_t code, int64_t left, int64_t right, bool needed,
                               int64_t* result) {
  uint64_t a = static_cast<uint64_t>(left);
  uint64_t b = static_cast<uint64_t>(right);
  switch (code) {
    case OpAdd:
      *result = wrap(a + b);
      return OperatorStatus::kOk;
    case OpSub:
      *result = wrap(a - b);
      return OperatorStatus::kOk;
    case OpMul:
      *result = wrap(a * b);
      return OperatorStatus::kOk;
    case OpDiv:
      if (right == 0 || (left == std::numeric_limits<int64_t>::min() && right == -1)) {
        *result = 0;
        return needed ? OperatorStatus::kDivision : OperatorStatus::kOk;
      }
      *result = left / right;
      return OperatorStatus::kOk;
    case OpBitAnd:
      *result = wrap(a & b);
      return OperatorStatus::kOk;
    case OpBitOr:
      *result = wrap(a | b);
      return OperatorStatus::kOk;
    default:
      return OperatorStatus::kUnknown;
  }
}

OperatorStatus applyUnary(int64_t code, int64_t operand, int64_t* result) {
  if (code == OpUnaryPlus) {
    *result = operand;
  } else if (code == OpUnaryMinus) {
    *result = wrap(0 - static_cast<uint64_t>(operand));
  } else {
    return OperatorStatus::kUnknown;
  }
  return OperatorStatus::kOk;
}

OperatorStatus concatenate(const CriteriaValue& left, const CriteriaValue& right,
                           CriteriaValue* out) {
  if (left.stringLength() + right.stringLength() + 1 >= STRING_SPACE) {
    return OperatorStatus::kStringSpace;
  }
  if (out != &left) out->setString(left.string(), left.stringLength());
  out->stringStorage().append(right.string(), right.stringLength());
  out->setType(CriteriaValue::STRING);
  out->setNumber(0);
  out->setPatternSet(nullptr);
  return OperatorStatus::kOk;
}

OperatorStatus compareValues(int64_t code, const CriteriaValue& left, const CriteriaValue& right,
                             bool caseSensitive, std::u16string* scratch, bool* holds) {
  if (code < OpRelEQ || code > OpRelNE) return OperatorStatus::kUnknown;
  if (left.type() == CriteriaValue::NUMERIC) {
    int64_t a = left.number();
    int64_t b = right.number();
    *holds = relationHolds(code, (a > b) - (a < b), a == b);
    return OperatorStatus::kOk;
  }
  return compareText(code, left.string(), left.stringLength(), right, caseSensitive, scratch,
                     holds);
}

OperatorStatus compareText(int64_t code, const char16_t* text, size_t length,
                           const CriteriaValue& right, bool caseSensitive, std::u16string* scratch,
                           bool* holds) {
  if (code < OpRelEQ || code > OpRelNE) return OperatorStatus::kUnknown;
  if (code == OpRelEQ || code == OpRelNE) {
    *holds = relationHolds(code, 0, stringEquals(text, length, right, caseSensitive, scratch));
  } else {
    *holds = relationHolds(code, wcsCompare(text, right.string(), caseSensitive), false);
  }
  return OperatorStatus::kOk;
}

OperatorStatus loadField(const Field& field, CriteriaValue* out) {
  out->setPatternSet(nullptr);
  switch (field.type()) {
    case FIELD_BYTE:
      out->setNumeric(static_cast<const ByteField&>(field).value());
      return OperatorStatus::kOk;
    case FIELD_WORD:
      out->setNumeric(static_cast<const WordField&>(field).value());
      return OperatorStatus::kOk;
    case FIELD_INT32:
      out->setNumeric(static_cast<uint32_t>(static_cast<const Int32Field&>(field).value()));
      return OperatorStatus::kOk;
    case FIELD_INT64:
      out->setNumeric(static_cast<const Int64Field&>(field).value());
      return OperatorStatus::kOk;
    case FIELD_WSTRING: {
      const auto& text = static_cast<const WStringField&>(field);
      out->setType(CriteriaValue::STRING);
      out->setNumber(0);
      if (text.length() >= STRING_SPACE) {
        out->setString(nullptr);
        return OperatorStatus::kStringSpace;
      }
      out->setString(text.value(), text.length());
      return OperatorStatus::kOk;
    }
    default:
      return OperatorStatus::kUnknown;
  }
}
