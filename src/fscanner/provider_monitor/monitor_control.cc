// Life of the monitor process: its command line, its initialisation event, its process-id file.
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "base/result_codes.h"
#include "base/win32sync.h"
#include "base/wstring.h"
#include "provider_monitor/fs_monitorprovider.h"
#include "provider_monitor/provider_trace.h"
#include "tablestore/mapped_file.h"

namespace {

constexpr char16_t kMonitorImage[] = u"fsmon.exe";
constexpr char16_t kInitEventSuffix[] = u"_FsMon_InitEvent";
constexpr char16_t kDirectoriesTable[] = u"mon_dirs";
constexpr char16_t kFilesTable[] = u"mon_files";

// The initialisation event is waited on in slices so that a monitor that dies before signalling
// does not hang the query for ever.
constexpr uint32_t kInitWaitSlice = 250;
// A monitor that ended normally may hand the signal to another instance; it gets this long.
constexpr uint32_t kInitGraceAfterExit = 60000;

}  // namespace

void FS_MonitorProvider::buildMonitorNames(bool stop) {
  std::u16string home(cacheHome_.get());
  std::u16string eventName(home.size() + 1, u'\0');
  wcsUpperCopy(home.c_str(), &eventName[0]);
  eventName.resize(home.size());
  eventName += kInitEventSuffix;
  for (char16_t& unit : eventName) {
    if (unit == u'\\' || unit == u':') unit = u'_';
  }
  initEventName_ = makeOwnedText(eventName);

  std::u16string line = u"\"";
  line += withTrailingBackslash(binDir_.get());
  line += kMonitorImage;
  line += u"\" ";
  line += kDirectoriesTable;
  line += u" ";
  line += kFilesTable;
  line += u" \"";
  line += home;
  line += u"\" ";
  line += monitor_.get();
  line += u" ";
  line += drives_.get();
  line += u" ";
  line += stop ? u"stop" : u"start";
  cmdLine_ = makeOwnedText(line);
}

bool FS_MonitorProvider::runFsMon(uint32_t, bool stop) {
  if (binDir_ == nullptr || cacheHome_ == nullptr || drives_ == nullptr || monitor_ == nullptr) {
    PROVIDER_TRACE(logger_, "runFsMon", "FS_MonitorProvider::runFsMon() - settings missing!\n");
    return false;
  }
  buildMonitorNames(stop);
  std::unique_ptr<char16_t, decltype(&std::free)> scoped(globalName(initEventName_.get()),
                                                         &std::free);
  if (initEventName_ == nullptr || cmdLine_ == nullptr || scoped == nullptr) {
    PROVIDER_TRACE(logger_, "runFsMon", "FS_MonitorProvider::runFsMon() - out of memory!\n");
    return false;
  }
  PROVIDER_TRACE(logger_, "runFsMon", "FS_MonitorProvider::runFsMon - cmdLine is [%S]\n",
                 cmdLine_.get());
  PROVIDER_TRACE(logger_, "runFsMon", "FS_MonitorProvider::runFsMon - binDir is [%S]\n",
                 binDir_.get());

  std::unique_ptr<platform::NamedEvent> event = platform::NamedEvent::create(scoped.get());
  if (event == nullptr) {
    PROVIDER_TRACE(logger_, "runFsMon",
                   "FS_MonitorProvider::runFsMon() - init event not created (%d)\n",
                   static_cast<int>(platform::lastError()));
    return false;
  }

  std::unique_ptr<platform::Process> started;
  if (executeMonitor(cmdLine_.get(), false, 0, &started) != SUCCESS || started == nullptr) {
    PROVIDER_TRACE(logger_, "runFsMon", "FS_MonitorProvider::runFsMon() - monitor not started!\n");
    return false;
  }
  PROVIDER_TRACE(logger_, "runFsMon",
                 "FS_MonitorProvider::runFsMon() - waiting to monitor init...\n");
  if (!waitForMonitorInit(*event, *started)) return false;
  PROVIDER_TRACE(logger_, "runFsMon", "FS_MonitorProvider::runFsMon() - monitor init done!\n");
  return true;
}

