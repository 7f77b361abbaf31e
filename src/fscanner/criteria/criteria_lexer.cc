#include "criteria/criteria_lexer.h"

#include <cassert>
#include <cstring>

#include "base/wstring.h"
#include "criteria/criteria_commands.h"

namespace {

bool isLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool isLetterOrDigit(char16_t c) { return isLetter(c) || isDigit(c); }

struct OperatorText {
  const char16_t* text;
  int64_t code;
};

constexpr OperatorText kRelational[] = {{u"==", OpRelEQ}, {u">=", OpRelGE}, {u"<=", OpRelLE},
                                        {u">", OpRelGT},  {u"<", OpRelLT},  {u"!=", OpRelNE}};
constexpr OperatorText kBoolean[] = {{u"&&", OpAnd}, {u"||", OpOr}, {u"!", OpNot}};
constexpr OperatorText kArithmetic[] = {{u"+", OpAdd}, {u"-", OpSub},    {u"*", OpMul},
                                        {u"/", OpDiv}, {u"&", OpBitAnd}, {u"|", OpBitOr}};
constexpr OperatorText kParentheses[] = {{u"(", ParenOpen}, {u")", ParenClose}};
constexpr OperatorText kPunctuation[] = {
    {u".", PunctDot}, {u",", PunctComma}, {u";", PunctSemicolon}};

}  // namespace

void CriteriaLexer::setText(const char16_t* text) {
  patternSets_.clear();
  patternSetBytes_ = 0;
  patternSpaceExhausted_ = false;
  token_ = CriteriaToken();
  position_ = 0;
  tokenStart_ = 0;
  hasText_ = text != nullptr;
  text_.assign(hasText_ ? text : u"");
  status_ = hasText_ ? LEX_OK : LEX_ERROR;
}

void CriteriaLexer::setToken(TokenKind kind, int64_t number, size_t textStart, size_t textLength) {
  token_.kind = kind;
  token_.number = number;
  token_.patterns = nullptr;
  token_.text.assign(text_, textStart, textLength);
}

const CriteriaToken& CriteriaLexer::next() {
  tokenStart_ = position_;
  if (!hasText_) {
    setToken(TokNone, 0, 0, 0);
    status_ = LEX_ERROR;
    return token_;
  }
  while (at(position_) == u' ') ++position_;
  if (atEnd()) {
    setToken(TokNone, 0, 0, 0);
    status_ = LEX_END;
    return token_;
  }
  bool recognised = setLiteral() || numericLiteral() || punctuation() || commandName() ||
                    variableName() || columnReference() || stringLiteral() ||
                    relationalOperator() || booleanOperator() || arithmeticOperator() ||
                    parenthesis();
  if (!recognised) setToken(TokNone, 0, 0, 0);
  status_ = recognised ? LEX_OK : LEX_ERROR;
  return token_;
}

bool CriteriaLexer::setLiteral() {
  if (at(position_) != u'{') return false;
  size_t close = text_.find(u'}', position_ + 1);
  if (close == std::u16string::npos) return false;
  size_t start = position_ + 1;
  size_t length = close - start;
  if (length >= STRING_SPACE) return false;
  // unget() rewinds one token only, so a literal read again is the last one made.
  if (patternSets_.empty() || lastSetStart_ != position_) {
    auto patterns = std::make_unique<PatternSet>();
    patterns->addQuoted(text_.data() + start, length);
    patterns->build(false);
    size_t bytes = patterns->footprint();
    if (bytes > kMaxPatternSetBytes - patternSetBytes_) {
      patternSpaceExhausted_ = true;
      return false;
    }
    patternSetBytes_ += bytes;
    assert(patternSetBytes_ <= kMaxPatternSetBytes);
    patternSets_.push_back(std::move(patterns));
    lastSetStart_ = position_;
  }
  setToken(TokString, 0, start, length);
  token_.patterns = patternSets_.back().get();
  position_ = close + 1;
  return true;
}

