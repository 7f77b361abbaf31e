#include "fscommon/criteria_lexer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Expected {
  TokenKind kind;
  int64_t number;
  std::u16string text;
};

// Lexes the whole text; the last entry is the token that ended it (end or error).
std::vector<Expected> lexAll(const std::u16string& text, CriteriaLexer::Status* last) {
  CriteriaLexer lexer;
  lexer.setText(text.c_str());
  std::vector<Expected> tokens;
  for (;;) {
    const CriteriaToken& token = lexer.next();
    tokens.push_back({token.kind, token.number, token.text});
    if (lexer.status() != CriteriaLexer::LEX_OK) break;
  }
  *last = lexer.status();
  return tokens;
}

void expectTokens(const std::u16string& text, const std::vector<Expected>& expected,
                  CriteriaLexer::Status status) {
  SCOPED_TRACE(std::string(text.begin(), text.end()));
  CriteriaLexer::Status last;
  std::vector<Expected> tokens = lexAll(text, &last);
  EXPECT_EQ(last, status);
  ASSERT_EQ(tokens.size(), expected.size());
  for (size_t i = 0; i < tokens.size(); ++i) {
    EXPECT_EQ(tokens[i].kind, expected[i].kind) << "token " << i;
    EXPECT_EQ(tokens[i].number, expected[i].number) << "token " << i;
    EXPECT_TRUE(tokens[i].text == expected[i].text) << "token " << i;
  }
}

constexpr auto kEnd = CriteriaLexer::LEX_END;
constexpr auto kError = CriteriaLexer::LEX_ERROR;
const Expected kNone{TokNone, 0, u""};

TEST(CriteriaLexerTest, NamesOperatorsAndTheirOrder) {
  expectTokens(
      u"[PATHID]==pathid",
      {{TokColumn, 0, u"PATHID"}, {TokRel, OpRelEQ, u""}, {TokVariable, 0, u"pathid"}, kNone},
      kEnd);
  expectTokens(u"a<=b",
               {{TokVariable, 0, u"a"}, {TokRel, OpRelLE, u""}, {TokVariable, 0, u"b"}, kNone},
               kEnd);
  expectTokens(u"a=b", {{TokVariable, 0, u"a"}, kNone}, kError);
  expectTokens(u"!= ! && & || | >= > < == + - * / ( ) . , ;",
               {{TokRel, OpRelNE, u""},
                {TokBool, OpNot, u""},
                {TokBool, OpAnd, u""},
                {TokArith, OpBitAnd, u""},
                {TokBool, OpOr, u""},
                {TokArith, OpBitOr, u""},
                {TokRel, OpRelGE, u""},
                {TokRel, OpRelGT, u""},
                {TokRel, OpRelLT, u""},
                {TokRel, OpRelEQ, u""},
                {TokArith, OpAdd, u""},
                {TokArith, OpSub, u""},
                {TokArith, OpMul, u""},
                {TokArith, OpDiv, u""},
                {TokParen, ParenOpen, u""},
                {TokParen, ParenClose, u""},
                {TokPunct, PunctDot, u""},
                {TokPunct, PunctComma, u""},
                {TokPunct, PunctSemicolon, u""},
                kNone},
               kEnd);
  expectTokens(u"my_name", {{TokVariable, 0, u"my"}, kNone}, kError);
  expectTokens(u"x1Y2 [A1]", {{TokVariable, 0, u"x1Y2"}, {TokColumn, 0, u"A1"}, kNone}, kEnd);
  expectTokens(u"[MY NAME]", {kNone}, kError);
  expectTokens(u"[1A]", {kNone}, kError);
  expectTokens(u"[NAME", {kNone}, kError);
}

TEST(CriteriaLexerTest, NumericLiterals) {
  expectTokens(u"12 007 1.5 .5",
               {{TokNumeric, 12, u""},
                {TokNumeric, 7, u""},
                {TokNumeric, 0, u""},
                {TokNumeric, 0, u""},
                kNone},
               kEnd);
  expectTokens(u"5.", {kNone}, kError);
  expectTokens(u"5.x", {kNone}, kError);
  expectTokens(u"5abc", {{TokNumeric, 5, u""}, {TokVariable, 0, u"abc"}, kNone}, kEnd);
  expectTokens(u"-5", {{TokArith, OpSub, u""}, {TokNumeric, 5, u""}, kNone}, kEnd);
  expectTokens(u"9223372036854775807 9223372036854775808",
               {{TokNumeric, INT64_MAX, u""}, {TokNumeric, INT64_MAX, u""}, kNone}, kEnd);
  // Only the first 23 characters count.
  expectTokens(std::u16string(300, u'1'), {{TokNumeric, INT64_MAX, u""}, kNone}, kEnd);
  expectTokens(u"00000000000000000000012" + std::u16string(100, u'9'),
               {{TokNumeric, 12, u""}, kNone}, kEnd);
}

