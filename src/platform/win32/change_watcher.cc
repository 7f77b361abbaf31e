// ChangeWatcher on Windows: one overlapped ReadDirectoryChangesW request per watched tree, on a
// directory handle opened for listing with backup semantics. Its reports do not tell a
// directory's rename from a file's, so moves come as changes of both parents.
#include "platform/win32/windows_api.h"

#include <utility>

#include "platform/nothrow_object.h"
#include "platform/platform.h"
#include "platform/win32/errors.h"
#include "platform/win32/scoped_handle.h"

namespace platform {
namespace {

constexpr DWORD kFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                          FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_ATTRIBUTES |
                          FILE_NOTIFY_CHANGE_LAST_WRITE;
constexpr size_t kBufferWords = 16 * 1024;  // 64 KiB: the limit for a request over the network

struct Tree {
  Tree(HANDLE directoryHandle, HANDLE eventHandle, std::u16string rootPath)
      : directory(directoryHandle), event(eventHandle), root(std::move(rootPath)) {}
  win32::ScopedHandle directory;
  win32::ScopedHandle event;
  std::u16string root;  // with a trailing backslash
  OVERLAPPED overlapped{};
  DWORD buffer[kBufferWords];

  bool request() {
    overlapped = OVERLAPPED{};
    overlapped.hEvent = event.get();
    return ::ReadDirectoryChangesW(directory.get(), buffer, sizeof(buffer), TRUE, kFilter, nullptr,
                                   &overlapped, nullptr) != 0;
  }
};

}  // namespace

struct ChangeWatcher::Native {
  std::vector<std::unique_ptr<Tree>> trees;
};

std::unique_ptr<ChangeWatcher> ChangeWatcher::create(Backend backend) {
  if (backend != Backend::kAutomatic && backend != Backend::kDirectoryChanges) {
    setLastError(kErrorNotSupported);
    return nullptr;
  }
  return internal::wrapNative<ChangeWatcher>(internal::makeNothrow<Native>());
}

ChangeWatcher::ChangeWatcher(std::unique_ptr<Native> native) : native_(std::move(native)) {}

ChangeWatcher::~ChangeWatcher() {
  for (const std::unique_ptr<Tree>& tree : native_->trees) {
    ::CancelIo(tree->directory.get());
    DWORD ignored = 0;
    ::GetOverlappedResult(tree->directory.get(), &tree->overlapped, &ignored, TRUE);
  }
}

ChangeWatcher::Backend ChangeWatcher::backend() const { return Backend::kDirectoryChanges; }

bool ChangeWatcher::watchTree(const char16_t* root) {
  if (root == nullptr) {
    setLastError(kErrorInvalidParameter);
    return false;
  }
  if (native_->trees.size() >= MAXIMUM_WAIT_OBJECTS) {
    setLastError(kErrorNotSupported);
    return false;
  }
  std::u16string rootPath = root;
  if (rootPath.empty() || rootPath.back() != u'\\') rootPath.push_back(u'\\');
  HANDLE directory =
      ::CreateFileW(win32::asWide(rootPath.c_str()), FILE_LIST_DIRECTORY,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
  if (directory == INVALID_HANDLE_VALUE) {
    win32::recordSystemError();
    return false;
  }
  HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (event == nullptr) {
    win32::recordSystemError();
    ::CloseHandle(directory);
    return false;
  }
  std::unique_ptr<Tree> tree = internal::makeNothrow<Tree>(directory, event, rootPath);
  if (tree == nullptr) {
    ::CloseHandle(directory);
    ::CloseHandle(event);
    return false;
  }
  if (!tree->request()) {
    win32::recordSystemError();
    return false;
  }
  native_->trees.push_back(std::move(tree));
  return true;
}

bool ChangeWatcher::wait(uint32_t timeoutMs, std::vector<std::u16string>* changed,
                         std::vector<Move>*, bool* overflowed) {
  std::vector<HANDLE> events;
  for (const std::unique_ptr<Tree>& tree : native_->trees) events.push_back(tree->event.get());
  if (events.empty()) {
    ::Sleep(timeoutMs);
    return true;
  }
  const DWORD ready =
      ::WaitForMultipleObjects(static_cast<DWORD>(events.size()), events.data(), FALSE, timeoutMs);
  if (ready == WAIT_TIMEOUT) return true;
  if (ready >= WAIT_OBJECT_0 + events.size()) {
    win32::recordSystemError();
    return false;
  }
  for (const std::unique_ptr<Tree>& tree : native_->trees) {
    DWORD bytes = 0;
    if (::WaitForSingleObject(tree->event.get(), 0) != WAIT_OBJECT_0) continue;
    if (!::GetOverlappedResult(tree->directory.get(), &tree->overlapped, &bytes, FALSE)) {
      win32::recordSystemError();
      return false;
    }
    // No bytes: the system's buffer ran over and the reports are lost.
    if (bytes == 0) *overflowed = true;
    const auto* base = reinterpret_cast<const BYTE*>(tree->buffer);
    for (DWORD offset = 0; bytes > 0;) {
      const auto* info = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(base + offset);
      const std::u16string name(win32::asUtf16(info->FileName),
                                info->FileNameLength / sizeof(wchar_t));
      const size_t slash = name.find_last_of(u'\\');
      std::u16string directory = tree->root;
      if (slash != std::u16string::npos) directory.append(name, 0, slash);
      if (directory.size() > 3 && directory.back() == u'\\') directory.pop_back();
      changed->push_back(directory);
      if (info->NextEntryOffset == 0) break;
      offset += info->NextEntryOffset;
    }
    ::ResetEvent(tree->event.get());
    if (!tree->request()) {
      win32::recordSystemError();
      return false;
    }
  }
  return true;
}

}  // namespace platform
