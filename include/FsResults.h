// The host's result sink; the provider only hands matches to it and never reads anything back.
#ifndef FSCANNER_FSRESULTS_H
#define FSCANNER_FSRESULTS_H

#include <cstdint>

class FsFileInfo;

class FsResults {
 public:
  virtual ~FsResults() = default;
  // A matching file found on disk.
  virtual void addFileInfo(FsFileInfo* info) = 0;
  // A matching file found in the cache. directory ends in '\'.
  virtual void addFile(const char16_t* directory, const char16_t* name, uint32_t sizeLow,
                       uint32_t sizeHigh, uint32_t attributes, const char16_t* md5, uint32_t crc32,
                       uint32_t q32) = 0;
};

#endif  // FSCANNER_FSRESULTS_H