TEST(CriteriaLexerTest, StringLiteralsSpacesAndUnrecognisedCharacters) {
  expectTokens(u"\"a b\" \"\"", {{TokString, 0, u"a b"}, {TokString, 0, u""}, kNone}, kEnd);
  expectTokens(u"\"abc", {kNone}, kError);
  expectTokens(u"  1  ", {{TokNumeric, 1, u""}, kNone}, kEnd);
  expectTokens(u"1\t2", {{TokNumeric, 1, u""}, kNone}, kError);
  expectTokens(u"1\n", {{TokNumeric, 1, u""}, kNone}, kError);
  expectTokens(u"\u00e9", {kNone}, kError);
  expectTokens(u"=", {kNone}, kError);
}

TEST(CriteriaLexerTest, SetLiteralsCarryTheirOwnPatternSet) {
  CriteriaLexer lexer;
  lexer.setText(u"{\"*.exe\", \"readme*\"} == 1");
  const CriteriaToken& set = lexer.next();
  EXPECT_EQ(set.kind, TokString);
  EXPECT_TRUE(set.text == u"\"*.exe\", \"readme*\"");
  const PatternSet* patterns = set.patterns;
  ASSERT_NE(patterns, nullptr);
  EXPECT_EQ(patterns->count(), 2u);
  EXPECT_TRUE(patterns->match(u"setup.exe"));
  EXPECT_TRUE(patterns->match(u"readme.txt"));

  // Recognised again after unget, with a set of its own.
  lexer.unget();
  const CriteriaToken& again = lexer.next();
  EXPECT_EQ(again.kind, TokString);
  ASSERT_NE(again.patterns, nullptr);
  EXPECT_NE(again.patterns, patterns);
  EXPECT_TRUE(again.patterns->match(u"setup.exe"));

  EXPECT_EQ(lexer.next().patterns, nullptr);
  EXPECT_EQ(lexer.next().kind, TokNumeric);
  EXPECT_EQ(lexer.next().kind, TokNone);
  EXPECT_EQ(lexer.status(), CriteriaLexer::LEX_END);
  // The end token repeats.
  EXPECT_EQ(lexer.next().kind, TokNone);
  EXPECT_EQ(lexer.status(), CriteriaLexer::LEX_END);

  // Without a closing brace "{" is nothing at all.
  expectTokens(u"{\"a\"", {kNone}, kError);
  expectTokens(u"{}", {{TokString, 0, u""}, kNone}, kEnd);
}

TEST(CriteriaLexerTest, UngetRewindsPastSkippedSpaces) {
  CriteriaLexer lexer;
  lexer.setText(u"a   + b");
  EXPECT_EQ(lexer.next().kind, TokVariable);
  EXPECT_EQ(lexer.next().kind, TokArith);
  lexer.unget();
  EXPECT_EQ(lexer.position(), 1u);
  EXPECT_EQ(lexer.next().kind, TokArith);
  EXPECT_TRUE(lexer.next().text == u"b");
}

TEST(CriteriaLexerTest, NoTextAndOverlongTokens) {
  CriteriaLexer lexer;
  lexer.setText(nullptr);
  EXPECT_EQ(lexer.status(), CriteriaLexer::LEX_ERROR);
  EXPECT_EQ(lexer.next().kind, TokNone);
  EXPECT_EQ(lexer.status(), CriteriaLexer::LEX_ERROR);

  std::u16string longName(CriteriaLexer::kMaxNameUnits, u'a');
  expectTokens(longName, {kNone}, kError);
  expectTokens(longName.substr(1), {{TokVariable, 0, longName.substr(1)}, kNone}, kEnd);
  std::u16string body(STRING_SPACE, u'x');
  expectTokens(u"\"" + body + u"\"", {kNone}, kError);
  expectTokens(u"[A" + body + u"]", {kNone}, kError);
  expectTokens(u"{" + body + u"}", {kNone}, kError);
}

}  // namespace