bool FS_MonitorProvider::waitForMonitorInit(platform::NamedEvent& event,
                                            platform::Process& monitor) {
  uint32_t endedAt = 0;
  bool ended = false;
  for (;;) {
    const platform::WaitResult result = event.wait(kInitWaitSlice);
    if (result == platform::WaitResult::kSignaled) return true;
    if (result != platform::WaitResult::kTimedOut) {
      PROVIDER_TRACE(logger_, "runFsMon",
                     "FS_MonitorProvider::runFsMon() - init event wait failed (%d)\n",
                     static_cast<int>(platform::lastError()));
      return false;
    }
    if (!ended) {
      const platform::WaitResult state = monitor.wait(0);
      if (state == platform::WaitResult::kFailed) {
        PROVIDER_TRACE(logger_, "runFsMon",
                       "FS_MonitorProvider::runFsMon() - monitor wait failed (%d)\n",
                       static_cast<int>(platform::lastError()));
        return false;
      }
      if (state == platform::WaitResult::kSignaled) {
        uint32_t code = 0;
        if (!monitor.exitCode(&code) || code != 0) {
          PROVIDER_TRACE(
              logger_, "runFsMon",
              "FS_MonitorProvider::runFsMon() - monitor ended with exit code %d before init\n",
              static_cast<int>(code));
          return false;
        }
        ended = true;
        endedAt = platform::tickCount();
      }
    }
    if (ended && platform::tickCount() - endedAt >= kInitGraceAfterExit) {
      PROVIDER_TRACE(logger_, "runFsMon",
                     "FS_MonitorProvider::runFsMon() - monitor ended without init\n");
      return false;
    }
  }
}

int FS_MonitorProvider::executeMonitor(const char16_t* monitorPathName, bool wait, uint32_t timeout,
                                       std::unique_ptr<platform::Process>* started) {
  if (monitorPathName == nullptr) {
    PROVIDER_TRACE(logger_, "executeMonitor",
                   "FS_MonitorProvider::executeMonitor() - monitorPathName is NULL!\n");
    return PROCESS_FAILURE;
  }
  PROVIDER_TRACE(logger_, "executeMonitor",
                 "FS_MonitorProvider::executeMonitor() - executable is %S\n", monitorPathName);
  std::unique_ptr<platform::Process> process = platform::Process::start(monitorPathName);
  if (process == nullptr) {
    uint32_t error = platform::lastError();
    switch (error) {
      case platform::kErrorFileNotFound:
        PROVIDER_TRACE(logger_, "executeMonitor",
                       "FS_MonitorProvider::executeMonitor() - ERROR_FILE_NOT_FOUND\n");
        return PROCESS_FILE_NOT_FOUND;
      case platform::kErrorPathNotFound:
        PROVIDER_TRACE(logger_, "executeMonitor",
                       "FS_MonitorProvider::executeMonitor() - ERROR_PATH_NOT_FOUND\n");
        return PROCESS_PATH_NOT_FOUND;
      case platform::kErrorAccessDenied:
        PROVIDER_TRACE(logger_, "executeMonitor",
                       "FS_MonitorProvider::executeMonitor() - ERROR_ACCESS_DENIED\n");
        return PROCESS_ACCESS_DENIED;
      default:
        PROVIDER_TRACE(logger_, "executeMonitor",
                       "FS_MonitorProvider::executeMonitor() - ERROR: %08x\n", error);
        return PROCESS_FAILURE;
    }
  }
  PROVIDER_TRACE(logger_, "executeMonitor",
                 "FS_MonitorProvider::executeMonitor() - CreateProcess() success.\n");
  int result = SUCCESS;
  if (wait) {
    PROVIDER_TRACE(logger_, "executeMonitor",
                   "FS_MonitorProvider::executeMonitor() - waiting for termination...\n");
    result = waitOnProcessHandle(process.get(), timeout);
  }
  if (started != nullptr) *started = std::move(process);
  return result;
}

