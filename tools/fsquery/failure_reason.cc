#include "failure_reason.h"

#include <cstdlib>
#include <cstring>

#include "base/result_codes.h"

namespace {

bool contains(const char* text, const char* part) { return std::strstr(text, part) != nullptr; }

// The number after prefix in text, when text holds prefix.
bool numberAfter(const char* text, const char* prefix, int* out) {
  const char* found = std::strstr(text, prefix);
  if (found == nullptr) return false;
  char* end = nullptr;
  const long value = std::strtol(found + std::strlen(prefix), &end, 10);
  if (end == found + std::strlen(prefix)) return false;
  *out = static_cast<int>(value);
  return true;
}

}  // namespace

FailureWatch::FailureWatch() { setZrLogSink(&FailureWatch::receive, this); }

void FailureWatch::stopWatching() {
  if (!watching_) return;
  watching_ = false;
  setZrLogSink(nullptr, nullptr);
}

void FailureWatch::receive(void* context, const ZrLogRecord& record) {
  static_cast<FailureWatch*>(context)->notice(record.message);
}

void FailureWatch::notice(const char* message) {
  Facts& f = facts_;
  numberAfter(message, "create cache failed with error ", &f.internalCode);
  numberAfter(message, "FS_MonitorProvider::executeQuery - exit ", &f.internalCode);
  numberAfter(message, "FS_MonitorProvider::executeQueryEx - exit ", &f.internalCode);
  if (contains(message, "unable to start monitor")) f.monitorNotStarted = true;
  if (contains(message, "executeMonitor() - ERROR_FILE_NOT_FOUND") ||
      contains(message, "executeMonitor() - ERROR_PATH_NOT_FOUND")) {
    f.monitorMissing = true;
  }
  if (contains(message, "unable create FS_Cache object")) f.noCacheObject = true;
  if (contains(message, "cache lock timed out") || contains(message, "CACHE_LOCK_TIMED_OUT")) {
    f.cacheBusy = true;
  }
  if (contains(message, "cache corrupted")) f.cacheCorrupted = true;
  if (contains(message, "timeout during file system access")) f.buildTimedOut = true;
}

std::string describeFailure(const FailureWatch::Facts& facts, int internalCode,
                            const std::string& home, const std::string& binDir) {
  const int code = internalCode != 0 ? internalCode : facts.internalCode;
  if (facts.monitorMissing) return "monitor not started: no fsmon program in " + binDir;
  if (facts.monitorNotStarted) return "monitor not started (run with FSCANNER_TRACE=stderr)";
  if (facts.noCacheObject) return "the provider could not make its cache object";
  if (facts.cacheBusy || code == CACHE_LOCK_TIMED_OUT) {
    return "cache busy: another process uses the cache in " + home;
  }
  if (facts.buildTimedOut || code == CACHE_BUILD_TIMED_OUT) {
    return "timed out while scanning the disk into the cache (raise --timeout)";
  }
  if (code == QUERY_TIMED_OUT) return "timed out (raise --timeout)";
  if (facts.cacheCorrupted || code == CACHE_INVALID) {
    return "cache corrupted or unusable: remove the cache files in " + home;
  }
  if (code == GENERAL_FAILURE) return "the cache in " + home + " could not be opened or created";
  if (code != 0) return "failed with internal code " + std::to_string(code);
  return "failed (run with FSCANNER_TRACE=stderr for details)";
}
