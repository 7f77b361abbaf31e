// Process: starting images by Windows paths, command-line words, waits, exit codes, ids.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <climits>
#endif

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ipc/ipc_support.h"
#include "platform/platform.h"
#include "platform/platform_testing.h"
#include "support/narrow_text.h"
#include "support/temp_dir.h"
#include "support/wine.h"

namespace {

using ipc_test::childCommandLine;
using ipc_test::exitCodeAfterEnd;
using ipc_test::kGenerousTimeoutMs;
using ipc_test::quoteArgument;
using ipc_test::selfImage;
using ipc_test::startChild;
using ipc_test::widen;
using platform::Process;
using platform::WaitResult;

uint32_t startError(const std::u16string& commandLine) {
  platform::setLastError(0);
  EXPECT_EQ(Process::start(commandLine.c_str()), nullptr) << "started: " << commandLine.size();
  return platform::lastError();
}

std::u16string quoted(const std::u16string& image) { return u"\"" + image + u"\""; }

void writeFile(const std::filesystem::path& path, const std::string& content,
               std::filesystem::perms permissions) {
  std::ofstream(path, std::ios::binary) << content;
  std::filesystem::permissions(path, permissions);
}

TEST(ProcessTest, ImagesThatCannotStartReportTheSystemError) {
  TempDir directory;
  EXPECT_EQ(startError(quoted(directory.drive(u"missing.exe"))), platform::kErrorFileNotFound);
  // Wine reports a missing directory of the image as a missing file.
  EXPECT_EQ(startError(quoted(directory.drive(u"no_dir\\missing.exe")) + u" a b"),
            runningUnderWine() ? platform::kErrorFileNotFound : platform::kErrorPathNotFound);
  EXPECT_EQ(startError(u""), platform::kErrorInvalidParameter);
  EXPECT_EQ(startError(u" \t "), platform::kErrorInvalidParameter);
  EXPECT_EQ(startError(u"\"\" x"), platform::kErrorInvalidParameter);
  platform::setLastError(0);
  EXPECT_EQ(Process::start(nullptr), nullptr);
  EXPECT_EQ(platform::lastError(), platform::kErrorInvalidParameter);

  EXPECT_EQ(startError(quoted(directory.drive())), platform::kErrorAccessDenied);
#ifndef _WIN32  // Windows has no execute permission to withhold.
  writeFile(directory.host("plain.exe"), "#!/bin/sh\nexit 0\n", std::filesystem::perms(0644));
  EXPECT_EQ(startError(quoted(directory.drive(u"plain.exe"))), platform::kErrorAccessDenied);
#endif
  writeFile(directory.host("text.exe"), "not a program\n", std::filesystem::perms(0755));
  EXPECT_EQ(startError(quoted(directory.drive(u"text.exe"))), platform::kErrorBadExeFormat);

  platform::testing::injectFault(platform::testing::Fault::kProcessStart,
                                 platform::kErrorAccessDenied);
  EXPECT_EQ(startError(childCommandLine("exit", {u"0"})), platform::kErrorAccessDenied);
  platform::testing::clearFaults();
}

TEST(ProcessTest, StartsByWindowsPathAndReportsExitCodes) {
  for (int code : {0, 7, 255}) {
    std::unique_ptr<Process> child = startChild("exit", {widen(std::to_string(code))});
    ASSERT_NE(child, nullptr);
    EXPECT_NE(child->id(), 0u);
    EXPECT_EQ(exitCodeAfterEnd(*child), code);
    // The result stays readable after the end.
    EXPECT_EQ(child->wait(0), WaitResult::kSignaled);
    EXPECT_EQ(exitCodeAfterEnd(*child), code);
  }
#ifdef _WIN32
  GTEST_SKIP() << "starting \"name.exe\" as \"name\" is the POSIX backend's rule";
#endif
  // "name.exe" that does not exist is started as "name".
  std::unique_ptr<Process> child =
      Process::start((quoted(selfImage() + u".exe") + u" --child exit 4").c_str());
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(exitCodeAfterEnd(*child), 4);
}

TEST(ProcessTest, RelativeImagesAreTakenFromTheCurrentDirectory) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows searches for a relative image itself, its own directory first";
#else
  TempDir directory;
  char original[PATH_MAX];
  ASSERT_NE(getcwd(original, sizeof(original)), nullptr);
  char self[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
  ASSERT_GT(length, 0);
  self[length] = '\0';
  ASSERT_EQ(symlink(self, directory.host("ipc_link").c_str()), 0);
  ASSERT_EQ(chdir(directory.host().c_str()), 0);
  std::unique_ptr<Process> dotted = Process::start(u".\\ipc_link.exe --child exit 5");
  std::unique_ptr<Process> bare = Process::start(u"ipc_link --child exit 6");
  const uint32_t missingError = startError(u"other_link.exe --child exit 0");
  ASSERT_EQ(chdir(original), 0);
  ASSERT_NE(dotted, nullptr);
  ASSERT_NE(bare, nullptr);
  EXPECT_EQ(exitCodeAfterEnd(*dotted), 5);
  EXPECT_EQ(exitCodeAfterEnd(*bare), 6);
  EXPECT_EQ(missingError, platform::kErrorFileNotFound);
#endif
}

TEST(ProcessTest, CommandLineWordsReachTheChildUnchanged) {
  TempDir directory;
  const std::string output = directory.host("args").string();
  std::vector<std::u16string> arguments = {u"plain",         u"two words",  u"",
                                           u"quote\"inside", u"trailing\\", u"back\\\\slash\\\"q",
                                           u"tab\there"};
  // The child's words are narrow text: characters beyond ASCII need UTF-8 to arrive unchanged.
  if (narrowTextIsUtf8()) arguments.push_back(u"\u00fcn\u00efc\u00f8d\u00e9 \U0001F600");
  std::vector<std::u16string> all{widen(output)};
  all.insert(all.end(), arguments.begin(), arguments.end());
  std::unique_ptr<Process> child = startChild("write-args", all);
  ASSERT_NE(child, nullptr);
  ASSERT_EQ(exitCodeAfterEnd(*child), ipc_test::kChildOk);
  std::string expected;
  for (const std::u16string& argument : arguments) {
    std::string narrow;
    ASSERT_TRUE(platform::wideToNarrow(argument.c_str(), &narrow));
    expected += narrow + '\0';
  }
  std::ifstream written(output, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(written), {}), expected);

