#include "fscommon/pathhelper.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "paths/paths_test_support.h"
#include "platform/platform.h"
#include "support/drive_fixture.h"
#include "support/trace_capture.h"

namespace {

constexpr size_t kMaxPath = platform::kMaxPath;

// Expands with a generous buffer; the result text, or "error N".
std::string expand(const std::u16string& input, size_t capacity = kMaxPath) {
  std::vector<char16_t> output(capacity + 1, u'#');
  const int result = PathHelper().expandFolderTokens(input.c_str(), output.data(), capacity);
  if (result != 0) return "error " + std::to_string(result);
  return narrow(output.data());
}

class FolderTokenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ScopedShellFolders::supported()) GTEST_SKIP() << "the real shell names the folders";
  }
  ScopedShellFolders folders_{"36=C:\\Windows;37=C:\\Windows\\system32;38=C:\\Program Files"};
};

TEST_F(FolderTokenTest, TokensExpandByTheFirstNameTheyBegin) {
  EXPECT_EQ(expand(u"%CSIDL_SYSTEM%\\drivers"), "C:\\Windows\\system32\\drivers");
  EXPECT_EQ(expand(u"%CSIDL_SYS%\\drivers"), "C:\\Windows\\system32\\drivers");
  EXPECT_EQ(expand(u"%CSIDL_PROGRAM_FILES%\\x"), "C:\\Program Files\\x");
  EXPECT_EQ(expand(u"%CSIDL_P%"), "C:\\Program Files");
  // The empty token and any prefix of the first name select the first entry.
  EXPECT_EQ(expand(u"%CSIDL_%"), "C:\\Windows");
  EXPECT_EQ(expand(u"%%\\x"), "C:\\Windows\\x");
  EXPECT_EQ(expand(u"%CSIDL_WINDOWS%%CSIDL_SYSTEM%"), "C:\\WindowsC:\\Windows\\system32");
}

TEST_F(FolderTokenTest, OtherTextStaysAsWritten) {
  EXPECT_EQ(expand(u"C:\\%csidl_windows%\\x"), "C:\\%csidl_windows%\\x");  // case counts
  EXPECT_EQ(expand(u"%CSIDL_WINDOWSX%"), "%CSIDL_WINDOWSX%");              // longer than every name
  EXPECT_EQ(expand(u"%UNKNOWN%\\%"), "%UNKNOWN%\\%");
  EXPECT_EQ(expand(u"50%off"), "50%off");
  EXPECT_EQ(expand(u"a%b%c%"), "a%b%c%");
  EXPECT_EQ(expand(u"%"), "%");
  EXPECT_EQ(expand(u""), "");
  EXPECT_EQ(expand(u"::\"<>|:"), "::\"<>|:");
}

TEST_F(FolderTokenTest, FailedLookUpsAndTheEndEntryFail) {
  // No folder 24 in the table; the end-of-table entry is no folder.
  EXPECT_EQ(expand(u"x%CSIDL_COMMON_STARTUP%"), "error -1");
  EXPECT_EQ(expand(u"%__LAST_ENTRY__%"), "error -1");
  EXPECT_EQ(expand(u"%_%"), "error -1");
  ScopedShellFolders none("");
  EXPECT_EQ(expand(u"%%"), "error -1");
}

TEST_F(FolderTokenTest, OutputNeverPassesItsCapacity) {
  const std::u16string folder = u"C:\\Windows";  // 10 characters
  EXPECT_EQ(expand(u"%CSIDL_WINDOWS%", folder.size() + 1), "C:\\Windows");
  EXPECT_EQ(expand(u"%CSIDL_WINDOWS%", folder.size()), "error -2");
  EXPECT_EQ(expand(u"ab%UNKNOWN%", 12), "ab%UNKNOWN%");
  EXPECT_EQ(expand(u"ab%UNKNOWN%", 11), "error -2");
  EXPECT_EQ(expand(u"", 1), "");
  EXPECT_EQ(expand(u"a", 1), "error -2");

  for (size_t length : {kMaxPath - 1, kMaxPath, kMaxPath + 1}) {
    SCOPED_TRACE(length);
    std::vector<char16_t> output(kMaxPath + 8, u'#');
    const std::u16string input(length, u'a');
    const int result = PathHelper().expandFolderTokens(input.c_str(), output.data(), kMaxPath);
    EXPECT_EQ(result, length < kMaxPath ? 0 : -2);
    // Terminated within the buffer, nothing written past it.
    EXPECT_EQ(std::u16string(output.data()).size(), kMaxPath - 1);
    EXPECT_EQ(output[kMaxPath], u'#');
  }
}

