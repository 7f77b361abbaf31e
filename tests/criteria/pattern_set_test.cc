#include "criteria/pattern_set.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <sstream>
#include <string>
#include <vector>

#include "criteria/criteria_fixture.h"

namespace {

TEST(PatternSetTest, KindsOfPatterns) {
  PatternSet set;
  const std::vector<uint8_t> kinds = {set.add(u"abc"), set.add(u"*.exe"), set.add(u"readme*"),
                                      set.add(u"a?c"), set.add(u"a*c"),   set.add(u"*a*"),
                                      set.add(u""),    set.add(nullptr)};
  EXPECT_EQ(kinds, (std::vector<uint8_t>{1, 2, 4, 8, 8, 8, 0, 0}));
  EXPECT_EQ(set.count(), 7u);
  EXPECT_EQ(set.kinds(), 15);
  EXPECT_TRUE(set.patterns(PatternSet::kSuffix) == std::vector<std::u16string>{u".exe"});
  EXPECT_TRUE(set.patterns(PatternSet::kPrefix) == std::vector<std::u16string>{u"readme"});
  // "*" matches everything; later patterns are ignored.
  EXPECT_EQ(set.add(u"*"), 0);
  EXPECT_EQ(set.add(u"x"), 0);
  EXPECT_EQ(set.count(), 8u);
  EXPECT_FALSE(set.match(u"abc"));  // not built yet
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
  set.add(u"x*");
  set.build(false);
  for (const std::u16string& text :
       {longName, u"zz" + longName, u"b" + longName + u"c", longName + u".txt", u"x" + longName}) {
    EXPECT_TRUE(set.match(text.c_str()));
  }
  EXPECT_FALSE(set.match((longName + u"b").c_str()));
}

TEST(PatternSetTest, BuildingReseedsTheRandomGenerator) {
  // Each hash table seeds with the time and takes one number: the next one a caller draws is the
  // second number of that time's sequence.
  std::srand(12345);
  std::time_t before = std::time(nullptr);
  PatternSet set;
  set.add(u"abc");
  set.build(false);
  int drawn = std::rand();
  std::time_t after = std::time(nullptr);
  bool seededByTime = false;
  for (std::time_t t = before; t <= after; ++t) {
    std::srand(static_cast<unsigned>(t));
    std::rand();
    seededByTime = seededByTime || std::rand() == drawn;
  }
  EXPECT_TRUE(seededByTime);
}

// The hash of the first table values, the table sizes, and patterns whose hashes all collide
// (the hash keeps only the last 32 units): past the probe limit they are matched as general
// patterns, so building and matching stay linear.
TEST(PatternHashTest, HashSizesAndCollisions) {
  EXPECT_EQ(PatternHash::hashOf(u"", 0), 0u);
  EXPECT_EQ(PatternHash::hashOf(u"\x0105", 1), 0x2A53EE83u);
  EXPECT_EQ(PatternHash::hashOf(u"\x02\x03", 2), 0x1C7C0B81u + 2 * 0x1EEC53FAu);
  std::vector<std::u16string> strings(5, u"a");
  std::vector<uint32_t> refused;
  EXPECT_EQ(PatternHash(&strings, true, &refused).size(), 16u);
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