bool CriteriaLexer::numericLiteral() {
  size_t end = position_;
  while (isDigit(at(end))) ++end;
  bool integerPart = end > position_;
  if (at(end) == u'.') {
    size_t fraction = end + 1;
    while (isDigit(at(fraction))) ++fraction;
    // A "." without digits after it makes the whole candidate fail.
    if (fraction == end + 1) return false;
    end = fraction;
  } else if (!integerPart) {
    return false;
  }
  char16_t digits[kNumberDigits + 1] = {};
  size_t used = end - position_ < kNumberDigits ? end - position_ : kNumberDigits;
  std::memcpy(digits, text_.data() + position_, used * sizeof(char16_t));
  setToken(TokNumeric, wideToInt64(digits), 0, 0);
  position_ = end;
  return true;
}

bool CriteriaLexer::punctuation() {
  for (const OperatorText& punct : kPunctuation) {
    if (at(position_) == punct.text[0]) {
      setToken(TokPunct, punct.code, 0, 0);
      ++position_;
      return true;
    }
  }
  return false;
}

bool CriteriaLexer::commandName() {
  size_t count = criteriaCommandCount();
  for (size_t i = 0; i < count; ++i) {
    const char16_t* name = criteriaCommandAt(i)->name;
    size_t length = wcsLength(name);
    if (length > 0 && text_.compare(position_, length, name) == 0) {
      setToken(TokCommand, static_cast<int64_t>(i), 0, 0);
      position_ += length;
      return true;
    }
  }
  return false;
}

bool CriteriaLexer::variableName() {
  if (!isLetter(at(position_))) return false;
  size_t end = position_ + 1;
  while (isLetterOrDigit(at(end))) ++end;
  if (end - position_ >= kMaxNameUnits) return false;
  setToken(TokVariable, 0, position_, end - position_);
  position_ = end;
  return true;
}

bool CriteriaLexer::columnReference() {
  if (at(position_) != u'[' || !isLetter(at(position_ + 1))) return false;
  size_t end = position_ + 2;
  while (isLetterOrDigit(at(end))) ++end;
  if (at(end) != u']' || end - position_ - 1 >= STRING_SPACE) return false;
  setToken(TokColumn, 0, position_ + 1, end - position_ - 1);
  position_ = end + 1;
  return true;
}

bool CriteriaLexer::stringLiteral() {
  if (at(position_) != u'"') return false;
  size_t close = text_.find(u'"', position_ + 1);
  if (close == std::u16string::npos || close - position_ - 1 >= STRING_SPACE) return false;
  setToken(TokString, 0, position_ + 1, close - position_ - 1);
  position_ = close + 1;
  return true;
}

namespace {

template <size_t N>
const OperatorText* matchOperator(const std::u16string& text, size_t position,
                                  const OperatorText (&table)[N]) {
  for (const OperatorText& op : table) {
    size_t length = wcsLength(op.text);
    if (text.compare(position, length, op.text) == 0) return &op;
  }
  return nullptr;
}

}  // namespace

bool CriteriaLexer::relationalOperator() {
  const OperatorText* op = matchOperator(text_, position_, kRelational);
  if (op == nullptr) return false;
  setToken(TokRel, op->code, 0, 0);
  position_ += wcsLength(op->text);
  return true;
}

bool CriteriaLexer::booleanOperator() {
  const OperatorText* op = matchOperator(text_, position_, kBoolean);
  if (op == nullptr) return false;
  setToken(TokBool, op->code, 0, 0);
  position_ += wcsLength(op->text);
  return true;
}

bool CriteriaLexer::arithmeticOperator() {
  const OperatorText* op = matchOperator(text_, position_, kArithmetic);
  if (op == nullptr) return false;
  setToken(TokArith, op->code, 0, 0);
  position_ += wcsLength(op->text);
  return true;
}

bool CriteriaLexer::parenthesis() {
  const OperatorText* op = matchOperator(text_, position_, kParentheses);
  if (op == nullptr) return false;
  setToken(TokParen, op->code, 0, 0);
  ++position_;
  return true;
}
