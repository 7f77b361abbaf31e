// The trace library's interface: one logger for the file scanner, three trace levels.
//
// Every call formats a printf-style message with the library's own formatter: %d %i %u %o %x %X
// with flags, width and precision (%08x), the length modifiers hh h l ll z j t, %c, %s (narrow
// text, UTF-8 passed through), %S and %ls (UTF-16 text, char16_t, on every platform; converted to
// UTF-8), %p ("0x" and lowercase hex, "(nil)" for null) and %%. A null string prints as "(null)";
// an unknown conversion is copied literally and consumes no argument. A message longer than
// 64 KiB is cut and ends in "...(truncated)".
//
// Tracing is off by default; FSCANNER_TRACE=stderr or FSCANNER_TRACE=<file> (appended to) turns
// it on for the process, one line per trace: "[fscanner] <LEVEL> <function> <file>:<line>
// <message>". A sink installed with setZrLogSink receives every trace whether or not output is
// on. When neither listens a call returns before formatting. All functions accept calls from any
// thread and never fail or throw.
#ifndef FSCANNER_ZRLOGWRAPPER_H
#define FSCANNER_ZRLOGWRAPPER_H

#if defined(_WIN32)
#if defined(ZRLOG_BUILDING)
#define ZRLOG_API __declspec(dllexport)
#else
#define ZRLOG_API __declspec(dllimport)
#endif
#define ZRLOG_CDECL __cdecl
#else
#define ZRLOG_API __attribute__((visibility("default")))
#define ZRLOG_CDECL
#endif

class ZRLOG_API ZrLogWrapper {
 public:
  enum Level { kEntry = 0, kExit = 1, kDetail = 2 };

  // Arguments: source line, source file path, the calling function's short name, format, values.
  void ZRLOG_CDECL traceMidEntry(int line, const char* file, const char* function,
                                 const char* format, ...);
  void ZRLOG_CDECL traceMidExit(int line, const char* file, const char* function,
                                const char* format, ...);
  void ZRLOG_CDECL traceMAX(int line, const char* file, const char* function, const char* format,
                            ...);
};

// The file scanner's logger; never null.
ZRLOG_API ZrLogWrapper* getZrLogFs();

// One formatted trace as a sink receives it. The pointers are never null ("(null)" stands for a
// null file or function) and are valid during the call only.
struct ZrLogRecord {
  int level;             // ZrLogWrapper::Level
  int line;              // source line
  const char* file;      // source file path as the caller passed it
  const char* function;  // calling function's short name
  const char* message;   // the formatted message, UTF-8, exactly as the format produced it
};
using ZrLogSink = void (*)(void* context, const ZrLogRecord& record);

// Installs a sink that receives every trace of the process (null removes it). Meant for tests.
// Calls to the sink are serialised and come from the tracing thread; a trace made from inside the
// sink is dropped. Once this returns, the previous sink is never called again.
ZRLOG_API void setZrLogSink(ZrLogSink sink, void* context);

// Re-reads FSCANNER_TRACE (normally read once, at the first trace).
ZRLOG_API void reloadZrLogSettings();

// Trace at the three levels from the calling site: source line, file and function are filled in.
#define FS_TRACE_ENTRY(logger, ...) \
  (logger)->traceMidEntry(__LINE__, __FILE__, __func__, __VA_ARGS__)
#define FS_TRACE_EXIT(logger, ...) (logger)->traceMidExit(__LINE__, __FILE__, __func__, __VA_ARGS__)
#define FS_TRACE(logger, ...) (logger)->traceMAX(__LINE__, __FILE__, __func__, __VA_ARGS__)

#endif  // FSCANNER_ZRLOGWRAPPER_H
