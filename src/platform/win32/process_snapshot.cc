// The list of running processes.
#include "platform/win32/windows_api.h"

#include <tlhelp32.h>

#include "platform/platform.h"
#include "platform/win32/errors.h"
#include "platform/win32/scoped_handle.h"

namespace platform {

bool processSnapshot(std::vector<ProcessEntry>* out) {
  if (out == nullptr) {
    setLastError(kErrorInvalidParameter);
    return false;
  }
  win32::ScopedHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.isValid()) {
    win32::recordSystemError();
    return false;
  }
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  if (!::Process32FirstW(snapshot.get(), &entry)) {
    win32::recordSystemError();
    return false;
  }
  std::vector<ProcessEntry> processes;
  do {
    ProcessEntry process;
    process.processId = entry.th32ProcessID;
    process.exeName = win32::asUtf16(entry.szExeFile);
    processes.push_back(std::move(process));
  } while (::Process32NextW(snapshot.get(), &entry));
  out->swap(processes);
  return true;
}

}  // namespace platform
