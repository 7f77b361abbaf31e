// The shell-folder emulation: SHGetFolderPathW of the emulated "shell32.dll" and the Windows
// and system directories, answered from FSCANNER_SHELL_FOLDERS, such as
// "36=C:\opt\win;37=C:\opt\win\system32" (decimal folder id, '=', path; ';' between entries).
#ifndef FSCANNER_PLATFORM_POSIX_SHELL_FOLDERS_H
#define FSCANNER_PLATFORM_POSIX_SHELL_FOLDERS_H

#include <cstdint>
#include <string>

namespace platform {
namespace internal {

constexpr int kFolderWindows = 36;
constexpr int kFolderSystem = 37;

// HRESULT values the emulation returns.
constexpr int32_t kHresultOk = 0;
constexpr int32_t kHresultFail = static_cast<int32_t>(0x80004005u);        // E_FAIL
constexpr int32_t kHresultInvalidArg = static_cast<int32_t>(0x80070057u);  // E_INVALIDARG

// The path the variable gives a folder id; false when it names none (or the variable is
// malformed: then a one-time message goes to stderr and no folder is known).
bool shellFolderPath(int folderId, std::u16string* out);

// SHGetFolderPathW with its Windows parameters: S_OK and the path (kMaxPath buffer); E_FAIL
// and an empty buffer for a folder the variable does not name or a path that does not fit;
// E_INVALIDARG for a null buffer.
int32_t emulatedSHGetFolderPath(void* window, int folderId, void* token, uint32_t flags,
                                char16_t* buffer);

}  // namespace internal
}  // namespace platform

#endif  // FSCANNER_PLATFORM_POSIX_SHELL_FOLDERS_H
