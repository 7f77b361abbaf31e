// Why a query failed, in words. The host sees only 0, 1 or 2; the reason is in the traces of
// the module and the cache, which this watch receives through a trace sink while it lives.
#ifndef FSCANNER_TOOLS_FSQUERY_FAILURE_REASON_H
#define FSCANNER_TOOLS_FSQUERY_FAILURE_REASON_H

#include <string>

#include "ZrLogWrapper.h"

class FailureWatch {
 public:
  // Facts noticed in the traces.
  struct Facts {
    int internalCode = 0;  // the last result code the provider reported (0: none seen)
    bool monitorNotStarted = false;
    bool monitorMissing = false;  // its program was not found
    bool noCacheObject = false;
    bool cacheBusy = false;
    bool cacheCorrupted = false;
    bool buildTimedOut = false;
  };

  FailureWatch();  // installs the sink
  ~FailureWatch() { stopWatching(); }
  FailureWatch(const FailureWatch&) = delete;
  FailureWatch& operator=(const FailureWatch&) = delete;

  // Removes the sink; afterwards facts() no longer changes.
  void stopWatching();
  const Facts& facts() const { return facts_; }
  // Notes what one trace message tells.
  void notice(const char* message);

 private:
  static void receive(void* context, const ZrLogRecord& record);

  Facts facts_;
  bool watching_ = true;
};

// The reason of a failed query in one line. internalCode is the cache's result when known
// (0 otherwise); home and binDir are named in the advice.
std::string describeFailure(const FailureWatch::Facts& facts, int internalCode,
                            const std::string& home, const std::string& binDir);

#endif  // FSCANNER_TOOLS_FSQUERY_FAILURE_REASON_H
