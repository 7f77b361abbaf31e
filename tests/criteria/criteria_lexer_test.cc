#include "criteria/criteria_lexer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "criteria/criteria_fixture.h"
#include "criteria/pattern_set.h"

namespace {

TEST(CriteriaLexerTest, TokensInRecogniserOrder) {
  forEachCase(
      u"[PATHID]==pathid -> C(PATHID) R0 V(pathid) $; a<=b -> V(a) R2 V(b) $; a=b -> V(a) ?; "
      u"!= ! && & || | >= > < == + - * / ;( ) . , -> "
      u"R5 B2 B0 A6 B1 A7 R1 R3 R4 R0 A0 A2 A4 A5 U2 P0 P1 U0 U1 $; my_name -> V(my) ?; "
      u"x1Y2 [A1] -> V(x1Y2) C(A1) $; [MY NAME] -> ?; [1A] -> ?; [NAME -> ?; {\"a\" -> ?; "
      u"12 007 1.5 .5 09 -5 -> N12 N7 N0 N0 N9 A2 N5 $; 5. -> ?; 5.x -> ?; 5abc -> N5 V(abc) $; "
      u"9223372036854775807 9223372036854775808 -> N9223372036854775807 N9223372036854775807 $; "
      u"  \"a b\" \"\" {}   -> S(a b) S() S() $; 1\t2 -> N1 ?; \"abc -> ?; \u00e9 -> ?",
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

// Each case: the text between the braces -> the pattern count, then texts that match (+) or not
// (-). Patterns are lower-cased at build; text outside quotes is skipped, and an unterminated item
// runs to the end.
TEST(PatternSetTest, MatchesOfSetLiterals) {
  forEachCase(
      u"\"*.exe\", \"readme*\", \"a?c\" -> 3 +setup.exe +readme.txt +abc -exe -; "
      u"\"*abc\" -> 1 +abc +xabc -abcx; \"abc*\" -> 1 +abc +abcd -xabc; "
      u"\"abc\" -> 1 +abc -abcd -ab; "
      u"\"*.EXE\",\"README\",\"DATA*\",\"A?C\" -> 4 +setup.exe +readme +data.bin +abc -SETUP.EXE; "
      u"\"abc\", \"*\", \"x\" -> 2 + +anything;  -> 0 -; \"\", \"\" -> 2 - -a; "
      u" \"a.txt\" , junk \"b*\",\"c -> 3 +a.txt +banana +c -junk",
      [](const std::u16string& literal, const std::string& expected) {
        SCOPED_TRACE(narrow(literal));
        PatternSet set;
        set.addQuoted(literal.c_str(), literal.size());
        set.build(false);
        std::istringstream words(expected);
        uint32_t count = 0;
        words >> count;
        EXPECT_EQ(set.count(), count);
        for (std::string word; words >> word;) {
          const std::u16string text(word.begin() + 1, word.end());
          EXPECT_EQ(set.match(text.c_str()), word[0] == '+') << word;
        }
      });
}

TEST(PatternSetTest, OverlongPatternsAndTextsStayInsideTheTables) {
  const std::u16string longName(PatternSet::kLengthSlots + 10, u'a');
  PatternSet set;
  for (const std::u16string& pattern : {longName, u"*" + longName, u"b" + longName + u"*"}) {
    EXPECT_EQ(set.add(pattern.c_str()), PatternSet::kGeneral);
  }
  set.add(u"*.txt");
  EXPECT_EQ(set.add(u"x*") + set.add(nullptr), PatternSet::kPrefix);
  EXPECT_FALSE(set.match(u"x"));  // not built yet
  set.build(false);
  for (const std::u16string& text :
       {longName, u"zz" + longName, u"b" + longName + u"c", longName + u".txt", u"x" + longName}) {
    EXPECT_TRUE(set.match(text.c_str()));
  }
  EXPECT_FALSE(set.match((longName + u"b").c_str()));
}

// The hash of the first table values, the table sizes, the reseeding, and patterns whose hashes
// all collide (the hash keeps only the last 32 units): past the probe limit they are matched as
// general patterns, so building and matching stay linear.
TEST(PatternHashTest, HashSizesReseedingAndCollisions) {
  EXPECT_EQ(PatternHash::hashOf(u"", 0), 0u);
  EXPECT_EQ(PatternHash::hashOf(u"\x0105", 1), 0x2A53EE83u);
  EXPECT_EQ(PatternHash::hashOf(u"\x02\x03", 2), 0x1C7C0B81u + 2 * 0x1EEC53FAu);
  std::vector<std::u16string> strings(5, u"a");
  std::vector<uint32_t> refused;
  // Each table seeds the random generator with the time and takes one number: the next one a
  // caller draws is the second number of that time's sequence.
  std::srand(12345);
  const std::time_t before = std::time(nullptr);
  EXPECT_EQ(PatternHash(&strings, true, &refused).size(), 16u);
  const int drawn = std::rand();
  bool seededByTime = false;
  for (std::time_t t = before; t <= std::time(nullptr); ++t) {
    std::srand(static_cast<unsigned>(t));
    std::rand();
    seededByTime = seededByTime || std::rand() == drawn;
  }
  EXPECT_TRUE(seededByTime);
  strings.resize(170, u"b");
  EXPECT_EQ(PatternHash(&strings, true, &refused).size(), 512u);

  const std::u16string tail(40, u'z');
  PatternSet set;
  std::vector<std::u16string> names;
  for (int i = 0; i < 20000; ++i) {
    names.push_back(decimal(i) + tail);
    set.add(names.back().c_str());
    set.add((u"*" + names.back()).c_str());
    set.add(u"SAME");
  }
  set.build(false);
  EXPECT_EQ(set.kinds(), PatternSet::kExact | PatternSet::kSuffix | PatternSet::kGeneral);
  EXPECT_GT(set.patterns(PatternSet::kGeneral).size(), 30000u);
  EXPECT_TRUE(set.match(u"same"));
  for (int i = 0; i < 20000; i += 997) {
    EXPECT_TRUE(set.match(names[i].c_str())) << i;
    EXPECT_TRUE(set.match((u"x" + names[i]).c_str())) << i;
  }
  EXPECT_FALSE(set.match((u"x" + tail).c_str()));
}

}  // namespace
