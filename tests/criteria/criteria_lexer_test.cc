#include "criteria/criteria_lexer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "criteria/criteria_fixture.h"

namespace {

struct Expected {
  Expected(TokenKind kind, int64_t number = 0, const std::u16string& text = u"")
      : kind(kind), number(number), text(text) {}
  TokenKind kind;
  int64_t number;
  std::u16string text;
};

constexpr auto kEnd = CriteriaLexer::LEX_END;
constexpr auto kError = CriteriaLexer::LEX_ERROR;

// Lexes the whole text: the tokens must be `expected` followed by the empty token that ended the
// text with `status`.
void expectTokens(const std::u16string& text, std::vector<Expected> expected,
                  CriteriaLexer::Status status) {
  SCOPED_TRACE(excerpt(text));
  expected.push_back({TokNone});
  CriteriaLexer lexer;
  lexer.setText(text.c_str());
  for (size_t i = 0; i < expected.size(); ++i) {
    const CriteriaToken& token = lexer.next();
    EXPECT_EQ(token.kind, expected[i].kind) << "token " << i;
    EXPECT_EQ(token.number, expected[i].number) << "token " << i;
    EXPECT_TRUE(token.text == expected[i].text) << "token " << i;
    if (i + 1 < expected.size()) {
      ASSERT_EQ(lexer.status(), CriteriaLexer::LEX_OK) << "token " << i;
    }
  }
  EXPECT_EQ(lexer.status(), status);
}

TEST(CriteriaLexerTest, NamesOperatorsAndTheirOrder) {
  expectTokens(u"[PATHID]==pathid",
               {{TokColumn, 0, u"PATHID"}, {TokRel, OpRelEQ}, {TokVariable, 0, u"pathid"}}, kEnd);
  expectTokens(u"a<=b", {{TokVariable, 0, u"a"}, {TokRel, OpRelLE}, {TokVariable, 0, u"b"}}, kEnd);
  expectTokens(u"a=b", {{TokVariable, 0, u"a"}}, kError);
  const std::vector<Expected> operators = {
      {TokRel, OpRelNE},         {TokBool, OpNot},     {TokBool, OpAnd},
      {TokArith, OpBitAnd},      {TokBool, OpOr},      {TokArith, OpBitOr},
      {TokRel, OpRelGE},         {TokRel, OpRelGT},    {TokRel, OpRelLT},
      {TokRel, OpRelEQ},         {TokArith, OpAdd},    {TokArith, OpSub},
      {TokArith, OpMul},         {TokArith, OpDiv},    {TokParen, ParenOpen},
      {TokParen, ParenClose},    {TokPunct, PunctDot}, {TokPunct, PunctComma},
      {TokPunct, PunctSemicolon}};
  expectTokens(u"!= ! && & || | >= > < == + - * / ( ) . , ;", operators, kEnd);
  expectTokens(u"my_name", {{TokVariable, 0, u"my"}}, kError);
  expectTokens(u"x1Y2 [A1]", {{TokVariable, 0, u"x1Y2"}, {TokColumn, 0, u"A1"}}, kEnd);
  for (const char16_t* text : {u"[MY NAME]", u"[1A]", u"[NAME"}) expectTokens(text, {}, kError);
}

TEST(CriteriaLexerTest, NumericLiterals) {
  expectTokens(u"12 007 1.5 .5",
               {{TokNumeric, 12}, {TokNumeric, 7}, {TokNumeric, 0}, {TokNumeric, 0}}, kEnd);
  expectTokens(u"5.", {}, kError);
  expectTokens(u"5.x", {}, kError);
  expectTokens(u"5abc", {{TokNumeric, 5}, {TokVariable, 0, u"abc"}}, kEnd);
  expectTokens(u"-5", {{TokArith, OpSub}, {TokNumeric, 5}}, kEnd);
  expectTokens(u"9223372036854775807 9223372036854775808",
               {{TokNumeric, INT64_MAX}, {TokNumeric, INT64_MAX}}, kEnd);
  // Only the first 23 characters count.
  expectTokens(std::u16string(300, u'1'), {{TokNumeric, INT64_MAX}}, kEnd);
  expectTokens(u"00000000000000000000012" + std::u16string(100, u'9'), {{TokNumeric, 12}}, kEnd);
}

TEST(CriteriaLexerTest, StringLiteralsSpacesAndUnrecognisedCharacters) {
  expectTokens(u"\"a b\" \"\"", {{TokString, 0, u"a b"}, {TokString, 0, u""}}, kEnd);
  expectTokens(u"  1  ", {{TokNumeric, 1}}, kEnd);
  expectTokens(u"1\t2", {{TokNumeric, 1}}, kError);
  expectTokens(u"1\n", {{TokNumeric, 1}}, kError);
  for (const char16_t* text : {u"\"abc", u"\u00e9", u"=", u"{\"a\""})
    expectTokens(text, {}, kError);
  expectTokens(u"{}", {{TokString, 0, u""}}, kEnd);
}

TEST(CriteriaLexerTest, SetLiteralsCarryTheirOwnPatternSetAcrossUnget) {
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

  lexer.unget();
  const CriteriaToken& again = lexer.next();
  ASSERT_NE(again.patterns, nullptr);
  EXPECT_NE(again.patterns, patterns);
  EXPECT_TRUE(again.patterns->match(u"setup.exe"));

  EXPECT_EQ(lexer.next().patterns, nullptr);
  EXPECT_EQ(lexer.next().kind, TokNumeric);
  // The end token repeats.
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(lexer.next().kind, TokNone);
    EXPECT_EQ(lexer.status(), kEnd);
  }
}

TEST(CriteriaLexerTest, UngetRewindsPastSkippedSpaces) {
  CriteriaLexer lexer;
  lexer.setText(u"a   + b");
  lexer.next();
  EXPECT_EQ(lexer.next().kind, TokArith);
  lexer.unget();
  EXPECT_EQ(lexer.position(), 1u);
  EXPECT_EQ(lexer.next().kind, TokArith);
  EXPECT_TRUE(lexer.next().text == u"b");
}

TEST(CriteriaLexerTest, NoTextAndOverlongTokens) {
  CriteriaLexer lexer;
  lexer.setText(nullptr);
  EXPECT_EQ(lexer.status(), kError);
  EXPECT_EQ(lexer.next().kind, TokNone);
  EXPECT_EQ(lexer.status(), kError);

  std::u16string longName(CriteriaLexer::kMaxNameUnits, u'a');
  expectTokens(longName, {}, kError);
  expectTokens(longName.substr(1), {{TokVariable, 0, longName.substr(1)}}, kEnd);
  std::u16string body(STRING_SPACE, u'x');
  for (const std::u16string& text :
       {u"\"" + body + u"\"", u"[A" + body + u"]", u"{" + body + u"}"}) {
    expectTokens(text, {}, kError);
  }
}

}  // namespace
