#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/platform.h"
#include "platform_fixtures.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using platform::driveQualifiedPath;
using platform::hostPath;

std::string host(const std::u16string& path) {
  std::string out;
  platform::setLastError(0);
  if (!hostPath(path.c_str(), &out)) return "<error " + std::to_string(platform::lastError()) + ">";
  return out;
}

std::string drive(const std::string& path) {
  std::u16string out;
  if (!driveQualifiedPath(path, &out))
    return "<error " + std::to_string(platform::lastError()) + ">";
  return narrow(out);
}

TEST(Paths, MapsDrivePathsToHostPathsWithinTheDrive) {
  ScopedDriveTable table("C:=/;D:=/srv/data;E:=/srv/data/e");
  ASSERT_TRUE(table.installed());
  EXPECT_EQ(host(u"C:\\a\\b"), "/a/b");
  EXPECT_EQ(host(u"c:/a//b/"), "/a/b/");  // either separator, trailing one kept
  EXPECT_EQ(host(u"C:\\"), "/");
  EXPECT_EQ(host(u"C:"), "/");
  EXPECT_EQ(host(u"D:\\"), "/srv/data");
  EXPECT_EQ(host(u"D:\\x\\.\\y\\..\\z"), "/srv/data/x/z");
  EXPECT_EQ(host(u"D:\\..\\..\\etc\\passwd"), "/srv/data/etc/passwd");  // never above the root
  EXPECT_EQ(host(u"D:\\x\\..\\..\\"), "/srv/data");
  EXPECT_EQ(host(u"E:\\f"), "/srv/data/e/f");
  EXPECT_EQ(host(u"d:\\\u00E9t\u00E9"), "/srv/data/\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(host(u"Q:\\x"), "<error 3>");  // no such drive
  EXPECT_EQ(host(u"\\x"), "<error 3>");    // no drive letter
  EXPECT_EQ(host(u"relative"), "<error 3>");
  const char16_t loneSurrogate[] = {u'C', u':', u'\\', 0xD800, 0};
  EXPECT_EQ(host(loneSurrogate), "<error 123>");
  std::string out;
  EXPECT_FALSE(hostPath(nullptr, &out));

  // A backslash inside a host name travels as an escape and comes back as itself.
  const char16_t escaped[] = {u'C', u':', u'\\', u'a', 0xDC5C, u'b', 0};
  EXPECT_EQ(host(escaped), "/a\\b");
}

TEST(Paths, MapsHostPathsBackToTheDriveWithTheLongestRoot) {
  ScopedDriveTable table("C:=/;D:=/srv/data;E:=/srv/data/e");
  ASSERT_TRUE(table.installed());
  EXPECT_EQ(drive("/"), "C:\\");
  EXPECT_EQ(drive("/usr/lib"), "C:\\usr\\lib");
  EXPECT_EQ(drive("/srv/data"), "D:\\");
  EXPECT_EQ(drive("/srv//data/./x/"), "D:\\x");
  EXPECT_EQ(drive("/srv/data/e/f/../g"), "E:\\g");
  EXPECT_EQ(drive("/srv/database"), "C:\\srv\\database");
  EXPECT_EQ(drive("relative"), "<error 3>");
  EXPECT_EQ(drive(""), "<error 3>");
  std::u16string out;
  ASSERT_TRUE(driveQualifiedPath("/x/a\\b\xFF", &out));
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
  void TearDown() override {
    current_.reset();
    table_.reset();
  }

  std::string full(const std::u16string& path, size_t capacity = platform::kMaxPath) {
    char16_t buffer[1024];
    platform::setLastError(0);
    if (platform::fullPath(buffer, path.c_str(), capacity) != buffer) {
      return "<error " + std::to_string(platform::lastError()) + ">";
    }
    return narrow(buffer);
  }

  TempDir dir_;
  std::unique_ptr<ScopedDriveTable> table_;
  std::unique_ptr<ScopedCurrentDirectory> current_;
};

TEST_F(FullPath, ResolvesEveryFormAgainstTheCurrentDirectoryAndItsDrive) {
  EXPECT_EQ(full(u"x.txt"), "W:\\work\\sub\\x.txt");
  EXPECT_EQ(full(u"."), "W:\\work\\sub");
  EXPECT_EQ(full(u".\\"), "W:\\work\\sub\\");
  EXPECT_EQ(full(u"..\\..\\..\\..\\y"), "W:\\y");  // ".." stops at the drive root
  EXPECT_EQ(full(u"\\top"), "W:\\top");            // root of the current drive
  EXPECT_EQ(full(u"/"), "W:\\");
  EXPECT_EQ(full(u"W:rel\\a"), "W:\\work\\sub\\rel\\a");  // drive-relative, current drive
  EXPECT_EQ(full(u"w:"), "W:\\work\\sub");
  EXPECT_EQ(full(u"C:rel"), "C:\\rel");  // another drive: from its root
  EXPECT_EQ(full(u"c:\\a\\.\\b\\..\\c\\"), "c:\\a\\c\\");
  EXPECT_EQ(full(u"Q:\\any\\thing"), "Q:\\any\\thing");  // not checked against the table
  EXPECT_EQ(full(u"C:\\a//b"), "C:\\a\\b");
  EXPECT_EQ(full(u"\\\\server\\share"), "<error 123>");
  EXPECT_EQ(full(u""), "<error 87>");

  char16_t buffer[8] = {u'k', 0};
  EXPECT_EQ(platform::fullPath(buffer, nullptr, 8), nullptr);
  EXPECT_EQ(buffer[0], u'k');
  EXPECT_EQ(platform::fullPath(nullptr, u"x", 8), nullptr);
}

TEST_F(FullPath, RefusesResultsThatDoNotFitTheBuffer) {
  // Results of 259, 260 and 261 characters against the 260-character buffer.
  const std::u16string prefix = u"C:\\";
  for (size_t length : {259u, 260u, 261u}) {
    const std::u16string path = prefix + std::u16string(length - prefix.size(), u'n');
    char16_t buffer[platform::kMaxPath + 8];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    platform::setLastError(0);
    char16_t* result = platform::fullPath(buffer, path.c_str(), platform::kMaxPath);
    if (length < platform::kMaxPath) {
      ASSERT_EQ(result, buffer);
      EXPECT_EQ(std::u16string(buffer), path);
    } else {
      EXPECT_EQ(result, nullptr) << length;
      EXPECT_EQ(platform::lastError(), platform::kErrorFilenameTooLong);
      EXPECT_EQ(buffer[0], u'#');  // untouched
    }
  }
  EXPECT_EQ(full(u"C:\\ab", 6), "C:\\ab");
  EXPECT_EQ(full(u"C:\\abc", 6), "<error 206>");
  EXPECT_EQ(full(u"C:\\", 0), "<error 206>");

  // A long input may still resolve to a short result.
  std::u16string detour = u"C:\\";
  for (int i = 0; i < 100; ++i) detour += u"abc\\..\\";
  detour += u"end";
  EXPECT_EQ(full(detour), "C:\\end");
}

TEST_F(FullPath, RelativePathsNeedACurrentDirectoryOnADrive) {
  ScopedDriveTable elsewhere("C:=/nonexistent-root");
  EXPECT_EQ(full(u"x"), "<error 3>");
  EXPECT_EQ(full(u"\\x"), "<error 3>");
  EXPECT_EQ(full(u"C:\\x"), "C:\\x");
  EXPECT_EQ(full(u"C:x"), "C:\\x");
}

TEST(CurrentDirectory, AtADriveRootEndsInOneBackslash) {
  TempDir dir;
  ScopedDriveTable table("C:=/;K:=" + dir.host().string());
  ScopedCurrentDirectory current(dir.host());
  char16_t path[platform::kMaxPath];
  ASSERT_NE(platform::fullPath(path, u".", platform::kMaxPath), nullptr);
  EXPECT_EQ(narrow(path), "K:\\");
}

}  // namespace
