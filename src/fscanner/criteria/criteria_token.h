// Tokens of the criteria language, as the lexer cuts them and as syntax tree nodes hold them.
#ifndef FSCANNER_CRITERIA_CRITERIA_TOKEN_H
#define FSCANNER_CRITERIA_CRITERIA_TOKEN_H

#include <cstdint>
#include <memory>
#include <string>

#include "criteria/criteria_value.h"

class PatternSet;

enum TokenKind : int8_t {
  TokNone = -1,  // end of text or an unrecognised character
  TokNumeric = 0,
  TokString = 1,  // string literal, or set literal (with a pattern set)
  TokColumn = 2,  // [NAME]
  TokVariable = 3,
  TokArith = 4,
  TokParen = 5,
  TokBool = 6,
  TokRel = 7,
  TokCommand = 8,
  TokPunct = 9,
};

// Operator codes, the number of a TokArith, TokBool or TokRel token. The unary arithmetic codes
// are never produced by the lexer: the analyzer gives them to a leading "+" or "-".
enum ArithCode : int64_t {
  OpAdd = 0,
  OpUnaryPlus = 1,
  OpSub = 2,
  OpUnaryMinus = 3,
  OpMul = 4,
  OpDiv = 5,
  OpBitAnd = 6,
  OpBitOr = 7,
};
enum BoolCode : int64_t { OpAnd = 0, OpOr = 1, OpNot = 2 };
enum RelCode : int64_t {
  OpRelEQ = 0,
  OpRelGE = 1,
  OpRelLE = 2,
  OpRelGT = 3,
  OpRelLT = 4,
  OpRelNE = 5
};
enum ParenCode : int64_t { ParenOpen = 0, ParenClose = 1 };
enum PunctCode : int64_t { PunctDot = 0, PunctComma = 1, PunctSemicolon = 2 };

struct CriteriaToken {
  CriteriaToken() = default;
  CriteriaToken(TokenKind kind, int64_t number) : kind(kind), number(number) {}
  // Copies every field but the operand cache: a copy starts without one, and an assignment keeps
  // the target's. The pattern set is shared.
  CriteriaToken(const CriteriaToken& other)
      : text(other.text), kind(other.kind), patterns(other.patterns), number(other.number) {}
  CriteriaToken& operator=(const CriteriaToken& other) {
    text = other.text;
    kind = other.kind;
    patterns = other.patterns;
    number = other.number;
    return *this;
  }

  bool is(TokenKind k, int64_t code) const { return kind == k && number == code; }

  // A name, or the body of a string or set literal; empty otherwise.
  std::u16string text;
  TokenKind kind = TokNone;
  // Set for a set literal only; owned by the lexer that made it.
  const PatternSet* patterns = nullptr;
  // The value of a literal operand, kept by the syntax tree walk once computed.
  std::unique_ptr<CriteriaValue> operandCache;
  // A literal's value, an operator or punctuation code, or a command's registry index.
  int64_t number = 0;
};

#endif  // FSCANNER_CRITERIA_CRITERIA_TOKEN_H
