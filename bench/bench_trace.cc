// Cost of a trace call: when nobody listens (the normal case in production) and when a sink
// receives a formatted message.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "ZrLogWrapper.h"

namespace {

void countingSink(void* context, const ZrLogRecord& record) {
  benchmark::DoNotOptimize(record.message);
  ++*static_cast<long*>(context);
}

void switchOutputOff() {
#if defined(_WIN32)
  _putenv_s("FSCANNER_TRACE", "");
#else
  unsetenv("FSCANNER_TRACE");
#endif
  reloadZrLogSettings();
}

void BM_TraceDisabled(benchmark::State& state) {
  switchOutputOff();
  ZrLogWrapper* logger = getZrLogFs();
  for (auto _ : state) {
    FS_TRACE(logger, "FS_Cache::lock - accessMutex %p wait %u\n", static_cast<void*>(logger), 5u);
  }
}
BENCHMARK(BM_TraceDisabled);

void BM_TraceIntoSink(benchmark::State& state) {
  switchOutputOff();
  long delivered = 0;
  setZrLogSink(&countingSink, &delivered);
  ZrLogWrapper* logger = getZrLogFs();
  for (auto _ : state) {
    FS_TRACE(logger, "FS_Cache::extractResults - dir %S id %u attr %08x\n",
             u"C:\\Program Files\\Common Files\\system", 123456u, 0x10u);
  }
  setZrLogSink(nullptr, nullptr);
  state.counters["delivered"] = static_cast<double>(delivered);
}
BENCHMARK(BM_TraceIntoSink);

}  // namespace

BENCHMARK_MAIN();
