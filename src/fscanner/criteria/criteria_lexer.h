// Cuts a criteria text into tokens, one per next(). The analyzer looks one token ahead: when a
// token does not belong to the current grammar level it calls unget(), and the token is
// recognised again by the next next().
//
// Recognisers, tried in this order at the first non-space (only U+0020 is a space):
//   set literal  {...}  up to the first "}"; makes a PatternSet of its quoted items
//   number       digits [. digits] | . digits  (a literal with a fraction has the value 0)
//   punctuation  . , ;
//   command      a registered command name (see criteria_commands.h)
//   variable     letter {letter | digit}   (ASCII only)
//   column       [letter {letter | digit}]
//   string       "..." (no escapes; unterminated is no string)
//   relational   == >= <= > < !=
//   boolean      && || !
//   arithmetic   + - * / & |
//   parenthesis  ( )
// Literals and column names of STRING_SPACE units or more and variable names of kMaxNameUnits or
// more are not recognised, so the text fails to parse instead of exceeding the string space.
//
// Memory: a set literal read again after unget() keeps its pattern set, and the sets of one text
// together hold at most kMaxPatternSetBytes; a set literal beyond that is not recognised, and
// patternSpaceExhausted() tells why.
#ifndef FSCANNER_CRITERIA_CRITERIA_LEXER_H
#define FSCANNER_CRITERIA_CRITERIA_LEXER_H

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "criteria/criteria_token.h"
#include "criteria/pattern_set.h"

class CriteriaLexer {
 public:
  enum Status { LEX_OK = 0, LEX_END = 1, LEX_ERROR = 2 };
  static constexpr size_t kMaxNameUnits = 0x200000;
  // Units of a numeric literal that take part in its value.
  static constexpr size_t kNumberDigits = 23;
  static constexpr size_t kMaxPatternSetBytes = 64 * 1024 * 1024;

  CriteriaLexer() = default;
  CriteriaLexer(const CriteriaLexer&) = delete;
  CriteriaLexer& operator=(const CriteriaLexer&) = delete;

  // Copies text and starts at its first unit; null leaves no text and status LEX_ERROR. Pattern
  // sets of the previous text are released.
  void setText(const char16_t* text);
  // Recognises the next token. The reference stays valid, and the token unchanged, until the
  // next call of next() or setText().
  const CriteriaToken& next();
  // Rewinds to where the last next() began.
  void unget() { position_ = tokenStart_; }
  Status status() const { return status_; }
  // Units examined so far, for messages.
  size_t position() const { return position_; }
  // True once a set literal of the text was refused for lack of pattern-set space.
  bool patternSpaceExhausted() const { return patternSpaceExhausted_; }

 private:
  bool atEnd() const { return position_ >= text_.size(); }
  char16_t at(size_t i) const { return i < text_.size() ? text_[i] : u'\0'; }
  void setToken(TokenKind kind, int64_t number, size_t textStart, size_t textLength);

  bool setLiteral();
  bool numericLiteral();
  bool punctuation();
  bool commandName();
  bool variableName();
  bool columnReference();
  bool stringLiteral();
  bool relationalOperator();
  bool booleanOperator();
  bool arithmeticOperator();
  bool parenthesis();

  std::u16string text_;
  bool hasText_ = false;
  size_t position_ = 0;
  size_t tokenStart_ = 0;
  Status status_ = LEX_ERROR;
  CriteriaToken token_;
  // The sets of this text's set literals, in text order, and where the last one began.
  std::vector<std::unique_ptr<PatternSet>> patternSets_;
  size_t lastSetStart_ = 0;
  size_t patternSetBytes_ = 0;
  bool patternSpaceExhausted_ = false;
};

#endif  // FSCANNER_CRITERIA_CRITERIA_LEXER_H
