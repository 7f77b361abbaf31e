// Q32, the quick checksum: the CRC-32 of the first kQ32Bytes bytes of a file (of the whole file
// when it is shorter; 0 for an empty file). Cheap enough to compute for every file a walk visits.
#ifndef FSCANNER_FS_Q32_H
#define FSCANNER_FS_Q32_H

#include <cstddef>
#include <cstdint>

constexpr size_t kQ32Bytes = 1024;

// Takes the leading bytes of a stream, fed in pieces of any size, and ignores the rest.
class Q32 {
 public:
  // Takes what is still wanted of the data; returns how many bytes were taken.
  size_t update(const void* data, size_t length);
  // True once kQ32Bytes bytes were taken: the rest of the stream does not matter.
  bool complete() const { return taken_ == kQ32Bytes; }
  uint32_t value() const { return crc_; }

  // Q32 of one buffer holding the start of a file (or all of it).
  static uint32_t of(const void* data, size_t length);

 private:
  uint32_t crc_ = 0;
  size_t taken_ = 0;
};

#endif  // FSCANNER_FS_Q32_H
