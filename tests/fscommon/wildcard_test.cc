#include "fscommon/wildcard.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using std::u16string;

char16_t fold(char16_t c) { return (c >= u'A' && c <= u'Z') ? c + 32 : c; }

// Reference glob matcher: dynamic programming over pattern and text prefixes.
bool referenceMatch(const u16string& pattern, const u16string& text, bool caseSensitive) {
  size_t m = pattern.size(), n = text.size();
  std::vector<std::vector<bool>> dp(m + 1, std::vector<bool>(n + 1, false));
  dp[0][0] = true;
  for (size_t i = 1; i <= m; ++i) {
    char16_t p = pattern[i - 1];
    for (size_t j = 0; j <= n; ++j) {
      if (p == u'*') {
        dp[i][j] = dp[i - 1][j] || (j > 0 && dp[i][j - 1]);
      } else if (j > 0) {
        char16_t t = text[j - 1];
        bool same = caseSensitive ? p == t : fold(p) == fold(t);
        dp[i][j] = dp[i - 1][j - 1] && (p == u'?' || same);
      }
    }
  }
  return dp[m][n];
}

u16string randomText(std::mt19937& rng, const u16string& alphabet, size_t maxLength) {
  u16string out(std::uniform_int_distribution<size_t>(0, maxLength)(rng), u'\0');
  std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
  for (char16_t& c : out) c = alphabet[pick(rng)];
  return out;
}

const u16string kPatternAlphabet = u"aAb\\*?\u00e4";
const u16string kTextAlphabet = u"aAbB\\*?\u00c4";

TEST(WildcardMatchTest, Examples) {
  EXPECT_EQ(wildcardMatch(u"*.EXE", u"notepad.exe", false), 1);
  EXPECT_EQ(wildcardMatch(u"*.EXE", u"notepad.exe", true), 0);
  EXPECT_EQ(wildcardMatch(u"a?c", u"abcd", true), 0);
  EXPECT_EQ(wildcardMatch(u"a?c", u"abc", true), 1);
  EXPECT_EQ(wildcardMatch(u"*", u"C:\\a\\b", true), 1);  // stars cross backslashes
  EXPECT_EQ(wildcardMatch(u"C:\\*\\b", u"C:\\a\\x\\b", true), 1);
  EXPECT_EQ(wildcardMatch(u"", u"", true), 1);
  EXPECT_EQ(wildcardMatch(u"**", u"", true), 1);
  EXPECT_EQ(wildcardMatch(u"?", u"", true), 0);
  EXPECT_EQ(wildcardMatch(u"", u"a", true), 0);
  EXPECT_EQ(wildcardMatch(u"\u00c4*", u"\u00e4x", false), 0);  // only ASCII folds
  EXPECT_EQ(wildcardMatch(nullptr, u"a", true), 0);
  EXPECT_EQ(wildcardMatch(u"*", nullptr, true), 0);
}

TEST(WildcardMatchTest, AgreesWithReferenceMatcher) {
  std::mt19937 rng(20240611);
  for (int i = 0; i < 40000; ++i) {
    u16string pattern = randomText(rng, kPatternAlphabet, 7);
    u16string text = randomText(rng, kTextAlphabet, 10);
    bool caseSensitive = (i & 1) != 0;
    ASSERT_EQ(wildcardMatch(pattern.c_str(), text.c_str(), caseSensitive) == 1,
              referenceMatch(pattern, text, caseSensitive))
        << "pattern '" << std::string(pattern.begin(), pattern.end()) << "' text '"
        << std::string(text.begin(), text.end()) << "' caseSensitive " << caseSensitive;
  }
}

TEST(WildcardMatchTest, PathologicalPatternsFinish) {
  u16string as(20000, u'a');
  EXPECT_EQ(wildcardMatch(u"*a*a*a*a*a*a*a*a*b", as.c_str(), true), 0);
  EXPECT_EQ(wildcardMatch(u"*aaaaaaaaaaaaaaaaaaaaaaaaaaaaaab", as.c_str(), true), 0);
  EXPECT_EQ(wildcardMatch(u"*a*a*a*a*a*a*a*a*a", as.c_str(), true), 1);
  EXPECT_EQ(pathMatch(u"*a*a*a*a*a*a*a*a*b", as.c_str(), true, false), 0);
  u16string deep;
  for (int i = 0; i < 2000; ++i) deep += u"\\ab";
  deep += u"\\c";
  EXPECT_EQ(pathMatch(u"*\\a*\\a*\\ab", deep.c_str(), false, true), 0);
  EXPECT_EQ(pathMatch(u"*\\a*\\a*\\ab", deep.c_str(), true, true), 1);
}

