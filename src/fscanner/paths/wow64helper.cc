#include "paths/wow64helper.h"

#include <atomic>
#include <memory>

#include "base/trace_as.h"
#include "platform/platform.h"

// The messages of disableWow64FsRedirection carry the name they begin with.
#define DISABLE_TRACE(...) FS_TRACE_AS(logger_, "wow64DisableWow64FsRedirection", __VA_ARGS__)

namespace {

// Process-wide WOW64 state. The construction that takes the counter to 0 looks the functions up
// and settles the state; atomics keep the other threads' reads well defined meanwhile.
std::atomic<int32_t> loadCounter{1};
std::atomic<void*> disableFunction{nullptr};
std::atomic<void*> queryFunction{nullptr};
std::atomic<int32_t> processState{kWow64Unknown};

constexpr char kShellLibraries[][13] = {"shell32.dll", "shfolder.dll"};
constexpr char kFolderPathFunction[] = "SHGetFolderPathW";

}  // namespace

int32_t wow64ProcessState() { return processState.load(); }

Wow64Switch::Wow64Switch() { loadWow64Functions(); }

void Wow64Switch::loadWow64Functions() {
  logger_ = getZrLogFs();
  if (loadCounter.fetch_sub(1) - 1 != 0) return;
  std::unique_ptr<platform::Library> kernel = platform::Library::loaded(u"kernel32");
  if (kernel != nullptr) {
    disableFunction.store(kernel->symbol("Wow64DisableWow64FsRedirection"));
    queryFunction.store(kernel->symbol("IsWow64Process"));
  }
  isWow64Process();
}

bool Wow64Switch::isWow64Process() {
  void* query = queryFunction.load();
  if (query == nullptr) {
    processState.store(kWow64FunctionMissing);
    FS_TRACE(logger_,
             "::isWow64Process - IsWow64Process() not found (win 2K or previous versions)\n");
    return false;
  }
  FS_TRACE(logger_, "::isWow64Process - IsWow64Process() found! calling...\n");
  bool isWow64 = false;
  if (!platform::callIsWow64Process(query, &isWow64)) {
    FS_TRACE(logger_, "::isWow64Process - fnIsWow64Process() returns with error [%d]\n",
             static_cast<int>(platform::lastError()));
    processState.store(kWow64Unknown);
    return false;
  }
  processState.store(isWow64 ? kWow64Process : kNotWow64Process);
  FS_TRACE(logger_, "::isWow64Process - process %s [1]\n", isWow64 ? "is wow64" : "is not wow64");
  return isWow64;
}

bool Wow64Switch::disableWow64FsRedirection() {
  if (processState.load() != kWow64Process) return false;
  void* disable = disableFunction.load();
  if (disable == nullptr) {
    DISABLE_TRACE(
        "::wow64DisableWow64FsRedirection - Wow64DisableWow64FsRedirection() not found!\n");
    return false;
  }
  DISABLE_TRACE(
      "::wow64DisableWow64FsRedirection - Wow64DisableWow64FsRedirection() found! "
      "calling...\n");
  if (platform::callWow64DisableWow64FsRedirection(disable, &oldValue_) == 1) {
    DISABLE_TRACE(
        "::wow64DisableWow64FsRedirection - fnWow64DisableWow64FsRedirection() success!\n");
    return true;
  }
  DISABLE_TRACE(
      "::wow64DisableWow64FsRedirection - fnWow64DisableWow64FsRedirection() returns with "
      "error [%d]\n",
      static_cast<int>(platform::lastError()));
  return false;
}

int32_t getFolderPath(int folderId, char16_t* buffer) {
  if (buffer == nullptr) return kFolderInvalidArgument;
  for (const char* name : kShellLibraries) {
    std::unique_ptr<platform::Library> library = platform::Library::load(name);
    void* function = library != nullptr ? library->symbol(kFolderPathFunction) : nullptr;
    if (function != nullptr) return platform::callSHGetFolderPath(function, folderId, buffer);
  }
  uint32_t length = 0;
  if (folderId == kFolderIdWindows) {
    length = platform::getWindowsDirectory(buffer, platform::kMaxPath);
  } else if (folderId == kFolderIdSystem) {
    length = platform::getSystemDirectory(buffer, platform::kMaxPath);
  } else {
    return kFolderNotImplemented;
  }
  return length > 0 ? 0 : kFolderFailed;
}
