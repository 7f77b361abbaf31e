#include <gtest/gtest.h>

#include <string>
#include <vector>

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

}  // namespace
