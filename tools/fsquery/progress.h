// A progress line on standard error while a query runs: after half a second it shows the number
// of files found so far and the directory a walk of the disk is in, refreshed a few times a
// second, and is erased when the query ends.
#ifndef FSCANNER_TOOLS_FSQUERY_PROGRESS_H
#define FSCANNER_TOOLS_FSQUERY_PROGRESS_H

#include <condition_variable>
#include <cstddef>
#include <cstdio>
#include <mutex>
#include <thread>

#include "result_sink.h"

class ProgressLine {
 public:
  // Shows nothing unless enabled; sink is only read.
  ProgressLine(std::FILE* terminal, const ResultSink* sink, bool enabled);
  ~ProgressLine() { stop(); }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // Ends the line and erases what it printed; safe to call more than once.
  void stop();

 private:
  void run();
  void show();

  std::FILE* terminal_;
  const ResultSink* sink_;
  std::mutex mutex_;
  std::condition_variable stopped_;
  bool stopping_ = false;
  size_t shownColumns_ = 0;
  std::thread thread_;
};

#endif  // FSCANNER_TOOLS_FSQUERY_PROGRESS_H
