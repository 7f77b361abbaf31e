#include "base/wildcard.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace {

using std::u16string;

char16_t fold(char16_t c) { return (c >= u'A' && c <= u'Z') ? c + 32 : c; }

// Reference glob matcher: dynamic programming over pattern and text prefixes.
bool referenceMatch(const u16string& pattern, const u16string& text, bool caseSensitive) {
  std::vector<std::vector<bool>> dp(pattern.size() + 1, std::vector<bool>(text.size() + 1, false));
  dp[0][0] = true;
  for (size_t i = 1; i <= pattern.size(); ++i) {
    const char16_t p = pattern[i - 1];
    for (size_t j = 0; j <= text.size(); ++j) {
      if (p == u'*') {
        dp[i][j] = dp[i - 1][j] || (j > 0 && dp[i][j - 1]);
      } else if (j > 0) {
        const char16_t t = text[j - 1];
        dp[i][j] = dp[i - 1][j - 1] && (p == u'?' || (caseSensitive ? p == t : fold(p) == fold(t)));
      }
    }
  }
  return dp[pattern.size()][text.size()];
}

u16string randomText(std::mt19937& rng, const u16string& alphabet, size_t maxLength) {
  u16string out(std::uniform_int_distribution<size_t>(0, maxLength)(rng), u'\0');
  for (char16_t& c : out) c = alphabet[rng() % alphabet.size()];
  return out;
}

// wildcardMatch and a prepared WildcardPattern against the reference (empty texts, stars across
// backslashes, non-ASCII letters); pathMatch has its own matching loop, whose subtree and directory
// rules need a backslash: without one it must agree with the reference too.
TEST(WildcardMatchTest, AgreesWithReferenceMatcher) {
  EXPECT_EQ(wildcardMatch(nullptr, u"a", true) + wildcardMatch(u"*", nullptr, true), 0);
  std::mt19937 rng(20240611);
  for (int i = 0; i < 40000; ++i) {
    const bool caseSensitive = (i & 1) != 0;
    const u16string p = randomText(rng, u"aAb\\*?\u00e4", 7),
                    x = randomText(rng, u"aAbB\\*?\u00c4", 9);
    SCOPED_TRACE(std::to_string(i) + ": " + std::string(p.begin(), p.end()) + " ~ " +
                 std::string(x.begin(), x.end()));
    const bool matches = referenceMatch(p, x, caseSensitive);
    ASSERT_EQ(wildcardMatch(p.c_str(), x.c_str(), caseSensitive) == 1, matches);
    ASSERT_EQ(WildcardPattern(p.c_str()).match(x.c_str(), x.size(), caseSensitive) == 1, matches);
    const u16string q = randomText(rng, u"aAb*?", 6), y = randomText(rng, u"aAbB", 8);
    const bool expected = referenceMatch(q, y, caseSensitive);
    ASSERT_EQ(pathMatch(q.c_str(), y.c_str(), false, caseSensitive) == 1, expected);
    ASSERT_EQ(pathMatch(q.c_str(), y.c_str(), true, caseSensitive) == 1, expected);
  }
}

TEST(WildcardMatchTest, PathologicalPatternsFinish) {
  const u16string as(20000, u'a');
  EXPECT_EQ(wildcardMatch(u"*a*a*a*a*a*a*a*a*b", as.c_str(), true), 0);
  EXPECT_EQ(wildcardMatch(u"*a*a*a*a*a*a*a*a*a", as.c_str(), true), 1);
  EXPECT_EQ(WildcardPattern(nullptr).match(as.c_str(), as.size(), true), 0);
  EXPECT_EQ(pathMatch(u"*a*a*a*a*a*a*a*a*b", as.c_str(), true, false), 0);
  u16string deep;
  for (int i = 0; i < 2000; ++i) deep += u"\\ab";
  deep += u"\\c";
  EXPECT_EQ(pathMatch(u"*\\a*\\a*\\ab", deep.c_str(), false, true), 0);
  EXPECT_EQ(pathMatch(u"*\\a*\\a*\\ab", deep.c_str(), true, true), 1);
}

// Each case: pattern, path, subtree, result. A pattern ending in "\" or "\*" names the directory
// and, with subtree, what lies below; after a star a trailing backslash of the path is accepted
// without subtree.
TEST(PathMatchTest, SubtreeAndTrailingBackslashRules) {
  const std::tuple<const char16_t*, const char16_t*, bool, int> cases[] = {
      {u"C:\\data", u"C:\\data\\", 1, 1},   {u"C:\\data", u"C:\\database", 1, 0},
      {u"C:\\data", u"C:\\data", 0, 1},     {u"C:\\data", u"C:\\data\\", 0, 0},
      {u"C:\\data\\", u"C:\\data", 0, 1},   {u"C:\\data\\*", u"C:\\data", 0, 1},
      {u"C:\\data\\**", u"C:\\data", 0, 0}, {u"C:\\data*\\", u"C:\\data", 0, 0},
      {u"C:\\data\\x", u"C:\\data", 1, 0},  {u"C:\\data\\", u"C:\\data\\x", 1, 1},
      {u"C:\\W\\*", u"C:\\W\\S32", 0, 1},   {u"C:\\*a", u"C:\\data\\", 0, 1},
      {u"C:\\*a", u"C:\\data\\x", 0, 0},    {u"C:\\*a", u"C:\\data\\x", 1, 1}};
  for (const auto& [pattern, path, subtree, result] : cases) {
    EXPECT_EQ(pathMatch(pattern, path, subtree, true), result)
        << testing::PrintToString(pattern) << " " << testing::PrintToString(path);
  }
  EXPECT_EQ(pathMatch(nullptr, u"C:\\", true, true) + pathMatch(u"C:\\", nullptr, true, true), 0);
}

TEST(PathListTest, RecursiveFlagsAndLongestMatch) {
  const PathList list = {PathEntry(u"C:\\flat", false), PathEntry(u"C:\\deep", true),
                         PathEntry(nullptr, true)};
  EXPECT_TRUE(matchesPathList(u"C:\\flat", list, true, false));
  EXPECT_TRUE(matchesPathList(u"C:\\deep\\x", list, true, false));
  EXPECT_TRUE(matchesPathList(u"c:\\DEEP", list, false, true));
  // recursiveOnly: only recursive entries, always with subtree.
  EXPECT_FALSE(matchesPathList(u"C:\\flat\\x", list, true, false) ||
               matchesPathList(u"C:\\other", list, true, false));
  EXPECT_FALSE(matchesPathList(u"C:\\flat", list, true, true));
  EXPECT_FALSE(matchesPathList(u"c:\\DEEP", list, true, true));
  EXPECT_FALSE(matchesPathList(u"C:\\deep", PathList(), true, false));

  const PathList best = {PathEntry(u"C:\\", true), PathEntry(u"C:\\a", true),
                         PathEntry(u"C:\\a\\b", false), PathEntry(u"C:\\?", true),
                         PathEntry(u"C:\\a\\b\\c\\d", true)};
  EXPECT_EQ(findBestMatch(u"C:\\a\\x", best, true), 1);  // C:\a and C:\? tie: first wins
  EXPECT_EQ(findBestMatch(u"C:\\a\\b", best, true), 2);
  EXPECT_EQ(findBestMatch(u"C:\\a\\b\\c", best, true), 1);  // C:\a\b is not recursive
  EXPECT_EQ(findBestMatch(u"C:\\z", best, true), 3);
  EXPECT_EQ(findBestMatch(u"C:\\A\\B", best, false), 2);
  EXPECT_EQ(findBestMatch(u"D:\\a", best, true), -1);
}

}  // namespace
