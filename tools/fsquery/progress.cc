#include "progress.h"

#include <chrono>
#include <exception>
#include <string>
#include <system_error>

#include "platform/platform.h"
#include "progress_text.h"
#include "query_paths.h"

namespace {
constexpr std::chrono::milliseconds kFirstShown{500};
constexpr std::chrono::milliseconds kRefresh{200};
// For a terminal that does not tell its width.
constexpr size_t kDefaultWidth = 80;
}  // namespace

ProgressLine::ProgressLine(std::FILE* terminal, const ResultSink* sink, bool enabled)
    : terminal_(terminal), sink_(sink) {
  if (!enabled) return;
  try {
    thread_ = std::thread([this] { run(); });
  } catch (const std::system_error&) {
    // Without a thread there is no progress line; the query itself is not affected.
  }
}

void ProgressLine::show() {
  const size_t width = platform::terminalWidth(platform::StandardStream::kError);
  const std::string line = progressText(sink_->found().load(std::memory_order_relaxed),
                                        toOutputPath(sink_->walkedDirectory(), false),
                                        width > 0 ? width : kDefaultWidth);
  const size_t columns = textColumns(line);
  // A shorter line than the last one blanks the rest of it.
  const std::string tail(shownColumns_ > columns ? shownColumns_ - columns : 0, ' ');
  std::fprintf(terminal_, "\r%s%s", line.c_str(), tail.c_str());
  std::fflush(terminal_);
  shownColumns_ = columns + tail.size();
}

void ProgressLine::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (stopped_.wait_for(lock, kFirstShown, [this] { return stopping_; })) return;
  try {
    do {
      show();
    } while (!stopped_.wait_for(lock, kRefresh, [this] { return stopping_; }));
  } catch (const std::exception&) {
    // Out of memory for the line: the query goes on without it.
  }
  // Spaces rather than an escape sequence, so that every console erases it.
  if (shownColumns_ > 0) {
    std::fprintf(terminal_, "\r%*s\r", static_cast<int>(shownColumns_), "");
    std::fflush(terminal_);
  }
}

void ProgressLine::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  stopped_.notify_all();
  if (thread_.joinable()) thread_.join();
}
