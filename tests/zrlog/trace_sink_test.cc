// The sink: what it receives, when it stops receiving, and sinks that misbehave.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "support/trace_capture.h"

namespace {

std::string fields(const CapturedTrace& t) {
  return std::to_string(t.level) + "|" + std::to_string(t.line) + "|" + t.file + "|" + t.function +
         "|" + t.message;
}

TEST(TraceSink, ReceivesEachFieldExactly) {
  TraceCapture capture;
  ZrLogWrapper* logger = getZrLogFs();
  const int line = __LINE__;
  FS_TRACE_ENTRY(logger, "FS_Cache::openCache - entering %S\n", u"C:\\cache");
  FS_TRACE_EXIT(logger, "::waitOnProcessHandle - exit %d", 0);
  FS_TRACE(logger, "%08x", 0xDEADBEEFu);
  logger->traceMAX(77, "./../../../src/fscanner/fscommon/cache.cc", "lock", "unlock %u\n", 5u);
  logger->traceMidEntry(-1, nullptr, nullptr, "m");

  const std::string here = std::string("|") + __FILE__ + "|TestBody|";
  const std::vector<std::string> expected = {
      "0|" + std::to_string(line + 1) + here + "FS_Cache::openCache - entering C:\\cache\n",
      "1|" + std::to_string(line + 2) + here + "::waitOnProcessHandle - exit 0",  // no line feed
      "2|" + std::to_string(line + 3) + here + "deadbeef",
      "2|77|./../../../src/fscanner/fscommon/cache.cc|lock|unlock 5\n",
      "0|-1|(null)|(null)|m",
  };
  std::vector<std::string> received;
  for (const CapturedTrace& record : capture.records()) received.push_back(fields(record));
  EXPECT_EQ(expected, received);
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
