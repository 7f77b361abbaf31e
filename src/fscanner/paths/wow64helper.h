// WOW64 redirection and shell-folder look-up.
//
// A 32-bit process on 64-bit Windows sees the system directory redirected to its 32-bit
// counterpart. The first Wow64Switch of the process finds out, once, whether the process runs
// under WOW64; each querying thread then switches redirection off for itself. Redirection is never
// switched back on. The operating-system functions are looked up by name because older systems
// lack them; on POSIX there are none, and the process state is kWow64FunctionMissing.
#ifndef FSCANNER_PATHS_WOW64HELPER_H
#define FSCANNER_PATHS_WOW64HELPER_H

#include <cstdint>

#include "ZrLogWrapper.h"

// Process states of the WOW64 question.
constexpr int32_t kWow64Process = 0;
constexpr int32_t kNotWow64Process = 1;
constexpr int32_t kWow64Unknown = 2;          // the question failed or was not asked yet
constexpr int32_t kWow64FunctionMissing = 3;  // IsWow64Process does not exist

// The process state, shared by every Wow64Switch of the process.
int32_t wow64ProcessState();

// One per query, on the querying thread. Constructing the first one of the process looks up the
// WOW64 functions and settles the process state; later ones use what the first one found.
class Wow64Switch {
 public:
  Wow64Switch();
  Wow64Switch(const Wow64Switch&) = delete;
  Wow64Switch& operator=(const Wow64Switch&) = delete;

  // Settles the process state by asking IsWow64Process; true when the process runs under WOW64.
  bool isWow64Process();

  // Switches redirection off for the calling thread; true on success. Only a WOW64 process whose
  // disable function exists calls anything; every other state answers false.
  bool disableWow64FsRedirection();

 private:
  void loadWow64Functions();

  ZrLogWrapper* logger_;
  void* oldValue_ = nullptr;
};

// HRESULT values of the shell-folder look-up.
constexpr int32_t kFolderNotImplemented = static_cast<int32_t>(0x80004001u);   // E_NOTIMPL
constexpr int32_t kFolderFailed = static_cast<int32_t>(0x80004005u);           // E_FAIL
constexpr int32_t kFolderInvalidArgument = static_cast<int32_t>(0x80070057u);  // E_INVALIDARG

// Shell folder ids with a fall-back when no shell library offers the look-up.
constexpr int kFolderIdWindows = 36;
constexpr int kFolderIdSystem = 37;

// The current path of shell folder folderId into buffer (platform::kMaxPath characters):
// SHGetFolderPathW of "shell32.dll", else of "shfolder.dll", else the Windows or system directory
// for ids 36 and 37. 0 or positive on success; negative on failure (kFolderInvalidArgument for a
// null buffer, kFolderFailed, kFolderNotImplemented for other ids without a shell library).
int32_t getFolderPath(int folderId, char16_t* buffer);

#endif  // FSCANNER_PATHS_WOW64HELPER_H
