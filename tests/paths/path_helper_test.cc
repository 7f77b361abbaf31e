#include "paths/pathhelper.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "paths/paths_test_support.h"
#include "paths/wow64helper.h"
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

TEST(FolderTokenTest, ExpandsByTheFirstNameATokenBeginsWithinTheCapacity) {
  // The output and its terminating zero must fit the capacity; null arguments are refused.
  const std::u16string a259(kMaxPath - 1, u'a');
  EXPECT_EQ(expand(a259) + expand(u"ab%UNKNOWN%", 12), narrow(a259) + "ab%UNKNOWN%");
  EXPECT_EQ(expand(a259 + u"a") + expand(u"ab%UNKNOWN%", 11) + expand(u"a", 1),
            "error -2error -2error -2");
  char16_t output[4] = {u'#', u'#', u'#', u'#'};
  EXPECT_EQ(PathHelper().expandFolderTokens(nullptr, output, 4) +
                PathHelper().expandFolderTokens(u"a", nullptr, 4) +
                PathHelper().expandFolderTokens(u"a", output, 0),
            -3);
  EXPECT_EQ(output[0], u'#');
  if (!ScopedShellFolders::kSupported) GTEST_SKIP() << "the real shell names the folders";
  ScopedShellFolders folders("36=C:\\Windows;37=C:\\Windows\\system32;38=C:\\Program Files");
  // A token selects the first name it begins: the empty one the first entry. Case counts; a token
  // longer than every name, unknown or unclosed stays as written. No folder 24 is in the table; the
  // end-of-table entry is no folder.
  const std::pair<const char16_t*, const char*> cases[] = {
      {u"%CSIDL_PROGRAM_FILES%\\x", "C:\\Program Files\\x"},
      {u"%%\\x", "C:\\Windows\\x"},
      {u"%CSIDL_WINDOWS%%CSIDL_SYSTEM%", "C:\\WindowsC:\\Windows\\system32"},
      {u"C:\\%csidl_windows%\\x", "C:\\%csidl_windows%\\x"},
      {u"%CSIDL_WINDOWSX%", "%CSIDL_WINDOWSX%"},
      {u"%UNKNOWN%\\%", "%UNKNOWN%\\%"},
      {u"a%b%c%", "a%b%c%"},
      {u"", ""},
      {u"x%CSIDL_COMMON_STARTUP%", "error -1"},
      {u"%__LAST_ENTRY__%", "error -1"}};
  for (const auto& [input, expected] : cases) EXPECT_EQ(expand(input), expected) << narrow(input);
  EXPECT_EQ(expand(u"%CSIDL_WINDOWS%", 11) + expand(u"%CSIDL_WINDOWS%", 10), "C:\\Windowserror -2");
  ScopedShellFolders none("");
  EXPECT_EQ(expand(u"%%"), "error -1");
}

// The common forms are checked through the resolver.
TEST(WildcardParentTest, ParentIsTheDirectoryBeforeTheFirstWildcard) {
  const std::u16string longest = u"C:\\" + std::u16string(kMaxPath - 4, u'a');
  // Refused, output empty, when the parent does not fit.
  std::vector<std::u16string> parents;
  for (const std::u16string& path : std::vector<std::u16string>{
           u"C:\\a\\b?\\c\\*.txt", u"?:*.doc", u"*.txt", u"dir\\*.txt", u"a\\b:*", u"", longest,
           u"C:" + std::u16string(kMaxPath * 2, u'*'), longest + u"a", longest + u"a\\*"}) {
    char16_t output[kMaxPath];
    const bool fits = PathHelper().wildcardParent(path.c_str(), output);
    parents.push_back(fits ? std::u16string(output) : u"refused" + std::u16string(output));
  }
  EXPECT_EQ(parents, (std::vector<std::u16string>{u"C:\\a\\", u"?:\\", u"\\", u"dir\\", u"a\\b:\\",
                                                  u"", longest, u"C:\\", u"refused", u"refused"}));
  char16_t output[kMaxPath];
  EXPECT_FALSE(PathHelper().wildcardParent(nullptr, output) ||
               PathHelper().wildcardParent(u"C:\\", nullptr));
}

