#include "base/wstring.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/narrow_text.h"

namespace {

using std::u16string;

TEST(WideStringTest, CaseMappingAndComparisonsChangeOnlyAsciiLetters) {
  char16_t text[] = u"aZ_\u00e4\u00c4\u0131!";
  wcsUpper(text);
  EXPECT_EQ(u16string(text), u"AZ_\u00e4\u00c4\u0131!");
  wcsLower(text);
  EXPECT_EQ(u16string(text), u"az_\u00e4\u00c4\u0131!");
  char16_t copy[8] = u"xxxxxxx";
  wcsUpperCopy(u"mIx\u00e4", copy);
  EXPECT_EQ(u16string(copy), u"MIX\u00e4");
  wcsUpperCopy(nullptr, copy);
  EXPECT_EQ(copy[0], u'\0');

  EXPECT_EQ(wcsCompare(u"abc", u"ABC", false), 0);
  EXPECT_LT(wcsCompare(u"ab", u"abc", true), 0);
  EXPECT_GT(wcsCompare(u"\uffff", u"a", true), 0);  // units compare unsigned
  // Folding lower-cases: '_' (0x5F) sorts after 'A' exactly but before 'a' without case.
  EXPECT_GT(wcsCompare(u"_", u"A", true), 0);
  EXPECT_LT(wcsICompare(u"_", u"A"), 0);
  EXPECT_NE(wcsICompare(u"\u00c4", u"\u00e4"), 0);
  EXPECT_EQ(wcsICompare(nullptr, nullptr), 0);
  EXPECT_LT(wcsCompare(nullptr, u"", true), 0);
  EXPECT_GT(wcsICompare(u"", nullptr), 0);
  EXPECT_EQ(wcsCompareN(u"abc", u"abd", 2, true), 0);
  EXPECT_LT(wcsCompareN(u"abc", u"abd", 3, true), 0);
  EXPECT_EQ(wcsCompareN(u"ABc", u"abd", 2, false), 0);
  EXPECT_EQ(wcsNICompare(u"ab", u"AB", 10), 0);  // stops at the end of both
  EXPECT_LT(wcsNICompare(u"ab", u"ABC", 10), 0);
  EXPECT_EQ(wcsNICompare(nullptr, u"y", 0), 0);
}

TEST(WideStringTest, SearchPrependDuplicateTimesAndHash) {
  const char16_t* text = u"abcabc";
  EXPECT_EQ(findCharInRange(text, text + 5, u'c'), text + 2);
  EXPECT_EQ(findCharInRange(text + 3, text + 5, u'c'), text + 5);  // last is inclusive
  EXPECT_EQ(findCharInRange(text, text + 1, u'c'), nullptr);
  EXPECT_EQ(findCharInRange(text + 3, text + 2, u'a'), nullptr);  // first after last
  const char16_t* hay = u"aaab";
  EXPECT_EQ(wcsFind(hay, u"aab"), hay + 1);
  EXPECT_EQ(wcsFind(hay, u""), hay);
  EXPECT_EQ(wcsFind(hay, u"aaaba"), nullptr);
  EXPECT_EQ(wcsFind(nullptr, u""), nullptr);
  EXPECT_TRUE(hasWildcards(u"a*") && hasWildcards(u"?"));
  EXPECT_FALSE(hasWildcards(u"C:\\a.b") || hasWildcards(nullptr));

  // The prefix, the text and two more characters must fit.
  char16_t buffer[16] = u"cde";
  EXPECT_FALSE(wcsPrepend(u"ab", buffer, 6) || wcsPrepend(nullptr, buffer, 16));
  EXPECT_EQ(u16string(buffer), u"cde");
  EXPECT_TRUE(wcsPrepend(u"ab", buffer, 7));
  EXPECT_EQ(u16string(buffer), u"abcde");
  char16_t* copy = wcsDuplicate(u"C:\\x");
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(u16string(copy), u"C:\\x");
  std::free(copy);
  EXPECT_EQ(wcsDuplicate(nullptr), nullptr);

  constexpr uint64_t kEpoch = 116444736000000000ull;
  EXPECT_EQ(fileTimeToUnix(kEpoch + 9999999), 0u);
  EXPECT_EQ(fileTimeToUnix(125911584000000000ull), 946684800u);  // 2000-01-01
  EXPECT_EQ(fileTimeToUnix(kEpoch - 10000000), 0xFFFFFFFFu);     // one second before 1970

  EXPECT_EQ(wcsHash(u"", 65536), 0);
  EXPECT_EQ(wcsHash(u"A", 65536), 2405);
  EXPECT_EQ(wcsHash(u"C:\\Windows\\System32", 1000003), 598494);
  // The 32-bit hash of notepad.exe is negative as signed (-1022989357): the remainder is
  // taken signed and lifted by the modulus, which differs from the unsigned remainder.
  EXPECT_EQ(wcsHash(u"notepad.exe", 97), 94);
  EXPECT_EQ(wcsHash(nullptr, 97) + wcsHash(u"A", 0) + wcsHash(u"notepad.exe", -1), 0);
}

TEST(WideStringTest, NarrowAndDecimalConversions) {
  char16_t* plain = toWide("abc");
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(u16string(plain, 6), u16string(u"abc\0\0\0", 6));  // length + 3, zeroed
  delete[] plain;
  EXPECT_EQ(toWide(nullptr), nullptr);

  char16_t buffer[kUintToWideMinCapacity];
  EXPECT_EQ(u16string(uintToWide(0, buffer)), u"0");
  EXPECT_EQ(u16string(uintToWide(UINT64_MAX, buffer)), u"18446744073709551615");
  EXPECT_EQ(uintToWide(7, nullptr), nullptr);
  // Only the first 23 characters of a number are read: what follows them goes unseen.
  std::vector<int64_t> values;
  for (const char16_t* text :
       std::vector<const char16_t*>{u"0012", u"-5", u"12a", u"", nullptr, u"9223372036854775807",
                                    u"9223372036854775808", u"00000000000000000000012x"}) {
    values.push_back(wideToInt64(text));
  }
  EXPECT_EQ(values, (std::vector<int64_t>{12, 0, 0, 0, 0, INT64_MAX, INT64_MAX, 12}));

  if (!narrowTextIsUtf8()) GTEST_SKIP() << kNarrowTextIsNotUtf8;
  char16_t* astral = toWide("x\xF0\x9F\x98\x80\xC3\xA4");
  ASSERT_NE(astral, nullptr);
  EXPECT_EQ(u16string(astral), u16string(u"x\xD83D\xDE00\u00e4"));
  delete[] astral;
  EXPECT_EQ(toWide("ok\xFF\xFE"), nullptr);
  EXPECT_EQ(toWide("\xC3"), nullptr);  // truncated sequence
}

}  // namespace
