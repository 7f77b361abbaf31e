// Output control: FSCANNER_TRACE chooses stderr, a file or nothing; lines stay whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/trace_capture.h"
#include "trace_environment.h"

namespace {

namespace fs = std::filesystem;

class TraceOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    directory_ = fs::temp_directory_path() / ("zrlog_test_" + std::to_string(random()));
    fs::create_directories(directory_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(directory_, ignored);
  }

  // Read in text mode: the trace file is a text file, with CR LF line ends on Windows.
  std::string readFile(const fs::path& path) const {
    std::ifstream in(path);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
  }

  static std::string expectedLine(const char* level, int line, const std::string& message) {
    return std::string("[fscanner] ") + level + " TestBody " + __FILE__ + ":" +
           std::to_string(line) + " " + message;
  }

  fs::path directory_;
};

TEST_F(TraceOutputTest, FileReceivesOneLinePerTraceAppended) {
  const fs::path file = directory_ / "trace.log";
  std::ofstream(file) << "kept from before\n";
  {
    ScopedTraceVariable toFile(file.string().c_str());
    const int entryLine = __LINE__ + 1;
    FS_TRACE_ENTRY(getZrLogFs(), "createProvider - entering\n");
    const int exitLine = __LINE__ + 1;
    FS_TRACE_EXIT(getZrLogFs(), "::waitOnProcessHandle - result %d", 258);
    const int detailLine = __LINE__ + 1;
    FS_TRACE(getZrLogFs(), "path %S\n", u"C:\\\u6F22");
    EXPECT_EQ("kept from before\n" +
                  expectedLine("ENTRY", entryLine, "createProvider - entering\n") +
                  expectedLine("EXIT", exitLine, "::waitOnProcessHandle - result 258\n") +
                  expectedLine("DETAIL", detailLine, "path C:\\\xE6\xBC\xA2\n"),
              readFile(file));
  }
  const std::string before = readFile(file);
  ScopedTraceVariable off(nullptr);
  FS_TRACE(getZrLogFs(), "after output was switched off\n");
  EXPECT_EQ(before, readFile(file));
}

TEST_F(TraceOutputTest, StderrAndOffSettings) {
  {
    ScopedTraceVariable toStderr("stderr");
    testing::internal::CaptureStderr();
    const int line = __LINE__ + 1;
    FS_TRACE(getZrLogFs(), "to stderr %u", 1u);
    EXPECT_EQ(expectedLine("DETAIL", line, "to stderr 1\n"),
              testing::internal::GetCapturedStderr());
  }
  for (const char* offSetting : {static_cast<const char*>(nullptr), ""}) {
    ScopedTraceVariable off(offSetting);
    testing::internal::CaptureStderr();
    FS_TRACE(getZrLogFs(), "nobody listens\n");
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
  }
}

TEST_F(TraceOutputTest, UnopenableFileGivesOneMessageAndStaysOff) {
  const std::string unopenable = directory_.string();  // a directory cannot be opened to append
  testing::internal::CaptureStderr();
  {
    ScopedTraceVariable toDirectory(unopenable.c_str());
    TraceCapture capture;
    FS_TRACE(getZrLogFs(), "first\n");
    FS_TRACE(getZrLogFs(), "second\n");
    EXPECT_EQ(2u, capture.messages().size());  // the sink still works
  }
  const std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_NE(std::string::npos, errors.find("cannot open trace file \"" + unopenable + "\""));
  EXPECT_EQ(1, std::count(errors.begin(), errors.end(), '\n')) << errors;
  EXPECT_EQ(std::string::npos, errors.find("first"));
}

TEST_F(TraceOutputTest, StreamAndSinkBothReceive) {
  const fs::path file = directory_ / "both.log";
  ScopedTraceVariable toFile(file.string().c_str());
  TraceCapture capture;
  FS_TRACE(getZrLogFs(), "twice");
  EXPECT_TRUE(capture.contains("twice"));
  EXPECT_NE(std::string::npos, readFile(file).find(" twice\n"));
}

TEST_F(TraceOutputTest, ConcurrentTracesProduceWholeLines) {
  constexpr int kThreads = 8;
  constexpr int kLinesPerThread = 400;
  const std::string payload(300, 'p');
  const fs::path file = directory_ / "threads.log";
  ScopedTraceVariable toFile(file.string().c_str());
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &payload] {
      for (int i = 0; i < kLinesPerThread; ++i) {
        FS_TRACE(getZrLogFs(), "thread %d line %d %s\n", t, i, payload.c_str());
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  std::istringstream lines(readFile(file));
  const std::string prefix = std::string("[fscanner] DETAIL operator() ") + __FILE__ + ":";
  std::set<std::pair<int, int>> seen;
  for (std::string line; std::getline(lines, line);) {
    ASSERT_EQ(0u, line.find(prefix)) << line;
    const size_t thread = line.find(" thread ");
    ASSERT_NE(std::string::npos, thread) << line;
    int t = -1;
    int i = -1;
    char rest[512] = {};
    ASSERT_EQ(3, std::sscanf(line.c_str() + thread, " thread %d line %d %511s", &t, &i, rest));
    EXPECT_EQ(payload, rest);
    EXPECT_TRUE(seen.emplace(t, i).second) << line;
  }
  EXPECT_EQ(static_cast<size_t>(kThreads * kLinesPerThread), seen.size());
}

TEST(TraceOutputStartup, FirstTraceReadsTheVariable) {
  // A fresh process: the settings are read by its first trace, without a reload.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
#if defined(_WIN32)
        _putenv_s("FSCANNER_TRACE", "stderr");
#else
        setenv("FSCANNER_TRACE", "stderr", 1);
#endif
        FS_TRACE(getZrLogFs(), "first trace of the process\n");
        std::exit(0);
      },
      testing::ExitedWithCode(0), "DETAIL TestBody .*first trace of the process");
}

}  // namespace
