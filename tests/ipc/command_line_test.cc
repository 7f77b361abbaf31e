#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "ipc/ipc_support.h"
#include "platform/posix/command_line.h"

namespace {

using Words = std::vector<std::u16string>;
using platform::internal::splitCommandLine;

// The documented examples of CommandLineToArgvW after an image word, the image word's own rules,
// blanks, empty words and open quotes.
TEST(CommandLineTest, SplitsByTheWin32Rules) {
  const std::pair<const char16_t*, Words> cases[] = {
      {uR"(prog "abc" d e)", {u"prog", u"abc", u"d", u"e"}},
      {uR"(prog a\\b d"e f"g h)", {u"prog", uR"(a\\b)", u"de fg", u"h"}},
      {uR"(prog a\\\"b c d)", {u"prog", uR"(a\"b)", u"c", u"d"}},
      {uR"(prog a\\\\"b c" d e)", {u"prog", uR"(a\\b c)", u"d", u"e"}},
      // Two quotes inside a quoted part give a literal quote and end the quoted part.
      {uR"(prog a"b"" c d)", {u"prog", uR"(ab")", u"c", u"d"}},
      {uR"(prog """a b""")", {u"prog", uR"("a)", uR"(b")"}},
      // The image word takes backslashes literally; a quote closes a quoted image.
      {uR"("C:\Program Files\fsmon.exe" start)", {uR"(C:\Program Files\fsmon.exe)", u"start"}},
      {uR"("C:\tools\"next)", {uR"(C:\tools\)", u"next"}},
      {uR"(C:\a\"b c)", {uR"(C:\a\"b)", u"c"}},
      {uR"("unclosed image a b)", {u"unclosed image a b"}},
      {u"", {}},
      {u" \t ", {}},
      {u"  prog\ta  \t b  ", {u"prog", u"a", u"b"}},
      {uR"(prog "" x "")", {u"prog", u"", u"x", u""}},
      {uR"(prog "open quote  runs to the end)", {u"prog", u"open quote  runs to the end"}},
      {uR"(prog trailing\\)", {u"prog", uR"(trailing\\)"}},
      {u"prog \U0001F600 \u00fc", {u"prog", u"\U0001F600", u"\u00fc"}},
  };
  for (const auto& [line, words] : cases) EXPECT_EQ(splitCommandLine(line), words);
  EXPECT_TRUE(splitCommandLine(nullptr).empty());
}

// Any argument quoted by the inverse rules comes back unchanged.
TEST(CommandLineTest, QuotedArgumentsRoundTrip) {
  const std::u16string alphabet = u" \t\"\\ab\u00e9";
  std::mt19937 random(12345);
  for (int round = 0; round < 2000; ++round) {
    Words expected{u"prog"};
    std::u16string line = u"prog";
    const int count = static_cast<int>(random() % 4);
    for (int i = 0; i < count; ++i) {
      std::u16string argument;
      const int length = static_cast<int>(random() % 8);
      for (int j = 0; j < length; ++j) argument.push_back(alphabet[random() % alphabet.size()]);
      expected.push_back(argument);
      line += u" " + ipc_test::quoteArgument(argument);
    }
    ASSERT_EQ(splitCommandLine(line.c_str()), expected) << "round " << round;
  }
}

}  // namespace
