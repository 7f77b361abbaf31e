// Named-object costs: uncontended NamedMutex and Win32Mutex wait + release, opening and closing a
// mutex, and the set-to-wake latency of NamedEvent between two processes. The cross-process
// benchmark starts this program again as the partner: bench_platform_sync --pong <ping> <pong>.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <memory>
#include <string>

#include "base/result_codes.h"
#include "base/win32sync.h"
#include "platform/platform.h"

namespace {

// How long the partner waits for a ping before it gives up and ends by itself.
constexpr uint32_t kPartnerIdleMs = 10000;
constexpr uint32_t kPingTimeoutMs = 10000;
constexpr uint32_t kMutexTimeoutMs = 1000;

std::u16string widen(const std::string& narrow) {
  std::u16string wide;
  platform::narrowToWide(narrow.c_str(), &wide);
  return wide;
}

std::u16string benchName(const char* tag) {
  return u"Global\\fscanner_bench_" + widen(std::to_string(platform::currentProcessId())) + u"_" +
         widen(tag);
}

void BM_NamedMutexWaitRelease(benchmark::State& state) {
  std::unique_ptr<platform::NamedMutex> mutex =
      platform::NamedMutex::create(benchName("named_mutex").c_str());
  if (mutex == nullptr) {
    state.SkipWithError("NamedMutex::create failed");
    return;
  }
  for (auto _ : state) {
    if (mutex->wait(platform::kInfinite) != platform::WaitResult::kSignaled || !mutex->release()) {
      state.SkipWithError("wait or release failed");
      break;
    }
  }
}
BENCHMARK(BM_NamedMutexWaitRelease);

// The cache's pattern: a wait with a time-out (the timed path) and a release.
void BM_Win32MutexWaitRelease(benchmark::State& state) {
  Win32Mutex mutex(benchName("win32_mutex").c_str());
  for (auto _ : state) {
    if (mutex.wait(kMutexTimeoutMs) != SUCCESS || mutex.release() == 0) {
      state.SkipWithError("wait or release failed");
      break;
    }
  }
}
BENCHMARK(BM_Win32MutexWaitRelease);

// Opening a name this process already holds (shared mapping) versus one nobody holds (a segment
// created, linked and removed again each time).
void BM_NamedMutexOpenClose(benchmark::State& state) {
  const bool held = state.range(0) != 0;
  const std::u16string name = benchName(held ? "open_held" : "open_fresh");
  std::unique_ptr<platform::NamedMutex> keeper;
  if (held) keeper = platform::NamedMutex::create(name.c_str());
  for (auto _ : state) {
    std::unique_ptr<platform::NamedMutex> mutex = platform::NamedMutex::create(name.c_str());
    if (mutex == nullptr) {
      state.SkipWithError("NamedMutex::create failed");
      break;
    }
  }
}
BENCHMARK(BM_NamedMutexOpenClose)->Arg(1)->Arg(0)->ArgName("held");

std::string selfPath() {
  char buffer[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
  return length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string();
}

// Ping-pong with two manual-reset events: each side resets the event it woke on before it sets
// the other's, so every iteration is two one-way wake-ups.
void BM_EventPingPongAcrossProcesses(benchmark::State& state) {
  const std::u16string pingName = benchName("ping");
  const std::u16string pongName = benchName("pong");
  std::unique_ptr<platform::NamedEvent> ping = platform::NamedEvent::create(pingName.c_str());
  std::unique_ptr<platform::NamedEvent> pong = platform::NamedEvent::create(pongName.c_str());
  std::u16string image;
  if (ping == nullptr || pong == nullptr || !platform::driveQualifiedPath(selfPath(), &image)) {
    state.SkipWithError("setup failed");
    return;
  }
  const std::u16string commandLine = u"\"" + image + u"\" --pong " + pingName + u" " + pongName;
  std::unique_ptr<platform::Process> partner = platform::Process::start(commandLine.c_str());
  if (partner == nullptr) {
    state.SkipWithError("partner not started");
    return;
  }
  for (auto _ : state) {
    ping->set();
    if (pong->wait(kPingTimeoutMs) != platform::WaitResult::kSignaled) {
      state.SkipWithError("partner did not answer");
      break;
    }
    pong->reset();
  }
  kill(static_cast<pid_t>(partner->id()), SIGKILL);
  partner->wait(kPingTimeoutMs);
  state.counters["one_way"] = benchmark::Counter(
      2, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_EventPingPongAcrossProcesses)->UseRealTime();

int runPartner(const char* pingName, const char* pongName) {
  std::unique_ptr<platform::NamedEvent> ping =
      platform::NamedEvent::create(widen(pingName).c_str());
  std::unique_ptr<platform::NamedEvent> pong =
      platform::NamedEvent::create(widen(pongName).c_str());
  if (ping == nullptr || pong == nullptr) return 1;
  while (ping->wait(kPartnerIdleMs) == platform::WaitResult::kSignaled) {
    ping->reset();
    pong->set();
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--pong") == 0) _exit(runPartner(argv[2], argv[3]));
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
