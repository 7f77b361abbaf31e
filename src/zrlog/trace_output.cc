#include "trace_output.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

namespace zrlog {
namespace {

constexpr char kTraceVariable[] = "FSCANNER_TRACE";
constexpr char kStderrSetting[] = "stderr";
constexpr char kLinePrefix[] = "[fscanner] ";
constexpr const char* kLevelNames[] = {"ENTRY", "EXIT", "DETAIL"};

// Bits of gListeners. A trace call returns at once when the word is zero.
constexpr unsigned kSettingsUnread = 1;
constexpr unsigned kStreamOpen = 2;
constexpr unsigned kSinkInstalled = 4;

std::atomic<unsigned> gListeners{kSettingsUnread};

struct OutputState {
  std::recursive_mutex mutex;  // recursive so that a sink may install or remove a sink
  bool settingsRead = false;
  std::FILE* stream = nullptr;
  bool ownsStream = false;
  ZrLogSink sink = nullptr;
  void* sinkContext = nullptr;
};

// Built in static storage and never destroyed: traces may still come from static destructors of
// other libraries at process exit, and every line is already flushed.
OutputState& outputState() {
  alignas(OutputState) static unsigned char storage[sizeof(OutputState)];
  static OutputState* const state = new (storage) OutputState;
  return *state;
}

// True while this thread delivers a trace; a trace made by a sink would otherwise re-enter.
thread_local bool tDelivering = false;

class DeliveryScope {
 public:
  DeliveryScope() { tDelivering = true; }
  ~DeliveryScope() { tDelivering = false; }
  DeliveryScope(const DeliveryScope&) = delete;
  DeliveryScope& operator=(const DeliveryScope&) = delete;
};

void publishListeners(const OutputState& state) {
  const unsigned listeners = (state.settingsRead ? 0 : kSettingsUnread) |
                             (state.stream != nullptr ? kStreamOpen : 0) |
                             (state.sink != nullptr ? kSinkInstalled : 0);
  gListeners.store(listeners, std::memory_order_relaxed);
}

void closeStream(OutputState& state) {
  if (state.ownsStream) std::fclose(state.stream);
  state.stream = nullptr;
  state.ownsStream = false;
}

void loadSettings(OutputState& state) {
  closeStream(state);
  state.settingsRead = true;
  const char* setting = std::getenv(kTraceVariable);
  if (setting == nullptr || *setting == '\0') return;
  if (std::strcmp(setting, kStderrSetting) == 0) {
    state.stream = stderr;
    return;
  }
  std::FILE* file = std::fopen(setting, "a");
  if (file == nullptr) {
    const int error = errno;
    std::fprintf(stderr, "%scannot open trace file \"%s\" named by %s: %s; tracing stays off\n",
                 kLinePrefix, setting, kTraceVariable, std::strerror(error));
    std::fflush(stderr);
    return;
  }
  state.stream = file;
  state.ownsStream = true;
}

const char* levelName(int level) {
  constexpr int kLevelCount = sizeof(kLevelNames) / sizeof(kLevelNames[0]);
  return level >= 0 && level < kLevelCount ? kLevelNames[level] : kLevelNames[kLevelCount - 1];
}

// Writes the record as one line in a single call, so that even another process appending to the
// same file does not split it.
void writeLine(std::FILE* stream, const ZrLogRecord& record) {
  std::string line = kLinePrefix;
  line += levelName(record.level);
  line += ' ';
  line += record.function;
  line += ' ';
  line += record.file;
  line += ':';
  line += std::to_string(record.line);
  line += ' ';
  line += record.message;
  if (line.back() != '\n') line += '\n';
  std::fwrite(line.data(), 1, line.size(), stream);
  std::fflush(stream);
}

}  // namespace

bool anyTraceListener() noexcept {
  const unsigned listeners = gListeners.load(std::memory_order_relaxed);
  if ((listeners & kSettingsUnread) == 0) return listeners != 0;
  OutputState& state = outputState();
  std::lock_guard<std::recursive_mutex> lock(state.mutex);
  if (!state.settingsRead) {
    loadSettings(state);
    publishListeners(state);
  }
  return state.stream != nullptr || state.sink != nullptr;
}

void deliverTrace(const ZrLogRecord& record) {
  if (tDelivering) return;
  OutputState& state = outputState();
  std::lock_guard<std::recursive_mutex> lock(state.mutex);
  DeliveryScope scope;
  if (state.stream != nullptr) writeLine(state.stream, record);
  if (state.sink != nullptr) state.sink(state.sinkContext, record);
}

void installTraceSink(ZrLogSink sink, void* context) noexcept {
  OutputState& state = outputState();
  std::lock_guard<std::recursive_mutex> lock(state.mutex);
  state.sink = sink;
  state.sinkContext = sink != nullptr ? context : nullptr;
  publishListeners(state);
}

void reloadTraceSettings() noexcept {
  OutputState& state = outputState();
  std::lock_guard<std::recursive_mutex> lock(state.mutex);
  loadSettings(state);
  publishListeners(state);
}

}  // namespace zrlog
