// Memory for a chain digest's blocks, entries and steps: taken from the heap in chunks and handed
// out in order, all of it taken back at once by reset(). A reset keeps the chunks the ending
// generation used and frees the rest, so a process whose searches look alike from one generation
// to the next (a host answering one query after another) allocates nothing anew, its heap does
// not fragment with the churn of many small blocks, and a generation that once needed much does
// not hold that memory after the next one needed little.
#ifndef FSCANNER_TABLESTORE_DIGEST_ARENA_H
#define FSCANNER_TABLESTORE_DIGEST_ARENA_H

#include <cstddef>
#include <memory>
#include <vector>

class DigestArena {
 public:
  static constexpr size_t kChunkBytes = 32 * 1024;
  static constexpr size_t kAlignment = alignof(std::max_align_t);

  // bytes of memory aligned to kAlignment, valid until the next reset; null when memory is short.
  void* allocate(size_t bytes);
  void reset();

 private:
  struct Chunk {
    std::unique_ptr<unsigned char[]> bytes;
    size_t size = 0;
  };
  std::vector<Chunk> chunks_;
  size_t current_ = 0;  // the chunk being handed out
  size_t used_ = 0;     // bytes of it handed out
};

#endif  // FSCANNER_TABLESTORE_DIGEST_ARENA_H
