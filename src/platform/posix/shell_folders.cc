#include "platform/posix/shell_folders.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace platform {
namespace internal {
namespace {

constexpr const char* kShellFoldersVariable = "FSCANNER_SHELL_FOLDERS";

std::atomic<bool> g_reportedInvalid{false};

void reportInvalid(const char* text) {
  if (g_reportedInvalid.exchange(true)) return;
  std::fprintf(stderr, "fscanner: invalid %s \"%s\", no shell folders known\n",
               kShellFoldersVariable, text);
}

// Scans every entry of the variable's text: false when one is not "<decimal id>=<path>"
// (empty entries are allowed). *found tells whether folderId has an entry; the first wins.
bool scanEntries(const char* text, int folderId, std::string* path, bool* found) {
  *found = false;
  const char* entry = text;
  while (*entry != 0) {
    const char* end = std::strchr(entry, ';');
    if (end == nullptr) end = entry + std::strlen(entry);
    if (end != entry) {
      if (*entry < '0' || *entry > '9') return false;
      char* afterId = nullptr;
      const long id = std::strtol(entry, &afterId, 10);
      if (afterId >= end || *afterId != '=') return false;
      if (!*found && id == folderId) {
        const char* pathStart = afterId + 1;
        path->assign(pathStart, end);
        *found = true;
      }
    }
    entry = *end == 0 ? end : end + 1;
  }
  return true;
}

}  // namespace

bool shellFolderPath(int folderId, std::u16string* out) {
  const char* text = std::getenv(kShellFoldersVariable);
  if (text == nullptr) return false;
  std::string path;
  bool found = false;
  if (!scanEntries(text, folderId, &path, &found)) {
    reportInvalid(text);
    return false;
  }
  return found && !path.empty() && narrowToWide(path.c_str(), out);
}

int32_t emulatedSHGetFolderPath(void*, int folderId, void*, uint32_t, char16_t* buffer) {
  if (buffer == nullptr) return kHresultInvalidArg;
  buffer[0] = 0;
  std::u16string path;
  if (!shellFolderPath(folderId, &path) || path.size() + 1 > kMaxPath) return kHresultFail;
  std::memcpy(buffer, path.c_str(), (path.size() + 1) * sizeof(char16_t));
  return kHresultOk;
}

}  // namespace internal

namespace {

uint32_t copyFolder(int folderId, char16_t* buffer, uint32_t capacity) {
  std::u16string path;
  if (!internal::shellFolderPath(folderId, &path)) {
    setLastError(kErrorPathNotFound);
    return 0;
  }
  if (buffer == nullptr || path.size() + 1 > capacity) {
    setLastError(kErrorInsufficientBuffer);
    return 0;
  }
  std::memcpy(buffer, path.c_str(), (path.size() + 1) * sizeof(char16_t));
  return static_cast<uint32_t>(path.size());
}

}  // namespace

uint32_t getWindowsDirectory(char16_t* buffer, uint32_t capacity) {
  return copyFolder(internal::kFolderWindows, buffer, capacity);
}

uint32_t getSystemDirectory(char16_t* buffer, uint32_t capacity) {
  return copyFolder(internal::kFolderSystem, buffer, capacity);
}

}  // namespace platform
