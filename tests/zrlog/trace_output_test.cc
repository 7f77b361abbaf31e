// Output control: FSCANNER_TRACE chooses stderr, a file or nothing; lines stay whole; the sink
// receives every field and survives sinks that misbehave.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"
#include "support/trace_capture.h"

namespace {

namespace fs = std::filesystem;

// Sets FSCANNER_TRACE (null unsets it) and, unless told otherwise, has the logger read it again.
void useTraceSetting(const char* value, bool reload = true) {
#if defined(_WIN32)
  _putenv_s("FSCANNER_TRACE", value != nullptr ? value : "");
#else
  value != nullptr ? setenv("FSCANNER_TRACE", value, 1) : unsetenv("FSCANNER_TRACE");
#endif
  if (reload) reloadZrLogSettings();
}

// Text mode: the trace file is a text file, with CR LF line ends on Windows.
std::string readFile(const fs::path& path) {
  std::ostringstream content;
  content << std::ifstream(path).rdbuf();
  return content.str();
}

std::string expectedLine(const char* level, int line, const std::string& message,
                         const char* function = "TestBody") {
  return std::string("[fscanner] ") + level + " " + function + " " + __FILE__ + ":" +
         std::to_string(line) + " " + message;
}

class TraceOutputTest : public ::testing::Test {
 protected:
  ~TraceOutputTest() override { useTraceSetting(nullptr); }  // the default: output off

  const TempDir directory_;
};

TEST_F(TraceOutputTest, FileAndSinkReceiveEachTraceExactly) {
  const fs::path file = directory_.host("trace.log");
  std::ofstream(file) << "kept from before\n";
  useTraceSetting(file.string().c_str());
  TraceCapture capture;
  ZrLogWrapper* logger = getZrLogFs();
  const int line = __LINE__;
  FS_TRACE_ENTRY(logger, "createProvider - entering\n");
  FS_TRACE_EXIT(logger, "::waitOnProcessHandle - result %d", 258);
  FS_TRACE(logger, "path %S\n", u"C:\\\u6F22");
  logger->traceMAX(77, "./src/cache.cc", "lock", "unlock %u\n", 5u);
  logger->traceMidEntry(-1, nullptr, nullptr, "m");
  EXPECT_EQ("kept from before\n" + expectedLine("ENTRY", line + 1, "createProvider - entering\n") +
                expectedLine("EXIT", line + 2, "::waitOnProcessHandle - result 258\n") +
                expectedLine("DETAIL", line + 3, "path C:\\\xE6\xBC\xA2\n") +
                "[fscanner] DETAIL lock ./src/cache.cc:77 unlock 5\n" +
                "[fscanner] ENTRY (null) (null):-1 m\n",
            readFile(file));
  std::string received;  // the sink gets each message as given
  for (const CapturedTrace& t : capture.records()) {
    received += std::to_string(t.level) + "|" + std::to_string(t.line) + "|" + t.file + "|" +
                t.function + "|" + t.message + ";";
  }
  const std::string here = std::string("|") + __FILE__ + "|TestBody|";
  EXPECT_EQ("0|" + std::to_string(line + 1) + here + "createProvider - entering\n;1|" +
                std::to_string(line + 2) + here + "::waitOnProcessHandle - result 258;2|" +
                std::to_string(line + 3) + here +
                "path C:\\\xE6\xBC\xA2\n;2|77|./src/cache.cc|lock|unlock 5\n;0|-1|(null)|(null)|m;",
            received);
  const std::string before = readFile(file);
  useTraceSetting(nullptr);
  FS_TRACE(logger, "after output was switched off\n");
  EXPECT_EQ(before, readFile(file));
}

TEST_F(TraceOutputTest, StderrOffAndUnopenableFileSettings) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(  // a fresh process reads the setting at its first trace, without a reload
      {
        useTraceSetting("stderr", false);
        FS_TRACE(getZrLogFs(), "first trace of the process\n");
        std::exit(0);
      },
      testing::ExitedWithCode(0), "DETAIL TestBody .*first trace of the process");
  useTraceSetting("stderr");
  testing::internal::CaptureStderr();
  const int line = __LINE__ + 1;
  FS_TRACE(getZrLogFs(), "to stderr %u", 1u);
  EXPECT_EQ(expectedLine("DETAIL", line, "to stderr 1\n"), testing::internal::GetCapturedStderr());
  for (const char* offSetting : {static_cast<const char*>(nullptr), ""}) {
    useTraceSetting(offSetting);
    testing::internal::CaptureStderr();
    FS_TRACE(getZrLogFs(), "nobody listens\n");
    // Nobody listens: the call returns before formatting, never touching an unreadable pointer.
    FS_TRACE(getZrLogFs(), "%s", reinterpret_cast<const char*>(uintptr_t{1}));
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
  }

