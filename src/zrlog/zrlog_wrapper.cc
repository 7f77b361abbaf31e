// The exported trace functions: format only when a stream or a sink listens, then deliver.
#include <cstdarg>
#include <string>

#include "ZrLogWrapper.h"
#include "trace_format.h"
#include "trace_output.h"

namespace {

constexpr char kNullText[] = "(null)";

// The class has no state; one constant-initialised instance serves every caller.
ZrLogWrapper gFsLogger;

void trace(ZrLogWrapper::Level level, int line, const char* file, const char* function,
           const char* format, va_list args) noexcept {
  if (!zrlog::anyTraceListener()) return;
  try {
    std::string message;
    if (!zrlog::formatTraceMessage(format, args, &message)) return;
    const ZrLogRecord record{level, line, file != nullptr ? file : kNullText,
                             function != nullptr ? function : kNullText, message.c_str()};
    zrlog::deliverTrace(record);
  } catch (...) {
    // A trace never fails its caller: out of memory or a throwing sink loses this trace only.
  }
}

}  // namespace

void ZRLOG_CDECL ZrLogWrapper::traceMidEntry(int line, const char* file, const char* function,
                                             const char* format, ...) {
  va_list args;
  va_start(args, format);
  trace(kEntry, line, file, function, format, args);
  va_end(args);
}

void ZRLOG_CDECL ZrLogWrapper::traceMidExit(int line, const char* file, const char* function,
                                            const char* format, ...) {
  va_list args;
  va_start(args, format);
  trace(kExit, line, file, function, format, args);
  va_end(args);
}

void ZRLOG_CDECL ZrLogWrapper::traceMAX(int line, const char* file, const char* function,
                                        const char* format, ...) {
  va_list args;
  va_start(args, format);
  trace(kDetail, line, file, function, format, args);
  va_end(args);
}

ZrLogWrapper* getZrLogFs() { return &gFsLogger; }

void setZrLogSink(ZrLogSink sink, void* context) { zrlog::installTraceSink(sink, context); }

void reloadZrLogSettings() { zrlog::reloadTraceSettings(); }