TEST(FolderTokenArgumentsTest, NullsAndZeroCapacityAreRefused) {
  PathHelper helper;
  char16_t output[4] = {u'#', u'#', u'#', u'#'};
  EXPECT_EQ(helper.expandFolderTokens(nullptr, output, 4), -1);
  EXPECT_EQ(helper.expandFolderTokens(u"a", nullptr, 4), -1);
  EXPECT_EQ(helper.expandFolderTokens(u"a", output, 0), -1);
  EXPECT_EQ(output[0], u'#');
}

std::string parentOf(const std::u16string& path) {
  char16_t output[kMaxPath];
  if (!PathHelper().wildcardParent(path.c_str(), output)) return "refused:" + narrow(output);
  return narrow(output);
}

TEST(WildcardParentTest, ParentIsTheDirectoryBeforeTheFirstWildcard) {
  EXPECT_EQ(parentOf(u"C:\\dir\\*.txt"), "C:\\dir\\");
  EXPECT_EQ(parentOf(u"C:\\a\\b?\\c\\*.txt"), "C:\\a\\");
  EXPECT_EQ(parentOf(u"C:*.txt"), "C:\\");
  EXPECT_EQ(parentOf(u"C:\\*.txt"), "C:\\");
  EXPECT_EQ(parentOf(u"?:*.doc"), "?:\\");
  EXPECT_EQ(parentOf(u"C:\\Windows"), "C:\\Windows");
  EXPECT_EQ(parentOf(u"*.txt"), "\\");
  EXPECT_EQ(parentOf(u"dir\\*.txt"), "dir\\");
  EXPECT_EQ(parentOf(u"a\\b:*"), "a\\b:\\");
  EXPECT_EQ(parentOf(u""), "");

  const std::u16string longest = u"C:\\" + std::u16string(kMaxPath - 4, u'a');
  EXPECT_EQ(wide(parentOf(longest)), longest);
  EXPECT_EQ(parentOf(longest + u"a"), "refused:");
  EXPECT_EQ(parentOf(longest + u"a\\*"), "refused:");
  EXPECT_EQ(parentOf(u"C:" + std::u16string(kMaxPath * 2, u'*')), "C:\\");

  char16_t output[kMaxPath];
  EXPECT_FALSE(PathHelper().wildcardParent(nullptr, output));
  EXPECT_FALSE(PathHelper().wildcardParent(u"C:\\", nullptr));
}

class RealPathTest : public DriveTableTest {
 protected:
  void SetUp() override {
    DriveTableTest::SetUp();
    if (!IsSkipped()) drives_.enter('C', "work");
  }
  std::string real(const std::u16string& path) {
    char16_t* result = PathHelper().realPath(path.c_str());
    const std::string text = result != nullptr ? narrow(result) : "null";
    std::free(result);
    return text;
  }
};

TEST_F(RealPathTest, MakesPathsAbsoluteWithinTheBuffer) {
  EXPECT_EQ(real(u"x"), "C:\\work\\x");
  EXPECT_EQ(real(u"\\x"), "C:\\x");
  EXPECT_EQ(real(u"..\\..\\.."), "C:\\");
  EXPECT_EQ(real(u"D:\\a\\.\\b"), "D:\\a\\b");
  EXPECT_EQ(real(u""), "null");

  const std::u16string longest = u"C:\\" + std::u16string(kMaxPath - 4, u'a');
  EXPECT_EQ(wide(real(longest)), longest);
  EXPECT_EQ(real(longest + u"a"), "null");
  EXPECT_EQ(real(longest + u"aa"), "null");
  // Short enough to start with, too long once absolute.
  EXPECT_EQ(real(std::u16string(kMaxPath - 4, u'a')), "null");
  EXPECT_EQ(PathHelper().realPath(nullptr), nullptr);
}

TEST(ValidPathTest, PathMustLieOnADriveOfTheMask) {
  PathHelper helper;
  const DriveList drives = {DriveEntry(u"C:", DT_FIXED, u"NTFS"),
                            DriveEntry(u"R:", DT_REMOTE, u"SMB"), DriveEntry()};
  EXPECT_TRUE(helper.isValidPath(drives, DT_FIXED, u"c:\\x"));
  EXPECT_TRUE(helper.isValidPath(drives, mdAllDriveGroup, u"R:*.doc"));
  EXPECT_FALSE(helper.isValidPath(drives, DT_FIXED, u"R:\\x"));
  EXPECT_FALSE(helper.isValidPath(drives, DT_FIXED, u"C"));
  EXPECT_FALSE(helper.isValidPath(drives, DT_FIXED, u"\\x"));
  EXPECT_FALSE(helper.isValidPath(drives, DT_FIXED, nullptr));
  EXPECT_FALSE(helper.isValidPath(DriveList(), DT_FIXED, u"C:\\"));

  TraceCapture traces;
  EXPECT_FALSE(helper.isValidPath(drives, 0, u"C:\\x"));
  EXPECT_EQ(traces.messages(),
            std::vector<std::string>{"PathHelper::isValidPath - media not valid!\n"});
}