int FS_MonitorProvider::waitOnProcessHandle(platform::Process* process, uint32_t timeout) {
  if (process == nullptr) return PROCESS_FAILURE;
  switch (process->wait(timeout)) {
    case platform::WaitResult::kSignaled: {
      uint32_t code = 0;
      if (process->exitCode(&code)) {
        FS_TRACE(logger_,
                 "FS_MonitorProvider::waitOnProcessHandle() - GetExitCodeProcess() success. "
                 "Exit code is %d.",
                 static_cast<int>(code));
      } else {
        FS_TRACE(logger_,
                 "FS_MonitorProvider::waitOnProcessHandle() - GetExitCodeProcess() failed with "
                 "error code %d.",
                 static_cast<int>(platform::lastError()));
      }
      return SUCCESS;
    }
    case platform::WaitResult::kTimedOut:
      PROVIDER_TRACE(logger_, "waitOnProcessHandle",
                     "FS_MonitorProvider::waitOnProcessHandle() - time-out interval elapsed.");
      return PROCESS_WAIT_TIMED_OUT;
    case platform::WaitResult::kFailed:
      FS_TRACE(logger_,
               "FS_MonitorProvider::waitOnProcessHandle() - wait failed with error code %d.",
               static_cast<int>(platform::lastError()));
      return PROCESS_WAIT_FAILED;
    case platform::WaitResult::kAbandoned:
      break;
  }
  FS_TRACE(logger_,
           "FS_MonitorProvider::waitOnProcessHandle() - return value unknown (error code is %d).",
           static_cast<int>(platform::lastError()));
  return PROCESS_FAILURE;
}

void FS_MonitorProvider::getMonitorPID() {
  monitorProcess_.reset();
  if (pidMonitorFileName_ == nullptr) {
    FS_TRACE(logger_,
             "FS_MonitorProvider::waitForMonitorShutdown - pidMonitorFileName pointer is null!\n");
    return;
  }
  std::unique_ptr<StorageFile> file = newMappedFile(pidMonitorFileName_.get());
  if (file == nullptr || !file->open()) {
    PROVIDER_TRACE(logger_, "waitForMonitorShutdown",
                   "FS_MonitorProvider::waitForMonitorShutdown - unable to open [%S]\n",
                   pidMonitorFileName_.get());
    return;
  }
  uint8_t bytes[4] = {0, 0, 0, 0};
  const bool complete = file->read(bytes, sizeof bytes) == sizeof bytes;
  if (!file->close()) {
    PROVIDER_TRACE(logger_, "waitForMonitorShutdown",
                   "FS_MonitorProvider::waitForMonitorShutdown - unable to close [%S]\n",
                   pidMonitorFileName_.get());
  }
  if (!complete) {
    PROVIDER_TRACE(logger_, "waitForMonitorShutdown",
                   "FS_MonitorProvider::waitForMonitorShutdown - unable to read [%S]\n",
                   pidMonitorFileName_.get());
    return;
  }
  monitorPID_ = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
  bool found = false;
  if (findProcess(kMonitorImage, monitorPID_, &found) != SUCCESS) {
    PROVIDER_TRACE(logger_, "waitForMonitorShutdown",
                   "FS_MonitorProvider::waitForMonitorShutdown - findProcess(...) failed!\n");
    return;
  }
  monitorFound_ = found;
  // Opened now, while it runs: a monitor asked to stop may be gone before the wait for its end
  // begins, and a handle opened afterwards could not tell its end from a stranger's absence.
  if (found) monitorProcess_ = platform::Process::open(monitorPID_);
  if (!found) {
    PROVIDER_TRACE(logger_, "waitForMonitorShutdown",
                   "FS_MonitorProvider::waitForMonitorShutdown - [%d,%S] process not found!\n",
                   static_cast<int>(monitorPID_), kMonitorImage);
  }
}

int FS_MonitorProvider::findProcess(const char16_t* name, uint32_t pid, bool* found) {
  *found = false;
  std::vector<platform::ProcessEntry> processes;
  if (!platform::processSnapshot(&processes) || processes.empty()) return PROCESS_FAILURE;
  for (const platform::ProcessEntry& entry : processes) {
    if (entry.processId == pid && entry.exeName == name) {
      *found = true;
      break;
    }
  }
  return SUCCESS;
}

int FS_MonitorProvider::waitForMonitorShutdown(uint32_t timeout) {
  if (!monitorFound_) return PROCESS_FAILURE;
  std::unique_ptr<platform::Process> process = std::move(monitorProcess_);
  if (process == nullptr) process = platform::Process::open(monitorPID_);
  if (process == nullptr) {
    PROVIDER_TRACE(logger_, "waitForMonitorShutdown",
                   "FS_MonitorProvider::waitForMonitorShutdown - OpenProcess(...) failed!\n");
    return PROCESS_FAILURE;
  }
  return waitOnProcessHandle(process.get(), timeout);
}
