// Typed calls through functions that Library::symbol found. Their signatures are fixed by the
// system, so they are declared here rather than taken from headers that may lack them.
#include "platform/win32/windows_api.h"

#include "platform/platform.h"
#include "platform/win32/errors.h"

namespace platform {
namespace {

using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE process, PBOOL isWow64);
using Wow64DisableWow64FsRedirectionFunction = BOOL(WINAPI*)(PVOID* oldValue);
using SHGetFolderPathWFunction = HRESULT(WINAPI*)(HWND owner, int folder, HANDLE token, DWORD flags,
                                                  LPWSTR path);

// HRESULTs answered without calling anything.
constexpr HRESULT kEFail = static_cast<HRESULT>(0x80004005L);
constexpr HRESULT kEInvalidArg = static_cast<HRESULT>(0x80070057L);

}  // namespace

bool callIsWow64Process(void* function, bool* isWow64) {
  if (function == nullptr || isWow64 == nullptr) {
    setLastError(function == nullptr ? kErrorProcNotFound : kErrorInvalidParameter);
    return false;
  }
  BOOL flag = FALSE;
  if (!reinterpret_cast<IsWow64ProcessFunction>(function)(::GetCurrentProcess(), &flag)) {
    win32::recordSystemError();
    return false;
  }
  *isWow64 = flag == TRUE;
  return true;
}

int callWow64DisableWow64FsRedirection(void* function, void** oldValue) {
  if (function == nullptr || oldValue == nullptr) {
    setLastError(function == nullptr ? kErrorProcNotFound : kErrorInvalidParameter);
    return FALSE;
  }
  BOOL result = reinterpret_cast<Wow64DisableWow64FsRedirectionFunction>(function)(oldValue);
  if (!result) win32::recordSystemError();
  return result;
}

int32_t callSHGetFolderPath(void* function, int folderId, char16_t* buffer) {
  if (function == nullptr) return kEFail;
  if (buffer == nullptr) return kEInvalidArg;
  return reinterpret_cast<SHGetFolderPathWFunction>(function)(nullptr, folderId, nullptr, 0,
                                                              win32::asWide(buffer));
}

}  // namespace platform
