// The plug-in module's exported interface: the factory and the abstract provider.
#ifndef FSCANNER_FSPROVIDER_H
#define FSCANNER_FSPROVIDER_H

#include <cstdint>

#include "FsConfig.h"
#include "FsExport.h"
#include "FsQuery.h"
#include "FsResults.h"

// Host result values of executeQuery and executeQueryEx.
enum HostResult : int { HOST_OK = 0, HOST_FAILED = 1, HOST_TIMED_OUT = 2 };

class FS_PROVIDER_API FsProvider {
 public:
  FsProvider();
  FsProvider(const FsProvider& other);
  FsProvider& operator=(const FsProvider& other);
  virtual ~FsProvider();

  virtual int initialize(const FsConfig* config) = 0;
  virtual int prepare(void* argument) = 0;
  virtual int shutdown(const FsConfig* config);
  virtual int reset(const FsConfig* config);
  // Both answer HOST_OK, HOST_FAILED or HOST_TIMED_OUT; timeout is in milliseconds.
  virtual int executeQuery(FsResults* results, FsQuery* query, uint32_t age, uint32_t timeout) = 0;
  virtual int executeQueryEx(FsResults* results, FsQuery* query, uint32_t age,
                             uint32_t timeout) = 0;
};

// Creates a provider configured from config; null when it cannot be initialised.
extern "C" FS_PROVIDER_API FsProvider* FS_CDECL createProvider(const FsConfig* config);

// The factory's type, for hosts that look it up at run time.
using CreateProviderFunction = FsProvider*(FS_CDECL*)(const FsConfig*);

#endif  // FSCANNER_FSPROVIDER_H
