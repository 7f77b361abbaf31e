// The formatter, seen through a real trace call so that arguments pass the variadic boundary with
// their default promotions, as they do from the module.
#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>

#include "support/trace_capture.h"
#include "zrlog/trace_format.h"

namespace {

constexpr size_t kMarkerSize = sizeof(zrlog::kTraceTruncationMarker) - 1;
constexpr size_t kTextLimit = zrlog::kMaxTraceMessageBytes - kMarkerSize;

template <typename... Args>
std::string formatted(const char* format, Args... args) {
  TraceCapture capture;
  FS_TRACE(getZrLogFs(), format, args...);
  const std::vector<std::string> messages = capture.messages();
  return messages.size() == 1 ? messages[0] : "<" + std::to_string(messages.size()) + " traces>";
}

bool endsWithMarker(const std::string& text) {
  return text.size() >= kMarkerSize &&
         text.compare(text.size() - kMarkerSize, kMarkerSize, zrlog::kTraceTruncationMarker) == 0;
}

TEST(TraceFormat, Integers) {
  EXPECT_EQ("0 -42 7 -2147483648", formatted("%d %d %i %d", 0, -42, 7, INT_MIN));
  EXPECT_EQ("+5 | 5|+0", formatted("%+d |% d|%+d", 5, 5, 0));
  EXPECT_EQ("  -42|-42  |-0042", formatted("%5d|%-5d|%05d", -42, -42, -42));
  EXPECT_EQ("007|    -007|     007", formatted("%.3d|%8.3d|%08.3d", 7, -7, 7));
  EXPECT_EQ("-9223372036854775807 -3",
            formatted("%jd %td", static_cast<intmax_t>(-INT64_MAX), static_cast<ptrdiff_t>(-3)));
  // Short lengths truncate the promoted value.
  EXPECT_EQ("-1 -1 5", formatted("%hd %hhd %hu", 65535, 255, 65541));
  EXPECT_EQ("ff 255", formatted("%hhx %hhu", 0x1ff, -1));

  EXPECT_EQ("00000000 deadbeef DEADBEEF", formatted("%08x %08x %08X", 0, 0xDEADBEEFu, 0xDEADBEEFu));
  EXPECT_EQ("ff|0xff|0XFF|0|0x000000ff", formatted("%x|%#x|%#X|%#x|%#010x", 255, 255, 255, 0, 255));
  EXPECT_EQ("10|010|0|0", formatted("%o|%#o|%#o|%#.0o", 8, 8, 0, 0));
  EXPECT_EQ(std::to_string(SIZE_MAX) + " -1",
            formatted("%zu %zd", SIZE_MAX, static_cast<ptrdiff_t>(-1)));
  EXPECT_EQ("   42|42   |0042|42", formatted("%*d|%*d|%.*d|%.*d", 5, 42, -5, 42, 4, 42, -1, 42));
  // A conversion that reads the wrong width shifts every later argument.
  EXPECT_EQ("-1 -9223372036854775808 -7 x ffffffffffffffff " + std::to_string(ULONG_MAX) + " z",
            formatted("%hd %lld %ld %s %llx %lu %c", static_cast<short>(-1),
                      static_cast<long long>(INT64_MIN), -7L, "x", ~0ull, ULONG_MAX, 'z'));
}

TEST(TraceFormat, CharactersStringsPointersPercentAndUnknownConversions) {
  EXPECT_EQ("A|  A|A  |[]", formatted("%c|%3c|%-3c|[%c]", 'A', 'A', 'A', 0));
  EXPECT_EQ("\xC3\xA9 \xE6\xBC\xA2 \xEF\xBF\xBD",
            formatted("%lc %C %lc", u'\u00E9', 0x6F22, 0xD800));

  EXPECT_EQ("abc h\xC3\xA9llo|    ab|ab    |ab",
            formatted("%s|%6s|%-6s|%.*s", "abc h\xC3\xA9llo", "ab", "ab", 2, "abcdef"));
  const char unterminated[2] = {'x', 'y'};  // the precision bounds reading
  EXPECT_EQ("xy", formatted("%.2s", unterminated));
  // A precision never splits a UTF-8 sequence.
  EXPECT_EQ("[]|a\xC3\xA9|a", formatted("[%.1s]|%.3s|%.2s", "\xC3\xA9", "a\xC3\xA9z", "a\xC3\xA9"));

  EXPECT_EQ("abc \xC3\xA9|\xE6\xBC\xA2|\xF0\x9F\x98\x80",
            formatted("%S %ls|%S|%S", u"abc", u"\u00E9", u"\u6F22", u"\U0001F600"));
  const char16_t loneHigh[] = {u'a', 0xD800, u'b', 0};
  const char16_t loneLow[] = {0xDC00, u'c', 0};
  const char16_t highAtEnd[] = {u'd', 0xD83D, 0};
  const char16_t swappedPair[] = {0xDE00, 0xD83D, 0};
  EXPECT_EQ(
      "a\xEF\xBF\xBD"
      "b|\xEF\xBF\xBD"
      "c|d\xEF\xBF\xBD|\xEF\xBF\xBD\xEF\xBF\xBD",
      formatted("%S|%S|%S|%S", loneHigh, loneLow, highAtEnd, swappedPair));
  EXPECT_EQ("\xC3\xA9|\xC3\xA9|   \xC3\xA9|",
            formatted("%.2S|%.4S|%5S|", u"\u00E9\u6F22", u"\u00E9\u6F22", u"\u00E9"));

  const char* nullText = nullptr;
  const char16_t* nullWide = nullptr;
  EXPECT_EQ("(null)|(nu|(null)|(null)",
            formatted("%s|%.3s|%S|%ls", nullText, nullText, nullWide, nullWide));
  EXPECT_EQ(
      "(nil)|0x1234|    0x1234|0x1234    |",
      formatted("%p|%p|%10p|%-10p|", static_cast<void*>(nullptr), reinterpret_cast<void*>(0x1234),
                reinterpret_cast<void*>(0x1234), reinterpret_cast<void*>(0x1234)));
  EXPECT_EQ("100%", formatted("100%%"));
  // Unknown conversions, floating point and %n are copied and consume no argument.
  int untouched = 3;
  EXPECT_EQ("%q %5q %Lf %f %n 7", formatted("%q %5q %Lf %f %n %d", 7, &untouched));
  EXPECT_EQ(3, untouched);
  EXPECT_EQ("abc%|abc%-08|1 %ll",
            formatted("abc%") + "|" + formatted("abc%-08") + "|" + formatted("%d %ll", 1));
  EXPECT_EQ("(null)", formatted(nullptr));
}

TEST(TraceFormat, MessagesAreCutAtTheLimitOnACharacterBoundary) {
  const std::string exact(kTextLimit, 'a');
  EXPECT_EQ(exact, formatted("%s", exact.c_str()));
  EXPECT_TRUE(endsWithMarker(formatted("%s!", exact.c_str())));

  const std::string huge(100 * 1024, 'b');
  EXPECT_EQ(std::string(kTextLimit, 'b') + zrlog::kTraceTruncationMarker,
            formatted("%s", huge.c_str()));
  for (const std::string& cut : {formatted("%100000d", 1), formatted(huge.c_str()),
                                 formatted("%0999999999999999999999d", 1)}) {
    EXPECT_EQ(zrlog::kMaxTraceMessageBytes, cut.size());
  }
  // Formatting ends once the message is full: the pointer after it is never read.
  const char* unreadable = reinterpret_cast<const char*>(uintptr_t{1});
  EXPECT_EQ(zrlog::kMaxTraceMessageBytes, formatted("%s%s", huge.c_str(), unreadable).size());
  EXPECT_EQ(zrlog::kMaxTraceMessageBytes, formatted((huge + "%s").c_str(), unreadable).size());

  std::string accents;
  for (int i = 0; i < 40000; ++i) accents += "\xC3\xA9";
  std::string text = formatted("x%s", accents.c_str());  // odd offset: the cut falls mid-é
  ASSERT_TRUE(endsWithMarker(text));
  text.resize(text.size() - kMarkerSize);
  EXPECT_EQ(1u, text.size() % 2);
  EXPECT_EQ("\xC3\xA9", text.substr(text.size() - 2));
  text = formatted("%S", std::u16string(30000, u'\u6F22').c_str());
  ASSERT_TRUE(endsWithMarker(text));
  EXPECT_EQ(0u, (text.size() - kMarkerSize) % 3);
}

}  // namespace
