#include "platform/posix/child_reaper.h"

#include <dlfcn.h>
#include <pthread.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdint>
#include <mutex>
#include <vector>

namespace platform {
namespace internal {
namespace {

// Children whose reaping thread could not be started; guarded by mutex.
struct Leftovers {
  std::mutex mutex;
  std::vector<pid_t> pids;
};

Leftovers& leftovers() {
  static Leftovers* instance = new Leftovers;  // never destroyed: reapers may outlive statics
  return *instance;
}

// A reaping thread runs code of the object that holds this file; keep that object loaded for the
// life of the process even when the host unloads the module.
void pinThisObject() {
  static std::once_flag once;
  std::call_once(once, [] {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&pinThisObject), &info) != 0 && info.dli_fname != nullptr) {
      dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
    }
  });
}

void* reap(void* argument) {
  const auto pid = static_cast<pid_t>(reinterpret_cast<intptr_t>(argument));
  while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
  return nullptr;
}

}  // namespace

void reapWhenEnded(pid_t pid) {
  pinThisObject();
  pthread_attr_t attributes;
  bool started = false;
  if (pthread_attr_init(&attributes) == 0) {
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    started = pthread_create(&thread, &attributes, reap,
                             reinterpret_cast<void*>(static_cast<intptr_t>(pid))) == 0;
    pthread_attr_destroy(&attributes);
  }
  if (started) return;
  Leftovers& all = leftovers();
  std::lock_guard<std::mutex> guard(all.mutex);
  try {
    all.pids.push_back(pid);
  } catch (...) {
    // Out of threads and memory at once: the child stays a zombie until this process ends.
  }
}

void reapLeftoverChildren() {
  Leftovers& all = leftovers();
  std::lock_guard<std::mutex> guard(all.mutex);
  for (auto it = all.pids.begin(); it != all.pids.end();) {
    it = waitpid(*it, nullptr, WNOHANG) == 0 ? it + 1 : all.pids.erase(it);
  }
}

}  // namespace internal
}  // namespace platform
