// Sets FSCANNER_TRACE for one test and reloads the trace settings; restores both afterwards.
#ifndef FSCANNER_TESTS_ZRLOG_TRACE_ENVIRONMENT_H
#define FSCANNER_TESTS_ZRLOG_TRACE_ENVIRONMENT_H

#include <cstdlib>
#include <optional>
#include <string>

#include "ZrLogWrapper.h"

class ScopedTraceVariable {
 public:
  // A null value unsets the variable.
  explicit ScopedTraceVariable(const char* value) {
    if (const char* previous = std::getenv(kName)) previous_ = previous;
    set(value);
  }
  ~ScopedTraceVariable() { set(previous_ ? previous_->c_str() : nullptr); }
  ScopedTraceVariable(const ScopedTraceVariable&) = delete;
  ScopedTraceVariable& operator=(const ScopedTraceVariable&) = delete;

  static void set(const char* value) {
#if defined(_WIN32)
    _putenv_s(kName, value != nullptr ? value : "");
#else
    if (value != nullptr) {
      setenv(kName, value, 1);
    } else {
      unsetenv(kName);
    }
#endif
    reloadZrLogSettings();
  }

 private:
  static constexpr char kName[] = "FSCANNER_TRACE";
  std::optional<std::string> previous_;
};

#endif  // FSCANNER_TESTS_ZRLOG_TRACE_ENVIRONMENT_H
