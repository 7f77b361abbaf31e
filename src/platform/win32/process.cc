// Starting, opening and waiting for processes.
#include "platform/win32/windows_api.h"

#include <utility>
#include <vector>

#include "platform/fault.h"
#include "platform/nothrow_object.h"
#include "platform/platform.h"
#include "platform/win32/errors.h"
#include "platform/win32/scoped_handle.h"
#include "platform/win32/wait.h"

namespace platform {
namespace {

// PROCESS_ALL_ACCESS as Windows XP defines it. The value of newer headers holds rights that XP
// does not know, and OpenProcess there fails with ERROR_ACCESS_DENIED.
constexpr DWORD kProcessAllAccess = STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE | 0xFFF;

// True when the command line names no image: nothing but blanks, or an empty quoted first word.
// Systems differ in what they report for such a line, so it is refused before CreateProcessW.
bool namesNoImage(const char16_t* commandLine) {
  auto isBlank = [](char16_t c) { return c == u' ' || c == u'\t'; };
  while (isBlank(*commandLine)) ++commandLine;
  if (*commandLine == 0) return true;
  return commandLine[0] == u'"' && commandLine[1] == u'"' &&
         (commandLine[2] == 0 || isBlank(commandLine[2]));
}

}  // namespace

struct Process::Native {
  Native(HANDLE process, DWORD processId) : handle(process), id(processId) {}
  win32::ScopedHandle handle;
  const DWORD id;
};

namespace {

// The Process that owns handle; the handle is closed when memory runs out.
std::unique_ptr<Process> wrapHandle(HANDLE handle, DWORD processId) {
  std::unique_ptr<Process::Native> native =
      internal::makeNothrow<Process::Native>(handle, processId);
  if (native == nullptr) ::CloseHandle(handle);
  return internal::wrapNative<Process>(std::move(native));
}

}  // namespace

std::unique_ptr<Process> Process::start(const char16_t* commandLine) {
  if (internal::faultFires(testing::Fault::kProcessStart)) return nullptr;
  if (commandLine == nullptr || namesNoImage(commandLine)) {
    setLastError(kErrorInvalidParameter);
    return nullptr;
  }
  // CreateProcessW may write into the command line, so it gets a copy.
  const std::wstring text(win32::asWide(commandLine));
  std::vector<wchar_t> command(text.begin(), text.end());
  command.push_back(L'\0');
  wchar_t desktop[] = L"WinSta0\\Default";

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.lpDesktop = desktop;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION started = {};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE,
                        nullptr, nullptr, &startup, &started)) {
    win32::recordSystemError();
    return nullptr;
  }
  ::CloseHandle(started.hThread);
  return wrapHandle(started.hProcess, started.dwProcessId);
}

std::unique_ptr<Process> Process::open(uint32_t processId) {
  HANDLE handle = ::OpenProcess(kProcessAllAccess, FALSE, processId);
  if (handle == nullptr) {
    win32::recordSystemError();
    return nullptr;
  }
  return wrapHandle(handle, processId);
}

Process::Process(std::unique_ptr<Native> native) : native_(std::move(native)) {}

Process::~Process() = default;

uint32_t Process::id() const { return native_->id; }

WaitResult Process::wait(uint32_t timeoutMs) {
  return win32::waitForObject(native_->handle.get(), timeoutMs);
}

bool Process::exitCode(uint32_t* out) {
  DWORD code = 0;
  if (out == nullptr) {
    setLastError(kErrorInvalidParameter);
    return false;
  }
  if (!::GetExitCodeProcess(native_->handle.get(), &code)) {
    win32::recordSystemError();
    return false;
  }
  *out = code;
  return true;
}

uint32_t currentProcessId() { return ::GetCurrentProcessId(); }

}  // namespace platform
