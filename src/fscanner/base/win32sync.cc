#include "base/win32sync.h"

#include <cstdlib>
#include <new>
#include <string>
#include <thread>

#include "ZrLogWrapper.h"
#include "base/result_codes.h"
#include "base/wstring.h"

namespace {

uint32_t remainingOf(uint32_t timeout, uint32_t start) {
  if (timeout == platform::kInfinite) return timeout;
  const uint32_t elapsed = platform::tickCount() - start;
  return elapsed < timeout ? timeout - elapsed : 0;
}

bool taken(platform::WaitResult result) {
  return result == platform::WaitResult::kSignaled || result == platform::WaitResult::kAbandoned;
}

}  // namespace

Win32Mutex::Win32Mutex(const char16_t* name) {
  if (name == nullptr) return;
  std::unique_ptr<platform::NamedMutex> mutex = platform::NamedMutex::create(name);
  if (mutex == nullptr) return;
  newest_.reset(new (std::nothrow) Handle{std::move(mutex), nullptr});
  current_.store(newest_.get());
  try {
    name_ = name;
  } catch (const std::bad_alloc&) {
    name_.clear();  // the mutex then keeps the object it has
  }
}

Win32Mutex::~Win32Mutex() = default;

int Win32Mutex::release() {
  Handle* current = current_.load();
  if (current == nullptr) return 0;
  if (holder_.load() == std::this_thread::get_id() && --depth_ == 0) {
    holder_.store(std::thread::id());
  }
  return current->mutex->release() ? 1 : 0;
}

platform::WaitResult Win32Mutex::waitCurrent(uint32_t timeout) {
  const uint32_t start = platform::tickCount();
  for (;;) {
    Handle* current = current_.load();
    if (current == nullptr) {
      platform::setLastError(platform::kErrorInvalidHandle);
      return platform::WaitResult::kFailed;
    }
    const platform::WaitResult result = current->mutex->wait(remainingOf(timeout, start));
    if (!taken(result)) return result;
    if (current_.load() != current) {  // another thread replaced it while this one waited
      current->mutex->release();
      continue;
    }
    if (result != platform::WaitResult::kAbandoned &&
        holder_.load() == std::this_thread::get_id()) {
      ++depth_;
      return result;
    }
    const platform::WaitResult followed = followName(current, remainingOf(timeout, start));
    if (!taken(followed)) {
      current->mutex->release();
      return followed;
    }
    holder_.store(std::this_thread::get_id());
    depth_ = 1;
    return result == platform::WaitResult::kAbandoned ? result : followed;
  }
}

platform::WaitResult Win32Mutex::followName(Handle* current, uint32_t timeout) {
  if (name_.empty() || current->mutex->reachableByName()) return platform::WaitResult::kSignaled;
  ZrLogWrapper* logger = getZrLogFs();
  std::unique_ptr<platform::NamedMutex> named = platform::NamedMutex::create(name_.c_str());
  std::unique_ptr<Handle> fresh(named != nullptr ? new (std::nothrow) Handle : nullptr);
  if (fresh == nullptr) {
    FS_TRACE(logger, "Win32Mutex::wait() - name lost, the mutex cannot be opened again (%d)\n",
             static_cast<int>(platform::lastError()));
    return platform::WaitResult::kSignaled;  // keeps the mutex it has
  }
  const platform::WaitResult result = named->wait(timeout);
  if (!taken(result)) return result;
  FS_TRACE(logger, "Win32Mutex::wait() - name lost, now the mutex the name leads to\n");
  fresh->mutex = std::move(named);
  fresh->previous = std::move(newest_);
  newest_ = std::move(fresh);
  current_.store(newest_.get());
  current->mutex->release();
  return result;
}

int Win32Mutex::wait(uint32_t timeout) {
  ZrLogWrapper* logger = getZrLogFs();
  const platform::WaitResult result = waitCurrent(timeout);
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
  const platform::WaitResult result = waitCurrent(platform::kInfinite);
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
