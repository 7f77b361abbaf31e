// The host's configuration object and its option block, as the provider sees them.
#ifndef FSCANNER_FSCONFIG_H
#define FSCANNER_FSCONFIG_H

#include <cstdint>
#include <string>

#include "ChecksumFilter.h"

// Options the host hands, unchanged, to the cache.
struct FsCacheOptions {
  ChecksumFilter* checksumFilter = nullptr;  // or null
  int32_t level = 0;                         // checksums are wanted when (level & 0xFF) > 31
  uint32_t reserved = 0;                     // copied by the cache, never used
  bool cacheAllDriveTypes = false;
};

class FsConfig {
 public:
  virtual ~FsConfig() = default;
  // The value stored under section and key, or defaultValue when the key is absent.
  virtual std::string getValue(const char* section, const char* key,
                               const char* defaultValue) const = 0;

  FsCacheOptions* cacheOptions = nullptr;
};

#endif  // FSCANNER_FSCONFIG_H
