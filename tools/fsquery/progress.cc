#include "progress.h"

#include <chrono>
#include <cinttypes>
#include <string>
#include <system_error>

namespace {
constexpr std::chrono::milliseconds kFirstShown{500};
constexpr std::chrono::milliseconds kRefresh{200};
}  // namespace

ProgressLine::ProgressLine(std::FILE* terminal, const std::atomic<uint64_t>* found, bool enabled)
    : terminal_(terminal), found_(found) {
  if (!enabled) return;
  try {
    thread_ = std::thread([this] { run(); });
  } catch (const std::system_error&) {
    // Without a thread there is no progress line; the query itself is not affected.
  }
}

void ProgressLine::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (stopped_.wait_for(lock, kFirstShown, [this] { return stopping_; })) return;
  do {
    char line[64];
    const int length =
        std::snprintf(line, sizeof line, "\rfsquery: searching, %" PRIu64 " files found...",
                      found_->load(std::memory_order_relaxed));
    if (length > 0) {
      std::fputs(line, terminal_);
      std::fflush(terminal_);
      shownLength_ = static_cast<size_t>(length);
    }
  } while (!stopped_.wait_for(lock, kRefresh, [this] { return stopping_; }));
  // Spaces rather than an escape sequence, so that every console erases it.
  if (shownLength_ > 0) {
    const std::string blank(shownLength_ - 1, ' ');
    std::fprintf(terminal_, "\r%s\r", blank.c_str());
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
