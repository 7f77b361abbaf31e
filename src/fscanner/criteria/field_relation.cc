#include "criteria/field_relation.h"

#include "base/wstring.h"
#include "criteria/criteria_operators.h"
#include "criteria/criteria_token.h"
#include "tablestore/field.h"

FieldRelation::FieldRelation(int64_t code, const CriteriaValue& literal)
    : code_(code), literal_(literal) {
  if (literal.type() != CriteriaValue::STRING || literal.patternSet() != nullptr ||
      (code != OpRelEQ && code != OpRelNE)) {
    return;
  }
  if (hasWildcards(literal.string())) {
    pattern_ = std::make_unique<WildcardPattern>(literal.string());
    return;
  }
  folded_.assign(literal.string(), literal.stringLength());
  wcsLower(folded_.data());
}

FieldRelation::Outcome FieldRelation::decideNumber(int64_t value) const {
  const int64_t other = literal_.number();
  switch (code_) {
    case OpRelEQ:
      return value == other ? kTrue : kFalse;
    case OpRelGE:
      return value >= other ? kTrue : kFalse;
    case OpRelLE:
      return value <= other ? kTrue : kFalse;
    case OpRelGT:
      return value > other ? kTrue : kFalse;
    case OpRelLT:
      return value < other ? kTrue : kFalse;
    case OpRelNE:
      return value != other ? kTrue : kFalse;
    default:
      return kUndecided;
  }
}

template <typename Unit>
bool FieldRelation::equalsText(const Unit* text, size_t length, bool caseSensitive) const {
  if (pattern_ != nullptr) return pattern_->match(text, length, caseSensitive) == 1;
  // The literal holds no zero unit, so equal lengths and equal units are what wcsCompare finds.
  if (length != folded_.size()) return false;
  const char16_t* literal = literal_.string();
  for (size_t i = 0; i < length; ++i) {
    if (caseSensitive ? text[i] != literal[i] : toLowerChar(text[i]) != folded_[i]) return false;
  }
  return true;
}

FieldRelation::Outcome FieldRelation::decide(const Field& field, bool caseSensitive,
                                             std::u16string* scratch) const {
  const bool numeric = literal_.type() == CriteriaValue::NUMERIC;
  switch (field.type()) {
    case FIELD_BYTE:
      return numeric ? decideNumber(static_cast<const ByteField&>(field).value()) : kUndecided;
    case FIELD_WORD:
      return numeric ? decideNumber(static_cast<const WordField&>(field).value()) : kUndecided;
    case FIELD_INT32:
      return numeric ? decideNumber(
                           static_cast<uint32_t>(static_cast<const Int32Field&>(field).value()))
                     : kUndecided;
    case FIELD_INT64:
      return numeric ? decideNumber(static_cast<const Int64Field&>(field).value()) : kUndecided;
    case FIELD_WSTRING:
      break;
    default:
      return kUndecided;
  }
  const auto& string = static_cast<const WStringField&>(field);
  if (numeric || string.length() >= STRING_SPACE) return kUndecided;
  const size_t length = string.length();
  if ((code_ == OpRelEQ || code_ == OpRelNE) && literal_.patternSet() == nullptr) {
    // Text still where the table stores it is compared there, without widening it.
    const uint8_t* ascii = string.asciiBytes();
    const bool equal =
        ascii != nullptr && (pattern_ == nullptr || pattern_->decidesByRuns())
            ? equalsText(ascii, length, caseSensitive)
            : equalsText(string.value() != nullptr ? string.value() : u"", length, caseSensitive);
    return equal == (code_ == OpRelEQ) ? kTrue : kFalse;
  }
  const char16_t* text = string.value() != nullptr ? string.value() : u"";
  bool holds = false;
  if (compareText(code_, text, length, literal_, caseSensitive, scratch, &holds) !=
      OperatorStatus::kOk) {
    return kUndecided;
  }
  return holds ? kTrue : kFalse;
}