  const std::string unopenable =
      directory_.host().string();  // a directory cannot be opened to append
  testing::internal::CaptureStderr();
  useTraceSetting(unopenable.c_str());
  TraceCapture capture;
  FS_TRACE(getZrLogFs(), "first\n");
  FS_TRACE(getZrLogFs(), "second\n");
  EXPECT_EQ(2u, capture.messages().size());  // the sink still works
  useTraceSetting(nullptr);
  const std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_NE(std::string::npos, errors.find("cannot open trace file \"" + unopenable + "\""));
  EXPECT_EQ(1, std::count(errors.begin(), errors.end(), '\n')) << errors;
  EXPECT_EQ(std::string::npos, errors.find("first"));
}

TEST_F(TraceOutputTest, ConcurrentTracesProduceWholeLinesAndAllReachTheSink) {
  constexpr int kThreads = 8;
  constexpr int kLinesPerThread = 400;
  const std::string payload(300, 'p');
  const fs::path file = directory_.host("threads.log");
  useTraceSetting(file.string().c_str());
  TraceCapture capture;
  const int line = __LINE__ + 5;  // of the trace below
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &payload] {
      for (int i = 0; i < kLinesPerThread; ++i) {
        FS_TRACE(getZrLogFs(), "thread %d line %d %s\n", t, i, payload.c_str());
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(static_cast<size_t>(kThreads * kLinesPerThread), capture.messages().size());

  std::multiset<std::string> expected, written;
  for (int t = 0; t < kThreads * kLinesPerThread; ++t) {
    const std::string message = "thread " + std::to_string(t / kLinesPerThread) + " line " +
                                std::to_string(t % kLinesPerThread) + " " + payload + "\n";
    expected.insert(expectedLine("DETAIL", line, message, "operator()"));
  }
  std::istringstream lines(readFile(file));
  for (std::string text; std::getline(lines, text);) written.insert(text + "\n");
  EXPECT_TRUE(written == expected) << written.size() << " lines written";
}

int gReentrantCalls = 0;
void tracingSink(void*, const ZrLogRecord&) {
  ++gReentrantCalls;
  FS_TRACE(getZrLogFs(), "from inside the sink");
}
int gReplacingCalls = 0;
void replacingSink(void*, const ZrLogRecord&) {
  ++gReplacingCalls;
  setZrLogSink(nullptr, nullptr);
}
void throwingSink(void*, const ZrLogRecord&) { throw std::runtime_error("sink failure"); }

TEST(TraceSink, MisbehavingSinksNeitherHangNorEscape) {
  setZrLogSink(&tracingSink, nullptr);
  FS_TRACE(getZrLogFs(), "outer");
  EXPECT_EQ(1, gReentrantCalls);  // the nested trace was dropped, not delivered or deadlocked
  setZrLogSink(&replacingSink, nullptr);
  FS_TRACE(getZrLogFs(), "first");
  FS_TRACE(getZrLogFs(), "second");
  EXPECT_EQ(1, gReplacingCalls);
  setZrLogSink(&throwingSink, nullptr);
  EXPECT_NO_THROW(FS_TRACE(getZrLogFs(), "thrown at"));
  TraceCapture capture;  // the lock and the delivery state survived the throw
  FS_TRACE(getZrLogFs(), "after");
  EXPECT_TRUE(capture.contains("after"));
}

}  // namespace
