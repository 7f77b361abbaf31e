#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "ipc/ipc_support.h"
#include "platform/posix/command_line.h"

namespace {

using Words = std::vector<std::u16string>;
using platform::internal::splitCommandLine;

// The documented examples of CommandLineToArgvW, after an image word.
TEST(CommandLineTest, DocumentedExamples) {
  EXPECT_EQ(splitCommandLine(uR"(prog "abc" d e)"), (Words{u"prog", u"abc", u"d", u"e"}));
  EXPECT_EQ(splitCommandLine(uR"(prog a\\b d"e f"g h)"),
            (Words{u"prog", uR"(a\\b)", u"de fg", u"h"}));
  EXPECT_EQ(splitCommandLine(uR"(prog a\\\"b c d)"), (Words{u"prog", uR"(a\"b)", u"c", u"d"}));
  EXPECT_EQ(splitCommandLine(uR"(prog a\\\\"b c" d e)"),
            (Words{u"prog", uR"(a\\b c)", u"d", u"e"}));
  // Two quotes inside a quoted part give a literal quote and end the quoted part.
  EXPECT_EQ(splitCommandLine(uR"(prog a"b"" c d)"), (Words{u"prog", uR"(ab")", u"c", u"d"}));
  EXPECT_EQ(splitCommandLine(uR"(prog """a b""")"), (Words{u"prog", uR"("a)", uR"(b")"}));
}

TEST(CommandLineTest, ImageWordTakesBackslashesLiterally) {
  EXPECT_EQ(splitCommandLine(uR"("C:\Program Files\fsmon.exe" start)"),
            (Words{uR"(C:\Program Files\fsmon.exe)", u"start"}));
  // The quote after a backslash closes the image; what follows is the next word.
  EXPECT_EQ(splitCommandLine(uR"("C:\tools\"next)"), (Words{uR"(C:\tools\)", u"next"}));
  EXPECT_EQ(splitCommandLine(uR"(C:\a\"b c)"), (Words{uR"(C:\a\"b)", u"c"}));
  EXPECT_EQ(splitCommandLine(uR"("unclosed image a b)"), (Words{u"unclosed image a b"}));
}

TEST(CommandLineTest, BlanksEmptyWordsAndOpenQuotes) {
  EXPECT_TRUE(splitCommandLine(nullptr).empty());
  EXPECT_TRUE(splitCommandLine(u"").empty());
  EXPECT_TRUE(splitCommandLine(u" \t ").empty());
  EXPECT_EQ(splitCommandLine(u"  prog\ta  \t b  "), (Words{u"prog", u"a", u"b"}));
  EXPECT_EQ(splitCommandLine(uR"(prog "" x "")"), (Words{u"prog", u"", u"x", u""}));
  EXPECT_EQ(splitCommandLine(uR"(prog "open quote  runs to the end)"),
            (Words{u"prog", u"open quote  runs to the end"}));
  EXPECT_EQ(splitCommandLine(uR"(prog trailing\\)"), (Words{u"prog", uR"(trailing\\)"}));
  EXPECT_EQ(splitCommandLine(u"prog \U0001F600 \u00fc"),
            (Words{u"prog", u"\U0001F600", u"\u00fc"}));
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
