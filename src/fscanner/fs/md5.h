// MD5 message digest (RFC 1321), computed incrementally.
#ifndef FSCANNER_FS_MD5_H
#define FSCANNER_FS_MD5_H

#include <cstddef>
#include <cstdint>

#include "ChecksumFilter.h"  // Md5Digest, shared with the host

class Md5 {
 public:
  Md5() { reset(); }

  // Starts a new message.
  void reset();
  // Appends bytes to the message; a null data with length 0 adds nothing.
  void update(const void* data, size_t length);
  // The digest of the message so far. The object then starts a new message.
  Md5Digest finish();

  // The digest of one buffer.
  static Md5Digest of(const void* data, size_t length);

 private:
  static constexpr size_t kBlockBytes = 64;

  void processBlocks(const uint8_t* blocks, size_t count);

  uint32_t state_[4];
  uint64_t totalBytes_;
  uint8_t pending_[kBlockBytes];
  size_t pendingBytes_;
};

#endif  // FSCANNER_FS_MD5_H
