// Text and paths: UTF-8 and host-name conversions, drive paths to host paths and back, _wfullpath.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/platform.h"
#include "platform/posix/host_text.h"
#include "platform_fixtures.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

TEST(Text, StrictUtf8RoundTripsEveryPlaneAndRefusesMalformedText) {
  const std::string utf8 = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBFz";  // é € 😀 max
  std::u16string wide;
  ASSERT_TRUE(platform::narrowToWide(utf8.c_str(), &wide));
  EXPECT_EQ(wide, std::u16string(u"a\u00E9\u20AC\U0001F600\U0010FFFFz"));
  std::string back;
  ASSERT_TRUE(platform::wideToNarrow(wide.c_str(), &back));
  EXPECT_EQ(back, utf8);

  // Overlongs, encoded surrogates, beyond U+10FFFF, stray and missing continuations.
  for (const char* text :
       {"\xC0\x80", "\xC1\xBF", "\xE0\x80\x80", "\xF0\x80\x80\x80", "\xED\xA0\x80", "\xED\xBF\xBF",
        "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\x80", "ab\xE2\x82", "\xE2\x28\xA1", "\xFF"}) {
    std::u16string out = u"stale";
    EXPECT_FALSE(platform::narrowToWide(text, &out)) << text;
    EXPECT_TRUE(out.empty());
  }
  const char16_t loneHigh[] = {u'a', 0xD800, 0}, loneLow[] = {0xDC00, u'a', 0},
                 reversed[] = {0xDE00, 0xD83D, 0}, highThenText[] = {0xD83D, u'x', 0};
  for (const char16_t* text : {loneHigh, loneLow, reversed, highThenText}) {
    std::string out = "stale";
    EXPECT_FALSE(platform::wideToNarrow(text, &out));
    EXPECT_TRUE(out.empty());
  }
  EXPECT_FALSE(platform::narrowToWide(nullptr, &wide));
  EXPECT_FALSE(platform::wideToNarrow(nullptr, &back));
}

TEST(HostText, EscapesBytesThatAreNoTextAndBackslashesLosslessly) {
  const std::string name = "ok\\\xFF\xC0\x80\xED\xA0\x80-\xC3\xA9";
  std::u16string wide;
  platform::internal::hostToWide(name.data(), name.size(), &wide);
  EXPECT_EQ(wide, (std::u16string{u'o', u'k', 0xDC5C, 0xDCFF, 0xDCC0, 0xDC80, 0xDCED, 0xDCA0,
                                  0xDC80, u'-', 0x00E9}));
  std::string allBytes = name;
  for (int byte = 1; byte < 256; ++byte) allBytes.push_back(static_cast<char>(byte));
  wide.clear();
  platform::internal::hostToWide(allBytes.data(), allBytes.size(), &wide);
  std::string back;
  ASSERT_TRUE(platform::internal::wideToHost(wide.data(), wide.size(), &back));
  EXPECT_EQ(back, allBytes);
  const char16_t notAnEscape[] = {0xDC41};  // a lone surrogate no host byte makes
  EXPECT_FALSE(platform::internal::wideToHost(notAnEscape, 1, &back));
}

std::string error() { return "<error " + std::to_string(platform::lastError()) + ">"; }

std::string host(const std::u16string& path) {
  std::string out;
  return platform::hostPath(path.c_str(), &out) ? out : error();
}

std::string drive(const std::string& path) {
  std::u16string out;
  return platform::driveQualifiedPath(path, &out) ? narrow(out) : error();
}

TEST(Paths, MapBetweenDrivePathsAndHostPathsWithinTheDrive) {
  ScopedDriveTable table("C:=/;D:=/srv/data;E:=/srv/data/e");
  ASSERT_TRUE(table.installed());
  EXPECT_EQ(host(u"c:/a//b/"), "/a/b/");  // either separator, trailing one kept
  EXPECT_EQ(host(u"C:"), "/");
  EXPECT_EQ(host(u"D:\\"), "/srv/data");
  EXPECT_EQ(host(u"D:\\x\\.\\y\\..\\z"), "/srv/data/x/z");
  EXPECT_EQ(host(u"D:\\..\\..\\etc\\passwd"), "/srv/data/etc/passwd");  // never above the root
  EXPECT_EQ(host(u"D:\\x\\..\\..\\"), "/srv/data");
  EXPECT_EQ(host(u"d:\\\u00E9t\u00E9"), "/srv/data/\xC3\xA9t\xC3\xA9");
  for (const char16_t* path : {u"Q:\\x", u"\\x", u"relative"}) EXPECT_EQ(host(path), "<error 3>");
  EXPECT_EQ(host(u"C:\\\xD800"), "<error 123>");  // a lone surrogate has no host form
  EXPECT_EQ(host(u"C:\\a\xDC5C\x62"), "/a\\b");   // the escape of a backslash in a host name

  EXPECT_EQ(drive("/"), "C:\\");
  EXPECT_EQ(drive("/usr/lib"), "C:\\usr\\lib");
  EXPECT_EQ(drive("/srv/data"), "D:\\");
  EXPECT_EQ(drive("/srv//data/./x/"), "D:\\x");
  EXPECT_EQ(drive("/srv/data/e/f/../g"), "E:\\g");
  EXPECT_EQ(drive("/srv/database"), "C:\\srv\\database");
  EXPECT_EQ(drive("relative"), "<error 3>");
  std::u16string out;
  ASSERT_TRUE(platform::driveQualifiedPath("/x/a\\b\xFF", &out));
  EXPECT_EQ(out, (std::u16string{u'C', u':', u'\\', u'x', u'\\', u'a', 0xDC5C, u'b', 0xDCFF}));
  ScopedDriveTable narrowTable("D:=/srv/data");
  EXPECT_EQ(drive("/etc"), "<error 3>");
}

