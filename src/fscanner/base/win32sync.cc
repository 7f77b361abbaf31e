#include "base/win32sync.h"

#include <cstdlib>
#include <new>
#include <string>

#include "ZrLogWrapper.h"
#include "base/result_codes.h"
#include "base/wstring.h"

Win32Mutex::Win32Mutex(const char16_t* name) {
  if (name != nullptr) handle_ = platform::NamedMutex::create(name);
}

Win32Mutex::~Win32Mutex() = default;

int Win32Mutex::release() { return handle_ != nullptr && handle_->release() ? 1 : 0; }

int Win32Mutex::wait(uint32_t timeout) {
  ZrLogWrapper* logger = getZrLogFs();
  platform::WaitResult result = platform::WaitResult::kFailed;
  if (handle_ != nullptr) {
    result = handle_->wait(timeout);
  } else {
    platform::setLastError(platform::kErrorInvalidHandle);
  }
  switch (result) {
    case platform::WaitResult::kSignaled:
      return SUCCESS;
    case platform::WaitResult::kTimedOut:
      return MUTEX_TIMED_OUT;
    case platform::WaitResult::kAbandoned:
      FS_TRACE(logger, "Win32Mutex::wait() - get WAIT_ABANDONED\n");
      return SUCCESS;
    case platform::WaitResult::kFailed:
      break;
  }
  FS_TRACE(logger, "Win32Mutex::wait(timeout = %d) - mutex failed with error code %d\n",
           static_cast<int>(timeout), static_cast<int>(platform::lastError()));
  return MUTEX_FAILED;
}

int Win32Mutex::wait() {
  ZrLogWrapper* logger = getZrLogFs();
  platform::WaitResult result = platform::WaitResult::kFailed;
  if (handle_ != nullptr) {
    result = handle_->wait(platform::kInfinite);
  } else {
    platform::setLastError(platform::kErrorInvalidHandle);
  }
  switch (result) {
    case platform::WaitResult::kSignaled:
      return SUCCESS;
    case platform::WaitResult::kAbandoned:
      FS_TRACE(logger, "Win32Mutex::wait() - get WAIT_ABANDONED\n");
      return SUCCESS;
    case platform::WaitResult::kTimedOut:
    case platform::WaitResult::kFailed:
      break;
  }
  FS_TRACE(logger, "Win32Mutex::wait() - mutex failed with error code %d\n",
           static_cast<int>(platform::lastError()));
  return MUTEX_FAILED;
}

char16_t* globalName(const char16_t* name) {
  if (name == nullptr) return nullptr;
  static const char16_t kPrefix[] = u"Global\\";
  std::u16string full = std::u16string(kPrefix) + name;
  auto* copy = static_cast<char16_t*>(std::malloc((full.size() + 1) * sizeof(char16_t)));
  if (copy == nullptr) return nullptr;
  full.copy(copy, full.size());
  copy[full.size()] = u'\0';
  return copy;
}

int nameScope(const char16_t* name) {
  if (name == nullptr) return 0;
  std::u16string upper(std::char_traits<char16_t>::length(name) + 1, u'\0');
  wcsUpperCopy(name, &upper[0]);
  if (upper.compare(0, 7, u"GLOBAL\\") == 0) return 3;
  if (upper.compare(0, 6, u"LOCAL\\") == 0) return 2;
  return upper.find(u'\\') != std::u16string::npos ? 1 : 0;
}

std::unique_ptr<SyncObject> createNamedMutex(const char16_t* name) {
  if (name == nullptr) return nullptr;
  if (nameScope(name) != 0) return std::unique_ptr<SyncObject>(new (std::nothrow) Win32Mutex(name));
  std::unique_ptr<char16_t, decltype(&std::free)> scoped(globalName(name), &std::free);
  if (scoped == nullptr) return nullptr;
  return std::unique_ptr<SyncObject>(new (std::nothrow) Win32Mutex(scoped.get()));
}
