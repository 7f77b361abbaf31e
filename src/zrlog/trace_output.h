// Where traces go: the stream FSCANNER_TRACE names and the sink a test installs.
//
// FSCANNER_TRACE is read at the first trace of the process (and again by reloadTraceSettings):
// "stderr" writes to standard error, any other non-empty value appends to the file of that path
// (opened once; when it cannot be opened one message goes to standard error and output stays
// off), an empty or unset variable leaves output off. A stream receives one line per trace:
//   [fscanner] <LEVEL> <function> <file>:<line> <message>
// with LEVEL one of ENTRY, EXIT, DETAIL and a line feed added when the message lacks one; each
// line is written whole and flushed. Deliveries, to the stream and to the sink, are serialised by
// one mutex, so lines of different threads never mix. A trace made from inside a sink is dropped.
#ifndef FSCANNER_ZRLOG_TRACE_OUTPUT_H
#define FSCANNER_ZRLOG_TRACE_OUTPUT_H

#include "ZrLogWrapper.h"

namespace zrlog {

// True when a trace would reach a stream or a sink; reads the settings on its first call. Once
// they are read it costs one relaxed atomic load.
bool anyTraceListener() noexcept;

// Hands one formatted trace to the stream and to the sink. Throws only what the sink throws or
// std::bad_alloc.
void deliverTrace(const ZrLogRecord& record);

// Installs the sink (null removes it). Once this returns, the previous sink is never called
// again.
void installTraceSink(ZrLogSink sink, void* context) noexcept;

// Closes the current stream and reads FSCANNER_TRACE again.
void reloadTraceSettings() noexcept;

}  // namespace zrlog

#endif  // FSCANNER_ZRLOG_TRACE_OUTPUT_H