  // The documented rules on a hand-written line.
  const std::u16string line =
      childCommandLine("write-args", {widen(output)}) + uR"( a\\\"b "c d" e"f"g a\\b)";
  child = Process::start(line.c_str());
  ASSERT_NE(child, nullptr);
  ASSERT_EQ(exitCodeAfterEnd(*child), ipc_test::kChildOk);
  std::ifstream rewritten(output, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(rewritten), {}),
            std::string("a\\\"b\0c d\0efg\0a\\\\b\0", 18));
}

TEST(ProcessTest, ChildRunsInItsOwnSessionWithoutInheritedDescriptors) {
#ifdef _WIN32
  GTEST_SKIP() << "sessions and descriptors are POSIX's; Windows starts it inheriting no handle";
#else
  const int inheritable = open("/dev/null", O_RDONLY);  // no O_CLOEXEC on purpose
  ASSERT_GE(inheritable, 0);
  std::unique_ptr<Process> child = startChild("check-isolation", {});
  close(inheritable);
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(exitCodeAfterEnd(*child), ipc_test::kChildOk);
#endif
}

TEST(ProcessTest, WaitsTimeOutUntilTerminated) {
  std::unique_ptr<Process> child = startChild("linger", {});
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(child->wait(0), WaitResult::kTimedOut);
  EXPECT_EQ(child->wait(20), WaitResult::kTimedOut);
  uint32_t code = 0;
  ASSERT_TRUE(child->exitCode(&code));
  EXPECT_EQ(code, platform::kStillActive);
  ASSERT_TRUE(child->terminate(42));
  EXPECT_EQ(child->wait(platform::kInfinite), WaitResult::kSignaled);
  ASSERT_TRUE(child->exitCode(&code));
  EXPECT_EQ(code, 42u);
  platform::setLastError(0);
  EXPECT_FALSE(child->terminate(1));
  EXPECT_EQ(platform::lastError(), platform::kErrorAccessDenied);
}