// Reference matching for paths without wildcards, written from the rules rather than the
// matcher: a pattern matches its own text, and that text with a trailing backslash on the
// pattern; a subtree pattern also matches everything below it.
bool referenceMatch(const std::u16string& pattern, const std::u16string& path, bool subtree) {
  if (path == pattern || pattern == path + u"\\") return true;
  if (!subtree) return false;
  const std::u16string below =
      pattern.size() > 0 && pattern.back() == u'\\' ? pattern : pattern + u"\\";
  return path.compare(0, below.size(), below) == 0;
}

// Index of the first longest matching entry, by brute force; -1 for none.
int referenceBest(const std::u16string& path, const PathList& list) {
  int best = -1;
  for (size_t i = 0; i < list.size(); ++i) {
    const std::u16string pattern = list[i].path();
    if (!referenceMatch(pattern, path, list[i].recursive())) continue;
    if (best < 0 || pattern.size() > std::u16string(list[best].path()).size()) {
      best = static_cast<int>(i);
    }
  }
  return best;
}

bool referenceIncluded(const std::u16string& path, const PathList& includes,
                       const PathList& excludes) {
  const int exclude = referenceBest(path, excludes);
  if (exclude < 0) return true;
  const int include = referenceBest(path, includes);
  return include >= 0 && std::u16string(excludes[exclude].path()).size() <=
                             std::u16string(includes[include].path()).size();
}

std::u16string randomPath(std::mt19937& rng, bool mayEndInBackslash) {
  static const std::u16string kComponents[] = {u"a", u"b", u"ab", u"A"};
  std::u16string path = u"C:";
  const int depth = std::uniform_int_distribution<int>(0, 3)(rng);
  for (int i = 0; i < depth; ++i) {
    path += u"\\" + kComponents[std::uniform_int_distribution<int>(0, 3)(rng)];
  }
  if (depth == 0 || (mayEndInBackslash && rng() % 4 == 0)) path += u"\\";
  return path;
}

PathList randomList(std::mt19937& rng) {
  PathList list;
  const int size = std::uniform_int_distribution<int>(0, 4)(rng);
  for (int i = 0; i < size; ++i) list.emplace_back(randomPath(rng, true).c_str(), rng() % 2 == 0);
  return list;
}

TEST(PathInclusionTest, AgreesWithBruteForceLongestMatch) {
  std::mt19937 rng(20240611);
  PathHelper helper;
  int excludedSome = 0;
  for (int trial = 0; trial < 20000; ++trial) {
    const PathList includes = randomList(rng);
    const PathList excludes = randomList(rng);
    const std::u16string path = randomPath(rng, false);
    ASSERT_EQ(helper.findBestMatch(path.c_str(), includes), referenceBest(path, includes))
        << narrow(path);
    const bool expected = referenceIncluded(path, includes, excludes);
    ASSERT_EQ(helper.isPathIncluded(path.c_str(), includes, excludes), expected) << narrow(path);
    excludedSome += expected ? 0 : 1;
  }
  EXPECT_GT(excludedSome, 1000);  // the random sets reach both answers
}

TEST(PathInclusionTest, SpecificRuleWinsAndTiesInclude) {
  PathHelper helper;
  const PathList drives = pathList({u"C:", u"D:"}, true);
  const PathList pruned = pathList({u"E:"}, true);
  EXPECT_TRUE(helper.isPathIncluded(u"C:\\Windows\\", drives, pruned));
  EXPECT_FALSE(helper.isPathIncluded(u"E:\\data", drives, pruned));
  EXPECT_TRUE(helper.isPathIncluded(u"X:\\data", {}, pruned));  // no exclusion matches
  EXPECT_TRUE(helper.isPathIncluded(u"C:\\a\\b", pathList({u"C:\\a\\b"}, true),
                                    pathList({u"C:\\a"}, true)));
  EXPECT_FALSE(helper.isPathIncluded(u"C:\\a\\b", pathList({u"C:\\a"}, true),
                                     pathList({u"C:\\a\\b"}, true)));
  EXPECT_TRUE(
      helper.isPathIncluded(u"C:\\a\\b", pathList({u"C:\\a"}, true), pathList({u"C:\\a"}, true)));
  // Letter case counts.
  EXPECT_TRUE(helper.isPathIncluded(u"e:\\data", drives, pruned));
  EXPECT_TRUE(helper.isPathIncluded(nullptr, drives, pruned));
  EXPECT_EQ(helper.findBestMatch(u"C:\\x", {}), -1);
}

}  // namespace