// Absolute forms are checked through the resolver; here the refusals.
TEST_F(DriveTableTest, RealPathRefusesWhatDoesNotFitTheBuffer) {
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

// A valid path lies on a drive of the mask. Of the inclusions and exclusions, the longest matching
// entry of each list decides; a tie goes to inclusion.
TEST(PathChecksTest, ValidPathsAndLongestMatchInclusion) {
  PathHelper helper;
  const DriveList drives = {DriveEntry(u"C:", DT_FIXED, u"NTFS"), DriveEntry()};
  EXPECT_TRUE(helper.isValidPath(drives, DT_FIXED, u"c:\\x"));
  EXPECT_FALSE(helper.isValidPath(drives, DT_FIXED, u"C") ||
               helper.isValidPath(drives, DT_REMOTE, u"C:\\x") ||
               helper.isValidPath(drives, DT_FIXED, nullptr));
  TraceCapture traces;
  EXPECT_FALSE(helper.isValidPath(drives, 0, u"C:\\x"));
  EXPECT_EQ(traces.messages(), Strings{"PathHelper::isValidPath - media not valid!\n"});
  const PathList includes = {PathEntry(u"C:\\x", true), PathEntry(u"C:\\a", true),
                             PathEntry(u"C:\\a\\b\\c", false)};
  const PathList excludes = pathList({u"C:\\a\\b", u"C:\\x"}, true);
  const std::pair<const char16_t*, bool> cases[] = {
      {u"C:\\a\\z", true},        {u"C:\\a\\b\\z", false}, {u"C:\\a\\b\\c", true},
      {u"C:\\a\\b\\c\\z", false}, {u"C:\\x\\y", true},     {u"D:\\q", true}};
  for (const auto& [path, included] : cases) {
    EXPECT_EQ(helper.isPathIncluded(path, includes, excludes), included) << narrow(path);
  }
  EXPECT_FALSE(helper.isPathIncluded(u"C:\\a\\b", {}, excludes));
  EXPECT_TRUE(helper.isPathIncluded(nullptr, {}, pathList({u"C:"}, true)));
}

// CTest runs each test in a process of its own, so the first Wow64Switch of a test is normally the
// first of its process; run in one process, the look-up is checked where it happens.
TEST(Wow64SwitchTest, SettlesTheProcessStateOnce) {
  const bool firstInProcess = wow64ProcessState() == kWow64Unknown;
  TraceCapture traces;
  Wow64Switch first;
  const int32_t state = wow64ProcessState();
#ifdef _WIN32
  EXPECT_TRUE(state == kWow64Process || state == kNotWow64Process) << state;
  EXPECT_EQ(traces.contains("::isWow64Process - IsWow64Process() found! calling...\n"),
            firstInProcess);
#else
  EXPECT_EQ(state, kWow64FunctionMissing);  // POSIX has no WOW64 functions
  EXPECT_EQ(traces.messages().size() == 1 &&
                traces.contains("::isWow64Process - IsWow64Process() not found (win 2K or "
                                "previous versions)\n"),
            firstInProcess);
#endif

  // Later switches, on any thread, use the settled state without looking again; only a WOW64
  // process calls the disable function.
  traces.clear();
  std::thread([] { Wow64Switch second; }).join();
  Wow64Switch third;
  EXPECT_EQ(wow64ProcessState(), state);
  EXPECT_FALSE(traces.containsText("::isWow64Process"));
  EXPECT_EQ(third.disableWow64FsRedirection(), state == kWow64Process);
  EXPECT_EQ(traces.containsText("::wow64DisableWow64FsRedirection"), state == kWow64Process);
}

}  // namespace
