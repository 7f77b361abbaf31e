// Process: starting images by Windows paths, command-line words (on POSIX split by the Win32
// rules), waits, exit codes, ids.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include "platform/posix/command_line.h"
#endif

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
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
using ipc_test::startChild;
using ipc_test::widen;
using platform::Process;
using platform::WaitResult;

#ifdef _WIN32
constexpr uint32_t kKilledExitCode = 1;
constexpr bool kOnPosix = false;
#else
constexpr uint32_t kKilledExitCode = 128 + SIGKILL;
constexpr bool kOnPosix = true;
#endif

uint32_t startError(const std::u16string& commandLine) {
  platform::setLastError(0);
  EXPECT_EQ(Process::start(commandLine.c_str()), nullptr) << "started: " << commandLine.size();
  return platform::lastError();
}

std::u16string quoted(const std::u16string& image) { return u"\"" + image + u"\""; }

void writeFile(const std::filesystem::path& path, const std::string& content, int mode) {
  std::ofstream(path, std::ios::binary) << content;
  std::filesystem::permissions(path, std::filesystem::perms(mode));
}

TEST(ProcessTest, StartErrorsAndWordsThatReachTheChild) {
  TempDir directory;
  EXPECT_EQ(startError(quoted(directory.drive(u"missing.exe"))), platform::kErrorFileNotFound);
  // Wine reports a missing directory of the image as a missing file.
  EXPECT_EQ(startError(quoted(directory.drive(u"no_dir\\missing.exe")) + u" a b"),
            runningUnderWine() ? platform::kErrorFileNotFound : platform::kErrorPathNotFound);
  for (const char16_t* blank : {u"", u" \t ", u"\"\" x"}) {
    EXPECT_EQ(startError(blank), platform::kErrorInvalidParameter);
  }
  EXPECT_TRUE(failedWith(Process::start(nullptr) != nullptr, platform::kErrorInvalidParameter));

  EXPECT_EQ(startError(quoted(directory.drive())), platform::kErrorAccessDenied);
#ifndef _WIN32  // Windows has no execute permission to withhold.
  writeFile(directory.host("plain.exe"), "#!/bin/sh\nexit 0\n", 0644);
  EXPECT_EQ(startError(quoted(directory.drive(u"plain.exe"))), platform::kErrorAccessDenied);
#endif
  writeFile(directory.host("text.exe"), "not a program\n", 0755);
  EXPECT_EQ(startError(quoted(directory.drive(u"text.exe"))), platform::kErrorBadExeFormat);

  platform::testing::injectFault(platform::testing::Fault::kProcessStart,
                                 platform::kErrorAccessDenied);
  EXPECT_EQ(startError(childCommandLine({u"exit", u"0"})), platform::kErrorAccessDenied);
  platform::testing::clearFaults();

  // Words of every kind reach the child unchanged.
  const std::string output = directory.host("args").string();
  std::vector<std::u16string> arguments = {u"plain",         u"two words",  u"",
                                           u"quote\"inside", u"trailing\\", u"back\\\\slash\\\"q",
                                           u"tab\there"};
  // The child's words are narrow text: characters beyond ASCII need UTF-8 to arrive unchanged.
  if (narrowTextIsUtf8()) arguments.push_back(u"\u00fcn\u00efc\u00f8d\u00e9 \U0001F600");
  std::vector<std::u16string> all{u"write-args", widen(output)};
  all.insert(all.end(), arguments.begin(), arguments.end());
  ASSERT_EQ(ipc_test::childExitCode(all), ipc_test::kChildOk);
  std::string expected;
  for (const std::u16string& argument : arguments) expected += narrow(argument) + '\0';
  std::ifstream written(output, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(written), {}), expected);
}

TEST(ProcessTest, StartsByWindowsPathAndReportsExitCodes) {
  for (int code : {0, 7, 255}) {
    std::unique_ptr<Process> child = startChild({u"exit", widen(std::to_string(code))});
    EXPECT_EQ(exitCodeAfterEnd(child), code);
    EXPECT_EQ(child->wait(0), WaitResult::kSignaled);  // the result stays readable after the end
    EXPECT_EQ(exitCodeAfterEnd(child), code);
  }
#ifndef _WIN32
  // Another signal than SIGKILL gives the shell's code too.
  std::unique_ptr<Process> child = startChild({u"linger"});
  ASSERT_TRUE(child != nullptr && kill(static_cast<pid_t>(child->id()), SIGTERM) == 0);
  EXPECT_EQ(exitCodeAfterEnd(child), 128 + SIGTERM);

  // "name.exe" that does not exist is started as "name"; relative images are taken from the
  // current directory (Windows searches for them itself).
  child = Process::start((quoted(ipc_test::selfImage() + u".exe") + u" --child exit 4").c_str());
  EXPECT_EQ(exitCodeAfterEnd(child), 4);
  TempDir directory;
  const std::filesystem::path original = std::filesystem::current_path();
  std::filesystem::create_symlink(std::filesystem::read_symlink("/proc/self/exe"),
                                  directory.host("ipc_link"));
  std::filesystem::current_path(directory.host());
  std::unique_ptr<Process> dotted = Process::start(u".\\ipc_link.exe --child exit 5");
  std::unique_ptr<Process> bare = Process::start(u"ipc_link --child exit 6");
  const uint32_t missingError = startError(u"other_link.exe --child exit 0");
  std::filesystem::current_path(original);
  EXPECT_EQ(exitCodeAfterEnd(dotted), 5);
  EXPECT_EQ(exitCodeAfterEnd(bare), 6);
  EXPECT_EQ(missingError, platform::kErrorFileNotFound);

  // The child leads its own session and inherits no descriptor above 2.
  const int inheritable = open("/dev/null", O_RDONLY);  // no O_CLOEXEC on purpose
  ASSERT_GE(inheritable, 0);
  child = startChild({u"check-isolation"});
  close(inheritable);
  EXPECT_EQ(exitCodeAfterEnd(child), ipc_test::kChildOk);
#endif
}

