// Collects the traces of the process for a test: installs a sink while it lives.
//
// One capture at a time: a second one replaces the first, and either's destructor removes the
// sink. Collection is thread-safe; traces from every thread are kept in arrival order.
#ifndef FSCANNER_TESTS_SUPPORT_TRACE_CAPTURE_H
#define FSCANNER_TESTS_SUPPORT_TRACE_CAPTURE_H

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "ZrLogWrapper.h"

// An owned copy of one ZrLogRecord.
struct CapturedTrace {
  int level;
  int line;
  std::string file;
  std::string function;
  std::string message;
};

class TraceCapture {
 public:
  TraceCapture() { setZrLogSink(&TraceCapture::receive, this); }
  ~TraceCapture() { setZrLogSink(nullptr, nullptr); }
  TraceCapture(const TraceCapture&) = delete;
  TraceCapture& operator=(const TraceCapture&) = delete;

  std::vector<CapturedTrace> records() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_;
  }

  std::vector<std::string> messages() const {
    std::vector<std::string> result;
    for (const CapturedTrace& record : records()) result.push_back(record.message);
    return result;
  }

  // True when some trace's message is exactly `message` (line feed included).
  bool contains(const std::string& message) const {
    const std::vector<std::string> all = messages();
    return std::find(all.begin(), all.end(), message) != all.end();
  }

  // True when some trace's message holds `fragment`, for messages with varying parts.
  bool containsText(const std::string& fragment) const {
    for (const std::string& message : messages()) {
      if (message.find(fragment) != std::string::npos) return true;
    }
    return false;
  }

  void clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    records_.clear();
  }

 private:
  static void receive(void* context, const ZrLogRecord& record) {
    auto* capture = static_cast<TraceCapture*>(context);
    std::lock_guard<std::mutex> lock(capture->mutex_);
    capture->records_.push_back(
        CapturedTrace{record.level, record.line, record.file, record.function, record.message});
  }

  mutable std::mutex mutex_;
  std::vector<CapturedTrace> records_;
};

#endif  // FSCANNER_TESTS_SUPPORT_TRACE_CAPTURE_H
