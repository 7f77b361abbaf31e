// CTest runs each test in a process of its own, so the first Wow64Switch of a test is normally the
// first of its process; run in one process, the look-up is checked where it happens.
#include "paths/wow64helper.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "paths/paths_test_support.h"
#include "platform/platform.h"
#include "support/trace_capture.h"

namespace {

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

TEST(FolderPathTest, AnswersFromTheShellOrFails) {
  char16_t buffer[platform::kMaxPath] = {};
  EXPECT_EQ(getFolderPath(kFolderIdWindows, nullptr), kFolderInvalidArgument);
  if (!ScopedShellFolders::kSupported) {
    EXPECT_GE(getFolderPath(kFolderIdWindows, buffer), 0);
    EXPECT_NE(buffer[0], u'\0');
    return;
  }
  ScopedShellFolders folders("36=C:\\Windows;38=D:\\Programs");
  EXPECT_EQ(getFolderPath(38, buffer), 0);
  EXPECT_EQ(narrow(buffer), "D:\\Programs");
  // A folder the shell does not know fails with the shell's own code.
  EXPECT_EQ(getFolderPath(kFolderIdSystem, buffer), kFolderFailed);
  EXPECT_EQ(getFolderPath(-1, buffer), kFolderFailed);
  ScopedShellFolders overlong(("36=C:\\" + std::string(platform::kMaxPath, 'a')).c_str());
  EXPECT_LT(getFolderPath(kFolderIdWindows, buffer), 0);
}

}  // namespace
