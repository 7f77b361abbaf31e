#include "criteria/criteria_lexer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "criteria/criteria_fixture.h"

namespace {

// The tokens of a whole text, one word each: a kind letter (N number, S string, C column,
// V variable, A arithmetic, P parenthesis, B boolean, R relational, K command, U punctuation),
// then the number or the text in parentheses; "$" ends a text that ran out, "?" one that failed.
std::string tokensOf(const std::u16string& text) {
  CriteriaLexer lexer;
  lexer.setText(text.c_str());
  std::string out;
  for (;;) {
    const CriteriaToken& token = lexer.next();
    if (lexer.status() != CriteriaLexer::LEX_OK) {
      EXPECT_EQ(token.kind, TokNone);
      return out + (lexer.status() == CriteriaLexer::LEX_END ? "$" : "?");
    }
    out += "NSCVAPBRKU"[token.kind];
    out += token.kind <= TokVariable && token.kind != TokNumeric ? "(" + narrow(token.text) + ")"
                                                                 : std::to_string(token.number);
    out += " ";
  }
}

TEST(CriteriaLexerTest, TokensInRecogniserOrder) {
  forEachCase(
      u"[PATHID]==pathid -> C(PATHID) R0 V(pathid) $; a<=b -> V(a) R2 V(b) $; a=b -> V(a) ?; "
      u"!= ! && & || | >= > < == + - * / ;( ) . , -> "
      u"R5 B2 B0 A6 B1 A7 R1 R3 R4 R0 A0 A2 A4 A5 U2 P0 P1 U0 U1 $; my_name -> V(my) ?; "
      u"x1Y2 [A1] -> V(x1Y2) C(A1) $; [MY NAME] -> ?; [1A] -> ?; [NAME -> ?; "
      u"12 007 1.5 .5 09 -5 -> N12 N7 N0 N0 N9 A2 N5 $; 5. -> ?; 5.x -> ?; 5abc -> N5 V(abc) $; "
      u"9223372036854775807 9223372036854775808 -> N9223372036854775807 N9223372036854775807 $; "
      u"  \"a b\" \"\" {}   -> S(a b) S() S() $; 1\t2 -> N1 ?; 1\n -> N1 ?; \"abc -> ?; "
      u"\u00e9 -> ?; {\"a\" -> ?",
      [](const std::u16string& text, const std::string& tokens) {
        EXPECT_EQ(tokensOf(text), tokens) << excerpt(text);
      });
  // Only the first 23 characters of a number count.
  EXPECT_EQ(tokensOf(std::u16string(300, u'1')), "N9223372036854775807 $");
  EXPECT_EQ(tokensOf(u"00000000000000000000012" + std::u16string(100, u'9')), "N12 $");
}

TEST(CriteriaLexerTest, NoTextAndOverlongTokens) {
  CriteriaLexer lexer;
  lexer.setText(nullptr);
  EXPECT_EQ(lexer.status(), CriteriaLexer::LEX_ERROR);
  EXPECT_EQ(lexer.next().kind, TokNone);
  EXPECT_EQ(lexer.status(), CriteriaLexer::LEX_ERROR);

  std::u16string longName(CriteriaLexer::kMaxNameUnits, u'a');
  EXPECT_EQ(tokensOf(longName), "?");
  EXPECT_EQ(tokensOf(longName.substr(1)).size(), longName.size() + 4);
  std::u16string body(STRING_SPACE, u'x');
  for (const std::u16string& text :
       {u"\"" + body + u"\"", u"[A" + body + u"]", u"{" + body + u"}"}) {
    EXPECT_EQ(tokensOf(text), "?");
  }
  EXPECT_EQ(tokensOf(u"\"" + body.substr(1) + u"\"").size(), body.size() + 4);
}

// Copies of tokens, as tree nodes and the walk make them, and values reset by type.
TEST(CriteriaLexerTest, TokenCopiesLeaveTheOperandCacheAndValuesResetByType) {
  CriteriaToken token(TokString, 0);
  token.operandCache = std::make_unique<CriteriaValue>();
  CriteriaToken target(TokNumeric, 5);
  target.operandCache = std::make_unique<CriteriaValue>();
  CriteriaValue* kept = target.operandCache.get();
  target = token;
  EXPECT_EQ(target.kind, TokString);
  EXPECT_EQ(target.operandCache.get(), kept);
  EXPECT_EQ(CriteriaToken(token).operandCache, nullptr);

  CriteriaValue value;
  value.setString(u"abc");
  value.setNumber(9);
  EXPECT_FALSE(value.resetToType(2));
  EXPECT_TRUE(value.resetToType(CriteriaValue::STRING));
  EXPECT_EQ(std::u16string(value.string()) + u"/" + decimal(value.number()), u"/9");
  EXPECT_TRUE(value.resetToType(CriteriaValue::NUMERIC));
  EXPECT_EQ(value.number(), 0);
}

}  // namespace
