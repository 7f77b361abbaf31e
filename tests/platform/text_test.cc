#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "platform/posix/host_text.h"

namespace {

using platform::narrowToWide;
using platform::wideToNarrow;

TEST(Text, RoundTripsEveryPlaneIncludingSurrogatePairs) {
  const std::string utf8 =
      "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBFz";  // é € 😀 U+10FFFF
  std::u16string wideText;
  ASSERT_TRUE(narrowToWide(utf8.c_str(), &wideText));
  EXPECT_EQ(wideText, std::u16string(u"a\u00E9\u20AC\U0001F600\U0010FFFFz"));
  ASSERT_EQ(wideText.size(), 8u);
  EXPECT_EQ(wideText[3], 0xD83D);
  EXPECT_EQ(wideText[4], 0xDE00);
  std::string back;
  ASSERT_TRUE(wideToNarrow(wideText.c_str(), &back));
  EXPECT_EQ(back, utf8);
  ASSERT_TRUE(narrowToWide("", &wideText));
  EXPECT_TRUE(wideText.empty());
}

TEST(Text, RejectsMalformedUtf8AndLeavesTheOutputEmpty) {
  const char* const invalid[] = {
      "\xC0\x80",          // overlong NUL
      "\xC1\xBF",          // overlong ASCII
      "\xE0\x80\x80",      // overlong three-byte
      "\xF0\x80\x80\x80",  // overlong four-byte
      "\xED\xA0\x80",      // encoded high surrogate
      "\xED\xBF\xBF",      // encoded low surrogate
      "\xF4\x90\x80\x80",  // above U+10FFFF
      "\xF5\x80\x80\x80",  // lead byte beyond the range
      "\x80",              // stray continuation
      "ab\xE2\x82",        // truncated at the end
      "\xE2\x28\xA1",      // continuation missing in the middle
      "\xFF",
  };
  for (const char* text : invalid) {
    std::u16string out = u"stale";
    EXPECT_FALSE(narrowToWide(text, &out)) << static_cast<int>(static_cast<unsigned char>(text[0]));
    EXPECT_TRUE(out.empty());
  }
  std::u16string out = u"stale";
  EXPECT_FALSE(narrowToWide(nullptr, &out));
  EXPECT_TRUE(out.empty());
}

TEST(Text, RejectsUnpairedSurrogates) {
  const char16_t loneHigh[] = {u'a', 0xD800, 0};
  const char16_t loneLow[] = {0xDC00, u'a', 0};
  const char16_t reversed[] = {0xDE00, 0xD83D, 0};
  const char16_t highThenText[] = {0xD83D, u'x', 0};
  for (const char16_t* text : {loneHigh, loneLow, reversed, highThenText}) {
    std::string out = "stale";
    EXPECT_FALSE(wideToNarrow(text, &out));
    EXPECT_TRUE(out.empty());
  }
  std::string out;
  EXPECT_FALSE(wideToNarrow(nullptr, &out));
}

TEST(HostText, EscapesBytesThatAreNoTextAndBackslashesLosslessly) {
  std::string name = "ok\\\xFF\xC0\x80\xED\xA0\x80-\xC3\xA9";
  std::u16string wideName;
  platform::internal::hostToWide(name.data(), name.size(), &wideName);
  const std::u16string expected = {u'o',   u'k',   0xDC5C, 0xDCFF, 0xDCC0, 0xDC80,
                                   0xDCED, 0xDCA0, 0xDC80, u'-',   0x00E9};
  EXPECT_EQ(wideName, expected);
  std::string back;
  ASSERT_TRUE(platform::internal::wideToHost(wideName.data(), wideName.size(), &back));
  EXPECT_EQ(back, name);

  // Every byte value survives the trip.
  std::string allBytes;
  for (int byte = 1; byte < 256; ++byte) allBytes.push_back(static_cast<char>(byte));
  wideName.clear();
  platform::internal::hostToWide(allBytes.data(), allBytes.size(), &wideName);
  back.clear();
  ASSERT_TRUE(platform::internal::wideToHost(wideName.data(), wideName.size(), &back));
  EXPECT_EQ(back, allBytes);

  // A lone surrogate that is no escape has no host form.
  const char16_t notAnEscape[] = {0xDC41};
  back.clear();
  EXPECT_FALSE(platform::internal::wideToHost(notAnEscape, 1, &back));
}

}  // namespace
