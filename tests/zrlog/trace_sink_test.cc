// The sink: what it receives, when it stops receiving, and sinks that misbehave.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/trace_capture.h"
#include "trace_environment.h"

namespace {

TEST(TraceSink, ReceivesEachFieldExactly) {
  TraceCapture capture;
  ZrLogWrapper* logger = getZrLogFs();
  ASSERT_NE(nullptr, logger);
  ASSERT_EQ(logger, getZrLogFs());

  const int entryLine = __LINE__ + 1;
  FS_TRACE_ENTRY(logger, "FS_Cache::openCache - entering %S\n", u"C:\\cache");
  const int exitLine = __LINE__ + 1;
  FS_TRACE_EXIT(logger, "::waitOnProcessHandle - exit %d", 0);
  const int detailLine = __LINE__ + 1;
  FS_TRACE(logger, "%08x", 0xDEADBEEFu);
  logger->traceMAX(77, "./../../../src/fscanner/fscommon/cache.cc", "lock", "unlock %u\n", 5u);

  const std::vector<CapturedTrace> records = capture.records();
  ASSERT_EQ(4u, records.size());
  EXPECT_EQ(ZrLogWrapper::kEntry, records[0].level);
  EXPECT_EQ(entryLine, records[0].line);
  EXPECT_EQ(__FILE__, records[0].file);
  EXPECT_EQ("TestBody", records[0].function);
  EXPECT_EQ("FS_Cache::openCache - entering C:\\cache\n", records[0].message);
  EXPECT_EQ(ZrLogWrapper::kExit, records[1].level);
  EXPECT_EQ(exitLine, records[1].line);
  EXPECT_EQ("::waitOnProcessHandle - exit 0", records[1].message);  // no line feed added
  EXPECT_EQ(ZrLogWrapper::kDetail, records[2].level);
  EXPECT_EQ(detailLine, records[2].line);
  EXPECT_EQ("deadbeef", records[2].message);
  EXPECT_EQ(77, records[3].line);
  EXPECT_EQ("./../../../src/fscanner/fscommon/cache.cc", records[3].file);
  EXPECT_EQ("lock", records[3].function);
  EXPECT_EQ("unlock 5\n", records[3].message);
}

TEST(TraceSink, NullFileAndFunctionArriveAsText) {
  TraceCapture capture;
  getZrLogFs()->traceMidEntry(-1, nullptr, nullptr, "m");
  const std::vector<CapturedTrace> records = capture.records();
  ASSERT_EQ(1u, records.size());
  EXPECT_EQ(-1, records[0].line);
  EXPECT_EQ("(null)", records[0].file);
  EXPECT_EQ("(null)", records[0].function);
}

TEST(TraceSink, CaptureHelpersAndRemoval) {
  ScopedTraceVariable outputOff(nullptr);
  {
    TraceCapture capture;
    FS_TRACE(getZrLogFs(), "PathHelper::pathResolver - path %S\n", u"C:\\x");
    EXPECT_TRUE(capture.contains("PathHelper::pathResolver - path C:\\x\n"));
    EXPECT_FALSE(capture.contains("PathHelper::pathResolver - path C:\\x"));
    EXPECT_TRUE(capture.containsText("path C:\\x"));
    capture.clear();
    EXPECT_TRUE(capture.messages().empty());
    FS_TRACE(getZrLogFs(), "second");
    EXPECT_EQ(std::vector<std::string>{"second"}, capture.messages());
  }
  // With the capture gone nobody listens: the call returns without formatting, so even a
  // pointer that cannot be read is never touched.
  FS_TRACE(getZrLogFs(), "%s", reinterpret_cast<const char*>(uintptr_t{1}));
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
  setZrLogSink(nullptr, nullptr);

  TraceCapture capture;  // the lock and the delivery state survived the throw
  FS_TRACE(getZrLogFs(), "after");
  EXPECT_TRUE(capture.contains("after"));
}

TEST(TraceSink, CollectsEveryThreadsTraces) {
  constexpr int kThreads = 6;
  constexpr int kTracesPerThread = 300;
  TraceCapture capture;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kTracesPerThread; ++i) FS_TRACE(getZrLogFs(), "%d:%d", t, i);
    });
  }
  for (std::thread& thread : threads) thread.join();
  const std::vector<std::string> messages = capture.messages();
  ASSERT_EQ(static_cast<size_t>(kThreads * kTracesPerThread), messages.size());
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_TRUE(capture.contains(std::to_string(t) + ":" + std::to_string(kTracesPerThread - 1)));
  }
}

}  // namespace
