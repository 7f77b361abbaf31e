// Linked into every Windows test program. Under Wine a program that dies of an unhandled
// exception can still exit with code 0, which would pass a crashed test; this filter, installed
// before main, reports the exception and ends the process with a fixed non-zero code (Wine hands
// only the low 8 bits of an exit code to the host, so the exception code itself could read as 0).
// It also keeps the system from showing a crash dialog or starting a debugger.
#include <windows.h>

#include <cstdio>

namespace {

constexpr UINT kUnhandledExceptionExitCode = 0xC5;

LONG WINAPI endProcessOnUnhandledException(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  std::fprintf(stderr, "unhandled exception 0x%08lx at %p: test program ends\n",
               static_cast<unsigned long>(record->ExceptionCode), record->ExceptionAddress);
  std::fflush(stderr);
  TerminateProcess(GetCurrentProcess(), kUnhandledExceptionExitCode);
  return EXCEPTION_EXECUTE_HANDLER;
}

struct CrashFilterInstaller {
  CrashFilterInstaller() {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(endProcessOnUnhandledException);
  }
};

const CrashFilterInstaller installer;

}  // namespace
