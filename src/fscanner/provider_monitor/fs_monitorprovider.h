// The provider of this module: reads its settings, starts the monitor process and opens the
// cache it keeps on the first query, forwards queries to the cache and maps the result codes.
#ifndef FSCANNER_PROVIDER_MONITOR_FS_MONITORPROVIDER_H
#define FSCANNER_PROVIDER_MONITOR_FS_MONITORPROVIDER_H

#include <cstdint>
#include <memory>

#include "FsProvider.h"
#include "ZrLogWrapper.h"
#include "platform/platform.h"
#include "provider_monitor/owned_text.h"
#include "provider_monitor/provider_cache.h"

class FS_MonitorProvider : public FsProvider {
 public:
  static constexpr uint32_t kShutdownTimeout = 60000;

  explicit FS_MonitorProvider(FsCacheOptions* options);
  ~FS_MonitorProvider() override;
  FS_MonitorProvider(const FS_MonitorProvider&) = delete;
  FS_MonitorProvider& operator=(const FS_MonitorProvider&) = delete;

  int initialize(const FsConfig* config) override;
  int prepare(void* argument) override;
  // Stops the monitor: 1 when it acknowledged the stop, 0 otherwise. The cache stays open.
  // The operations the host calls never let an exception through: one is traced and answered
  // with failure (GENERAL_FAILURE, 0 or HOST_FAILED).
  int shutdown(const FsConfig* config) override;
  int executeQuery(FsResults* results, FsQuery* query, uint32_t age, uint32_t timeout) override;
  int executeQueryEx(FsResults* results, FsQuery* query, uint32_t age, uint32_t timeout) override;

  // Settings and derived names, null while unset.
  const char16_t* cacheHome() const { return cacheHome_.get(); }
  const char16_t* binDir() const { return binDir_.get(); }
  const char16_t* drives() const { return drives_.get(); }
  const char16_t* monitor() const { return monitor_.get(); }
  const char16_t* pidMonitorFileName() const { return pidMonitorFileName_.get(); }
  const char16_t* initEventName() const { return initEventName_.get(); }
  const char16_t* cmdLine() const { return cmdLine_.get(); }
  uint32_t monitorPID() const { return monitorPID_; }
  bool monitorFound() const { return monitorFound_; }
  bool cacheCreated() const { return cacheCreated_; }
  FsCacheOptions* cacheOptions() const { return options_; }

  // Monitor process control.
  // Starts fsmon.exe with the "start" (or "stop") command and waits for its initialisation
  // event. Virtual so that the query flow can be exercised without a monitor program.
  virtual bool runFsMon(uint32_t timeout, bool stop);
  // Starts a process from a command line and optionally waits for it; keeps the process handle
  // in *started when asked to.
  int executeMonitor(const char16_t* monitorPathName, bool wait, uint32_t timeout,
                     std::unique_ptr<platform::Process>* started = nullptr);
  int waitOnProcessHandle(platform::Process* process, uint32_t timeout);
  void getMonitorPID();
  int waitForMonitorShutdown(uint32_t timeout);
  int findProcess(const char16_t* name, uint32_t pid, bool* found);

 protected:
  // Makes the cache the monitor keeps ("mon_dirs", "mon_files" in cacheHome, monitor mode);
  // null when it cannot be made.
  virtual std::unique_ptr<ProviderCache> newCache();

 private:
  int create(uint32_t timeout);
  int runQuery(FsResults* results, FsQuery* query, uint32_t age, uint32_t timeout, bool extended);
  void buildMonitorNames(bool stop);
  bool waitForMonitorInit(platform::NamedEvent& event, platform::Process& monitor);

  bool cacheCreated_ = false;
  std::unique_ptr<ProviderCache> cache_;
  OwnedText initEventName_;
  OwnedText binDir_;
  OwnedText cacheHome_;
  OwnedText drives_;
  OwnedText monitor_;
  uint32_t monitorPID_ = 0;
  bool monitorFound_ = false;
  std::unique_ptr<platform::Process> monitorProcess_;  // the monitor getMonitorPID() found
  OwnedText pidMonitorFileName_;
  OwnedText cmdLine_;
  ZrLogWrapper* logger_;
  FsCacheOptions* options_;
};

#endif  // FSCANNER_PROVIDER_MONITOR_FS_MONITORPROVIDER_H