TEST(ProcessTest, OtherSignalsGiveShellStyleExitCodes) {
#ifdef _WIN32
  GTEST_SKIP() << "signals are POSIX's";
#else
  std::unique_ptr<Process> child = startChild("linger", {});
  ASSERT_NE(child, nullptr);
  ASSERT_EQ(kill(static_cast<pid_t>(child->id()), SIGTERM), 0);
  EXPECT_EQ(exitCodeAfterEnd(*child), 128 + SIGTERM);
#endif
}

TEST(ProcessTest, OpensRunningProcessesById) {
  std::unique_ptr<Process> child = startChild("linger", {});
  ASSERT_NE(child, nullptr);
  std::unique_ptr<Process> opened = Process::open(child->id());
  ASSERT_NE(opened, nullptr);
  EXPECT_EQ(opened->id(), child->id());
  EXPECT_EQ(opened->wait(0), WaitResult::kTimedOut);
  uint32_t code = 0;
  ASSERT_TRUE(opened->exitCode(&code));
  EXPECT_EQ(code, platform::kStillActive);
  ASSERT_TRUE(opened->terminate(9));
  EXPECT_EQ(opened->wait(kGenerousTimeoutMs), WaitResult::kSignaled);
  ASSERT_TRUE(opened->exitCode(&code));
  EXPECT_EQ(code, 9u);
  // The starter reaps it and sees the kill (on POSIX as the signal, on Windows as the code).
#ifdef _WIN32
  EXPECT_EQ(exitCodeAfterEnd(*child), 9);
#else
  EXPECT_EQ(exitCodeAfterEnd(*child), 128 + SIGKILL);
#endif

  // A process not started by this one: waits work, the exit code reads 0.
  std::unique_ptr<Process> self = Process::open(platform::currentProcessId());
  ASSERT_NE(self, nullptr);
  EXPECT_EQ(self->wait(0), WaitResult::kTimedOut);

  platform::setLastError(0);
  EXPECT_EQ(Process::open(0), nullptr);
  EXPECT_EQ(platform::lastError(), platform::kErrorInvalidParameter);

  // Once its last handle is closed, an ended process cannot be opened by its id.
  if (runningUnderWine()) GTEST_SKIP() << "Wine keeps an ended process openable for a while";
  const uint32_t gone = child->id();
  child.reset();
  opened.reset();
  platform::setLastError(0);
  EXPECT_EQ(Process::open(gone), nullptr);
  EXPECT_EQ(platform::lastError(), platform::kErrorInvalidParameter);
}

// A child whose handle was closed while it ran is still reaped by a later open of its id.
TEST(ProcessTest, ClosedChildIsTakenBackByOpen) {
  const std::u16string eventName = ipc_test::uniqueName(u"finish");
  const std::u16string readyName = ipc_test::uniqueName(u"ready");
  std::unique_ptr<platform::NamedEvent> finish = platform::NamedEvent::create(eventName.c_str());
  std::unique_ptr<platform::NamedEvent> ready = platform::NamedEvent::create(readyName.c_str());
  ASSERT_NE(finish, nullptr);
  ASSERT_NE(ready, nullptr);
  std::unique_ptr<Process> child = startChild("wait-event", {eventName, readyName, u"5"});
  ASSERT_NE(child, nullptr);
  ASSERT_TRUE(ipc_test::waitReady(*ready));
  const uint32_t id = child->id();
  child.reset();
  std::unique_ptr<Process> opened = Process::open(id);
  ASSERT_NE(opened, nullptr);
  ASSERT_TRUE(finish->set());
  EXPECT_EQ(exitCodeAfterEnd(*opened), 5);
}

TEST(ProcessTest, SnapshotListsChildByIdAndExecutableName) {
  std::unique_ptr<Process> child = startChild("linger", {});
  ASSERT_NE(child, nullptr);
  std::vector<platform::ProcessEntry> entries;
  ASSERT_TRUE(platform::processSnapshot(&entries));
  bool foundChild = false;
  bool foundSelf = false;
  for (const platform::ProcessEntry& entry : entries) {
    if (entry.processId == child->id()) {
      foundChild = true;
      EXPECT_EQ(entry.exeName, u"ipc_tests.exe");
    }
    if (entry.processId == platform::currentProcessId()) {
      foundSelf = true;
      EXPECT_EQ(entry.exeName, u"ipc_tests.exe");
    }
  }
  EXPECT_TRUE(foundChild);
  EXPECT_TRUE(foundSelf);
  EXPECT_TRUE(child->terminate(0));
}

}  // namespace