TEST(PathMatchTest, SubtreeAndTrailingBackslashRules) {
  EXPECT_EQ(pathMatch(u"C:\\data", u"C:\\data", true, true), 1);
  EXPECT_EQ(pathMatch(u"C:\\data", u"C:\\data\\", true, true), 1);
  EXPECT_EQ(pathMatch(u"C:\\data", u"C:\\data\\x\\y", true, true), 1);
  EXPECT_EQ(pathMatch(u"C:\\data", u"C:\\database", true, true), 0);
  EXPECT_EQ(pathMatch(u"C:\\data", u"C:\\data", false, true), 1);
  EXPECT_EQ(pathMatch(u"C:\\data", u"C:\\data\\", false, true), 0);
  EXPECT_EQ(pathMatch(u"C:\\data", u"C:\\data\\x", false, true), 0);

  // A pattern ending in a backslash names the directory and, with subtree, what lies below.
  EXPECT_EQ(pathMatch(u"C:\\data\\", u"C:\\data", false, true), 1);
  EXPECT_EQ(pathMatch(u"C:\\data\\*", u"C:\\data", false, true), 1);
  EXPECT_EQ(pathMatch(u"C:\\data\\**", u"C:\\data", false, true), 0);
  EXPECT_EQ(pathMatch(u"C:\\data*\\", u"C:\\data", false, true), 0);
  EXPECT_EQ(pathMatch(u"C:\\data\\x", u"C:\\data", true, true), 0);
  EXPECT_EQ(pathMatch(u"C:\\data\\", u"C:\\data\\x", true, true), 1);
  EXPECT_EQ(pathMatch(u"C:\\data\\", u"C:\\data\\x", false, true), 0);

  EXPECT_EQ(pathMatch(u"C:\\Windows\\*", u"C:\\Windows", false, true), 1);
  EXPECT_EQ(pathMatch(u"C:\\Windows\\*", u"C:\\Windows\\System32", false, true), 1);
  EXPECT_EQ(pathMatch(u"C:\\Windows\\*", u"C:\\WindowsOld", false, true), 0);

  // After a star a trailing backslash of the path is accepted without subtree.
  EXPECT_EQ(pathMatch(u"C:\\*a", u"C:\\data\\", false, true), 1);
  EXPECT_EQ(pathMatch(u"C:\\*a", u"C:\\data\\x", false, true), 0);
  EXPECT_EQ(pathMatch(u"C:\\*a", u"C:\\data\\x", true, true), 1);

  EXPECT_EQ(pathMatch(u"c:\\DATA", u"C:\\data\\x", true, false), 1);
  EXPECT_EQ(pathMatch(u"c:\\DATA", u"C:\\data\\x", true, true), 0);
  EXPECT_EQ(pathMatch(nullptr, u"C:\\", true, true), 0);
  EXPECT_EQ(pathMatch(u"C:\\", nullptr, true, true), 0);
}

