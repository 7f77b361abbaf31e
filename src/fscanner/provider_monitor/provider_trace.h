// Traces of the provider and its module boundary.
#ifndef FSCANNER_PROVIDER_MONITOR_PROVIDER_TRACE_H
#define FSCANNER_PROVIDER_MONITOR_PROVIDER_TRACE_H

#include <exception>

#include "ZrLogWrapper.h"

// Each trace passes the function its message names ("executeQueryEx", "runFsMon"), which is not
// always the C++ function that traces it.
#define PROVIDER_TRACE_ENTRY(logger, function, ...) \
  (logger)->traceMidEntry(__LINE__, __FILE__, function, __VA_ARGS__)
#define PROVIDER_TRACE_EXIT(logger, function, ...) \
  (logger)->traceMidExit(__LINE__, __FILE__, function, __VA_ARGS__)
#define PROVIDER_TRACE(logger, function, ...) \
  (logger)->traceMAX(__LINE__, __FILE__, function, __VA_ARGS__)

// Runs body, an operation the host calls. No exception may reach the host: one that leaves body
// (std::bad_alloc and every other) is traced under function and answered with failure.
template <typename Result, typename Body>
Result guardHostCall(const char* function, Result failure, Body&& body) noexcept {
  try {
    return body();
  } catch (const std::exception& error) {
    PROVIDER_TRACE(getZrLogFs(), function, "%s - failed with exception [%s]\n", function,
                   error.what());
  } catch (...) {
    PROVIDER_TRACE(getZrLogFs(), function, "%s - failed with an unknown exception\n", function);
  }
  return failure;
}

#endif  // FSCANNER_PROVIDER_MONITOR_PROVIDER_TRACE_H
