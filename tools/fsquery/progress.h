// A progress line on standard error while a query runs: after half a second it shows the number
// of files found so far, refreshed a few times a second, and is erased when the query ends.
#ifndef FSCANNER_TOOLS_FSQUERY_PROGRESS_H
#define FSCANNER_TOOLS_FSQUERY_PROGRESS_H

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <thread>

class ProgressLine {
 public:
  // Shows nothing unless enabled; found is read, never written.
  ProgressLine(std::FILE* terminal, const std::atomic<uint64_t>* found, bool enabled);
  ~ProgressLine() { stop(); }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // Ends the line and erases what it printed; safe to call more than once.
  void stop();

 private:
  void run();

  std::FILE* terminal_;
  const std::atomic<uint64_t>* found_;
  std::mutex mutex_;
  std::condition_variable stopped_;
  bool stopping_ = false;
  size_t shownLength_ = 0;
  std::thread thread_;
};

#endif  // FSCANNER_TOOLS_FSQUERY_PROGRESS_H