// pathMatch is wildcardMatch plus subtree and directory rules. Random cases check the relations
// that follow from that against the reference matcher.
TEST(PathMatchTest, RelatesToWildcardMatchOnRandomPaths) {
  std::mt19937 rng(7);
  const u16string noBackslashPattern = u"aAb*?";
  const u16string noBackslashText = u"aAbB";
  for (int i = 0; i < 30000; ++i) {
    bool caseSensitive = (i & 1) != 0;
    u16string p = randomText(rng, kPatternAlphabet, 7);
    u16string x = randomText(rng, kTextAlphabet, 9);
    int plain = pathMatch(p.c_str(), x.c_str(), false, caseSensitive);
    int subtree = pathMatch(p.c_str(), x.c_str(), true, caseSensitive);
    bool full = referenceMatch(p, x, caseSensitive);
    std::string where = "pattern '" + std::string(p.begin(), p.end()) + "' path '" +
                        std::string(x.begin(), x.end()) + "'";

    ASSERT_TRUE(!full || plain == 1) << where;
    ASSERT_TRUE(plain == 0 || subtree == 1) << where;

    // Without subtree: a full match, the directory form (pattern dir\ or dir\*), or a trailing
    // backslash of the path.
    bool directoryForm = referenceMatch(p, x + u"\\", caseSensitive);
    bool trailing = !x.empty() && x.back() == u'\\' &&
                    referenceMatch(p, x.substr(0, x.size() - 1), caseSensitive);
    ASSERT_TRUE(plain == 0 || full || directoryForm || trailing) << where;

    // With subtree: additionally a match of a leading part of the path that ends at a
    // component boundary.
    bool prefixAtBoundary = false;
    for (size_t k = 0; k < x.size() && !prefixAtBoundary; ++k) {
      bool boundary = x[k] == u'\\' || (k > 0 && x[k - 1] == u'\\');
      prefixAtBoundary = boundary && referenceMatch(p, x.substr(0, k), caseSensitive);
    }
    ASSERT_TRUE(subtree == 0 || full || directoryForm || trailing || prefixAtBoundary) << where;

    // Everything below a matching path matches with subtree.
    if (full) {
      u16string below = x + u"\\" + randomText(rng, kTextAlphabet, 4);
      ASSERT_EQ(pathMatch(p.c_str(), below.c_str(), true, caseSensitive), 1) << where;
    }

    // Without backslashes on either side the rules never apply.
    u16string q = randomText(rng, noBackslashPattern, 6);
    u16string y = randomText(rng, noBackslashText, 8);
    bool expected = referenceMatch(q, y, caseSensitive);
    ASSERT_EQ(pathMatch(q.c_str(), y.c_str(), false, caseSensitive) == 1, expected);
    ASSERT_EQ(pathMatch(q.c_str(), y.c_str(), true, caseSensitive) == 1, expected);
  }
}

TEST(PathListTest, MatchesPathListHonoursRecursiveFlags) {
  PathList list = {PathEntry(u"C:\\flat", false), PathEntry(u"C:\\deep", true),
                   PathEntry(nullptr, true)};
  EXPECT_TRUE(matchesPathList(u"C:\\flat", list, true, false));
  EXPECT_FALSE(matchesPathList(u"C:\\flat\\x", list, true, false));
  EXPECT_TRUE(matchesPathList(u"C:\\deep\\x", list, true, false));
  EXPECT_FALSE(matchesPathList(u"C:\\other", list, true, false));

  // recursiveOnly: only recursive entries, always with subtree.
  EXPECT_FALSE(matchesPathList(u"C:\\flat", list, true, true));
  EXPECT_TRUE(matchesPathList(u"C:\\deep\\x", list, true, true));
  EXPECT_TRUE(matchesPathList(u"c:\\DEEP", list, false, true));
  EXPECT_FALSE(matchesPathList(u"c:\\DEEP", list, true, true));

  EXPECT_FALSE(matchesPathList(u"C:\\deep", PathList(), true, false));
  EXPECT_FALSE(matchesPathList(nullptr, list, true, false));
}

TEST(PathListTest, FindBestMatchPrefersLongestThenFirst) {
  PathList list = {PathEntry(u"C:\\", true), PathEntry(u"C:\\a", true),
                   PathEntry(u"C:\\a\\b", false), PathEntry(u"C:\\?", true),
                   PathEntry(u"C:\\a\\b\\c\\d", true)};
  EXPECT_EQ(findBestMatch(u"C:\\a\\x", list, true), 1);  // C:\a and C:\? tie: first wins
  EXPECT_EQ(findBestMatch(u"C:\\a\\b", list, true), 2);
  EXPECT_EQ(findBestMatch(u"C:\\a\\b\\c", list, true), 1);  // C:\a\b is not recursive
  EXPECT_EQ(findBestMatch(u"C:\\z", list, true), 3);
  EXPECT_EQ(findBestMatch(u"C:\\A\\B", list, false), 2);
  EXPECT_EQ(findBestMatch(u"D:\\a", list, true), -1);
  EXPECT_EQ(findBestMatch(u"C:\\a", PathList(), true), -1);
}

}  // namespace