class FullPath : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_.host("work/sub"));
    table_ = std::make_unique<ScopedDriveTable>("C:=/;W:=" + dir_.host().string());
    ASSERT_TRUE(table_->installed());
    current_ = std::make_unique<ScopedCurrentDirectory>(dir_.host("work/sub"));
  }

  std::string full(const std::u16string& path, size_t capacity = platform::kMaxPath) {
    char16_t buffer[1024];
    return platform::fullPath(buffer, path.c_str(), capacity) == buffer ? narrow(buffer) : error();
  }

  TempDir dir_;
  std::unique_ptr<ScopedDriveTable> table_;
  std::unique_ptr<ScopedCurrentDirectory> current_;
};

TEST_F(FullPath, ResolvesEveryFormAgainstTheCurrentDirectoryAndItsDrive) {
  EXPECT_EQ(full(u"x.txt"), "W:\\work\\sub\\x.txt");
  EXPECT_EQ(full(u".\\"), "W:\\work\\sub\\");
  EXPECT_EQ(full(u"..\\..\\..\\..\\y"), "W:\\y");  // ".." stops at the drive root
  EXPECT_EQ(full(u"\\top"), "W:\\top");            // root of the current drive
  EXPECT_EQ(full(u"/"), "W:\\");
  EXPECT_EQ(full(u"W:rel\\a"), "W:\\work\\sub\\rel\\a");  // drive-relative, current drive
  EXPECT_EQ(full(u"w:"), "W:\\work\\sub");
  EXPECT_EQ(full(u"C:rel"), "C:\\rel");  // another drive: from its root
  EXPECT_EQ(full(u"c:\\a\\.\\b\\..\\c\\"), "c:\\a\\c\\");
  EXPECT_EQ(full(u"Q:\\any\\thing"), "Q:\\any\\thing");  // not checked against the table
  EXPECT_EQ(full(u"\\\\server\\share"), "<error 123>");
  EXPECT_EQ(full(u""), "<error 87>");
  char16_t buffer[8] = {u'k', 0};
  EXPECT_EQ(platform::fullPath(buffer, nullptr, 8), nullptr);
  EXPECT_EQ(buffer[0], u'k');
  EXPECT_EQ(platform::fullPath(nullptr, u"x", 8), nullptr);
  {
    ScopedCurrentDirectory atRoot(dir_.host());
    EXPECT_EQ(full(u"."), "W:\\");
  }
  ScopedDriveTable elsewhere("C:=/nonexistent-root");  // the current directory is on no drive
  EXPECT_EQ(full(u"x") + full(u"\\x") + full(u"C:x"), "<error 3><error 3>C:\\x");
}

TEST_F(FullPath, RefusesResultsThatDoNotFitTheBufferAndLeavesItUntouched) {
  const std::u16string fits = u"C:\\" + std::u16string(platform::kMaxPath - 4, u'n');
  EXPECT_EQ(full(fits), narrow(fits));  // with its zero, exactly the 260-character buffer
  for (const std::u16string& path : {fits + u"n", fits + u"nn"}) {
    char16_t buffer[platform::kMaxPath + 8] = {u'#'};
    platform::setLastError(0);
    EXPECT_TRUE(failedWith(platform::fullPath(buffer, path.c_str(), platform::kMaxPath) != nullptr,
                           platform::kErrorFilenameTooLong));
    EXPECT_EQ(buffer[0], u'#');
  }
  EXPECT_EQ(full(u"C:\\ab", 6), "C:\\ab");
  EXPECT_EQ(full(u"C:\\", 0), "<error 206>");
  std::u16string detour = u"C:\\";  // a long input may still resolve to a short result
  for (int i = 0; i < 100; ++i) detour += u"abc\\..\\";
  EXPECT_EQ(full(detour + u"end"), "C:\\end");
}

}  // namespace