// Waits, exit codes and the process list work the same for the starter and for a handle opened
// by id, whether the system gives a pidfd or the process must be probed; closed children are
// reaped.
TEST(ProcessTest, WaitsAndIdsWithAndWithoutPidfdAndClosedChildrenAreReaped) {
  for (bool pidfd : {true, false}) {
    SCOPED_TRACE(pidfd ? "pidfd" : "probing");
    using platform::testing::Fault;
    const auto noPidfd = [pidfd] {
      if (!pidfd) platform::testing::injectFault(Fault::kPidFdOpen, platform::kErrorNotSupported);
    };
    noPidfd();
    std::unique_ptr<Process> child = startChild({u"linger"});
    ASSERT_NE(child, nullptr);
    noPidfd();
    std::unique_ptr<Process> opened = Process::open(child->id());
    noPidfd();
    std::unique_ptr<Process> self = Process::open(platform::currentProcessId());
    platform::testing::clearFaults();
    ASSERT_TRUE(opened != nullptr && self != nullptr);
    EXPECT_EQ(opened->id(), child->id());
    for (Process* process : {child.get(), opened.get(), self.get()}) {
      EXPECT_EQ(process->wait(0), WaitResult::kTimedOut);
      EXPECT_EQ(process->wait(20), WaitResult::kTimedOut);
      uint32_t code = 0;
      ASSERT_TRUE(process->exitCode(&code));
      EXPECT_EQ(code, platform::kStillActive);
    }
    std::vector<platform::ProcessEntry> entries;
    ASSERT_TRUE(platform::processSnapshot(&entries));
    int listed = 0;
    for (const platform::ProcessEntry& entry : entries) {
      if (entry.processId == child->id() || entry.processId == platform::currentProcessId()) {
        EXPECT_EQ(entry.exeName, u"ipc_tests.exe");
        ++listed;
      }
    }
    EXPECT_EQ(listed, 2);

    ASSERT_TRUE(ipc_test::killAndWait(*opened));
    EXPECT_EQ(child->wait(platform::kInfinite), WaitResult::kSignaled);
    EXPECT_EQ(exitCodeAfterEnd(child), kKilledExitCode);
    uint32_t code = 0;  // only the starter reads the real exit code on POSIX
    ASSERT_TRUE(opened->exitCode(&code));
    EXPECT_EQ(code, kOnPosix ? 0u : kKilledExitCode);
  }
  EXPECT_TRUE(failedWith(Process::open(0) != nullptr, platform::kErrorInvalidParameter));

  // A child whose handle was closed while it ran can still be waited for by id, and is reaped
  // once it ends: its id cannot be opened any more.
  const std::u16string eventName = ipc_test::uniqueName(u"finish");
  std::unique_ptr<platform::NamedEvent> finish = platform::NamedEvent::create(eventName.c_str());
  ipc_test::ReadyChild child({u"event", eventName}, {u"await", eventName, u"exit", u"5"});
  ASSERT_TRUE(finish != nullptr && child.ready());
  const uint32_t id = child.process->id();
  child.process.reset();
  std::unique_ptr<Process> opened = Process::open(id);
  ASSERT_TRUE(opened != nullptr && finish->set());
  EXPECT_EQ(exitCodeAfterEnd(opened), kOnPosix ? 0 : 5);
  opened.reset();
  if (runningUnderWine()) GTEST_SKIP() << "Wine keeps an ended process openable for a while";
  bool gone = false;
  for (uint32_t waited = 0; !gone && waited < ipc_test::kGenerousTimeoutMs; waited += 10) {
    gone = Process::open(id) == nullptr;
    if (!gone) platform::sleepMs(10);
  }
  EXPECT_TRUE(gone);
}

#ifndef _WIN32
using platform::internal::splitCommandLine;

// The documented examples of CommandLineToArgvW after an image word, the image word's own rules,
// blanks, empty words and open quotes.
TEST(CommandLineTest, SplitsByTheWin32Rules) {
  const std::pair<const char16_t*, std::vector<std::u16string>> cases[] = {
      {uR"(prog "abc" d e)", {u"prog", u"abc", u"d", u"e"}},
      {uR"(prog a\\b d"e f"g h)", {u"prog", uR"(a\\b)", u"de fg", u"h"}},
      {uR"(prog a\\\"b c d)", {u"prog", uR"(a\"b)", u"c", u"d"}},
      {uR"(prog a\\\\"b c" d e)", {u"prog", uR"(a\\b c)", u"d", u"e"}},
      // Two quotes inside a quoted part give a literal quote and end the quoted part.
      {uR"(prog a"b"" c d)", {u"prog", uR"(ab")", u"c", u"d"}},
      // The image word takes backslashes literally; a quote closes a quoted image.
      {uR"("C:\Program Files\fsmon.exe" start)", {uR"(C:\Program Files\fsmon.exe)", u"start"}},
      {uR"("C:\tools\"next)", {uR"(C:\tools\)", u"next"}},
      {uR"(C:\a\"b c)", {uR"(C:\a\"b)", u"c"}},
      {uR"("unclosed image a b)", {u"unclosed image a b"}},
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
#endif

}  // namespace
