#include "paths/pathhelper.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "paths/paths_test_support.h"
#include "platform/platform.h"
#include "support/drive_table.h"
#include "support/trace_capture.h"

namespace {

constexpr size_t kMaxPath = platform::kMaxPath;

// The expansion of input into capacity characters, or "error N"; checks that the output is
// terminated within its capacity and nothing is written past it.
std::string expand(const std::u16string& input, size_t capacity = kMaxPath) {
  std::vector<char16_t> output(capacity + 1, u'#');
  const int result = PathHelper().expandFolderTokens(input.c_str(), output.data(), capacity);
  EXPECT_LT(std::u16string(output.data(), capacity).find(u'\0'), capacity);
  EXPECT_EQ(output[capacity], u'#');
  return result != 0 ? "error " + std::to_string(result) : narrow(output.data());
}

TEST(FolderTokenTest, ExpandsByTheFirstNameATokenBegins) {
  if (!ScopedShellFolders::kSupported) GTEST_SKIP() << "the real shell names the folders";
  ScopedShellFolders folders("36=C:\\Windows;37=C:\\Windows\\system32;38=C:\\Program Files");
  // A token selects the first name it begins: the empty one the first entry. Case counts; a token
  // longer than every name, unknown or unclosed stays as written. No folder 24 is in the table; the
  // end-of-table entry is no folder.
  const std::pair<const char16_t*, const char*> cases[] = {
      {u"%CSIDL_PROGRAM_FILES%\\x", "C:\\Program Files\\x"},
      {u"%CSIDL_%", "C:\\Windows"},
      {u"%%\\x", "C:\\Windows\\x"},
      {u"%CSIDL_WINDOWS%%CSIDL_SYSTEM%", "C:\\WindowsC:\\Windows\\system32"},
      {u"C:\\%csidl_windows%\\x", "C:\\%csidl_windows%\\x"},
      {u"%CSIDL_WINDOWSX%", "%CSIDL_WINDOWSX%"},
      {u"%UNKNOWN%\\%", "%UNKNOWN%\\%"},
      {u"a%b%c%", "a%b%c%"},
      {u"%", "%"},
      {u"", ""},
      {u"::\"<>|:", "::\"<>|:"},
      {u"x%CSIDL_COMMON_STARTUP%", "error -1"},
      {u"%__LAST_ENTRY__%", "error -1"}};
  for (const auto& [input, expected] : cases) EXPECT_EQ(expand(input), expected) << narrow(input);
  ScopedShellFolders none("");
  EXPECT_EQ(expand(u"%%"), "error -1");
}

// The output and its terminating zero must fit the capacity.
TEST(FolderTokenTest, OutputNeverPassesItsCapacity) {
  ScopedShellFolders folders("36=C:\\Windows");
  if (ScopedShellFolders::kSupported) {
    EXPECT_EQ(expand(u"%CSIDL_WINDOWS%", 11), "C:\\Windows");
    EXPECT_EQ(expand(u"%CSIDL_WINDOWS%", 10), "error -2");
  }
  EXPECT_EQ(expand(u"ab%UNKNOWN%", 12), "ab%UNKNOWN%");
  EXPECT_EQ(expand(u"ab%UNKNOWN%", 11) + expand(u"a", 1), "error -2error -2");
  const std::u16string a259(kMaxPath - 1, u'a');
  EXPECT_EQ(expand(a259), narrow(a259));
  EXPECT_EQ(expand(a259 + u"a"), "error -2");
  char16_t output[4] = {u'#', u'#', u'#', u'#'};
  EXPECT_EQ(PathHelper().expandFolderTokens(nullptr, output, 4) +
                PathHelper().expandFolderTokens(u"a", nullptr, 4) +
                PathHelper().expandFolderTokens(u"a", output, 0),
            -3);
  EXPECT_EQ(output[0], u'#');
}

// The common forms are checked through the resolver.
TEST(WildcardParentTest, ParentIsTheDirectoryBeforeTheFirstWildcard) {
  const auto parentOf = [](const std::u16string& path) {
    char16_t output[kMaxPath];
    const bool fits = PathHelper().wildcardParent(path.c_str(), output);
    return fits ? std::u16string(output) : u"refused" + std::u16string(output);
  };
  const std::u16string longest = u"C:\\" + std::u16string(kMaxPath - 4, u'a');
  const std::pair<std::u16string, std::u16string> cases[] = {{u"C:\\a\\b?\\c\\*.txt", u"C:\\a\\"},
                                                             {u"?:*.doc", u"?:\\"},
                                                             {u"*.txt", u"\\"},
                                                             {u"dir\\*.txt", u"dir\\"},
                                                             {u"a\\b:*", u"a\\b:\\"},
                                                             {u"", u""},
                                                             {longest, longest}};
  for (const auto& [path, parent] : cases) EXPECT_EQ(parentOf(path), parent) << narrow(path);
  EXPECT_EQ(parentOf(u"C:" + std::u16string(kMaxPath * 2, u'*')), u"C:\\");
  // Refused, output empty, when the parent does not fit.
  EXPECT_EQ(parentOf(longest + u"a"), u"refused");
  EXPECT_EQ(parentOf(longest + u"a\\*"), u"refused");
  char16_t output[kMaxPath];
  EXPECT_FALSE(PathHelper().wildcardParent(nullptr, output) ||
               PathHelper().wildcardParent(u"C:\\", nullptr));
}

// Absolute forms are checked through the resolver; here the refusals.
class RealPathTest : public DriveTableTest {};

TEST_F(RealPathTest, RefusesWhatDoesNotFitTheBuffer) {
  drives_.enter('C', "work");
  const std::u16string longest = u"C:\\" + std::u16string(kMaxPath - 4, u'a');
  char16_t* fits = PathHelper().realPath(longest.c_str());
  ASSERT_NE(fits, nullptr);
  EXPECT_EQ(std::u16string(fits), longest);
  std::free(fits);
  for (const std::u16string& path : {std::u16string(), longest + u"a", longest.substr(3)}) {
    EXPECT_EQ(PathHelper().realPath(path.c_str()), nullptr) << narrow(path);
  }
  EXPECT_EQ(PathHelper().realPath(nullptr), nullptr);
}

TEST(ValidPathTest, PathMustLieOnADriveOfTheMask) {
  PathHelper helper;
  const DriveList drives = {DriveEntry(u"C:", DT_FIXED, u"NTFS"), DriveEntry()};
  EXPECT_TRUE(helper.isValidPath(drives, DT_FIXED, u"c:\\x"));
  EXPECT_FALSE(helper.isValidPath(drives, DT_FIXED, u"C") ||
               helper.isValidPath(drives, DT_REMOTE, u"C:\\x") ||
               helper.isValidPath(drives, DT_FIXED, nullptr));
  TraceCapture traces;
  EXPECT_FALSE(helper.isValidPath(drives, 0, u"C:\\x"));
  EXPECT_EQ(traces.messages(), Strings{"PathHelper::isValidPath - media not valid!\n"});
}

// Reference matching for paths without wildcards, written from the rules rather than the
// matcher: a pattern matches its own text, and that text with a trailing backslash on the
// pattern; a subtree pattern also matches everything below it.
bool referenceMatch(const std::u16string& pattern, const std::u16string& path, bool subtree) {
  if (path == pattern || pattern == path + u"\\") return true;
  const std::u16string below =
      !pattern.empty() && pattern.back() == u'\\' ? pattern : pattern + u"\\";
  return subtree && path.compare(0, below.size(), below) == 0;
}

// Index and length of the first longest matching entry, by brute force; index -1 for none.
std::pair<int, size_t> referenceBest(const std::u16string& path, const PathList& list) {
  std::pair<int, size_t> best = {-1, 0};
  for (size_t i = 0; i < list.size(); ++i) {
    const std::u16string pattern = list[i].path();
    if (referenceMatch(pattern, path, list[i].recursive()) &&
        (best.first < 0 || pattern.size() > best.second)) {
      best = {static_cast<int>(i), pattern.size()};
    }
  }
  return best;
}

std::u16string randomPath(std::mt19937& rng, bool mayEndInBackslash) {
  static const std::u16string kComponents[] = {u"a", u"b", u"ab", u"A"};
  std::u16string path = u"C:";
  const int depth = std::uniform_int_distribution<int>(0, 3)(rng);
  for (int i = 0; i < depth; ++i) path += u"\\" + kComponents[rng() % 4];
  if (depth == 0 || (mayEndInBackslash && rng() % 4 == 0)) path += u"\\";
  return path;
}

PathList randomList(std::mt19937& rng) {
  PathList list(rng() % 5);
  for (PathEntry& entry : list) entry = PathEntry(randomPath(rng, true).c_str(), rng() % 2 == 0);
  return list;
}

TEST(PathInclusionTest, AgreesWithBruteForceLongestMatch) {
  std::mt19937 rng(20240611);
  PathHelper helper;
  int excludedSome = 0;
  for (int trial = 0; trial < 20000; ++trial) {
    const PathList includes = randomList(rng), excludes = randomList(rng);
    const std::u16string path = randomPath(rng, false);
    const auto include = referenceBest(path, includes), exclude = referenceBest(path, excludes);
    ASSERT_EQ(helper.findBestMatch(path.c_str(), includes), include.first) << narrow(path);
    const bool expected =
        exclude.first < 0 || (include.first >= 0 && exclude.second <= include.second);
    ASSERT_EQ(helper.isPathIncluded(path.c_str(), includes, excludes), expected) << narrow(path);
    excludedSome += expected ? 0 : 1;
  }
  EXPECT_GT(excludedSome, 1000);  // the random sets reach both answers
  EXPECT_TRUE(helper.isPathIncluded(nullptr, {}, pathList({u"C:"}, true)));
  EXPECT_EQ(helper.findBestMatch(nullptr, pathList({u"C:"}, true)), -1);
}

}  // namespace
