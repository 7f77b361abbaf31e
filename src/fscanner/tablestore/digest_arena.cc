#include "tablestore/digest_arena.h"

#include <new>

void* DigestArena::allocate(size_t bytes) {
  bytes = (bytes + kAlignment - 1) & ~(kAlignment - 1);
  while (current_ < chunks_.size()) {
    Chunk& chunk = chunks_[current_];
    if (chunk.size - used_ >= bytes) {
      void* memory = chunk.bytes.get() + used_;
      used_ += bytes;
      return memory;
    }
    ++current_;
    used_ = 0;
  }
  Chunk chunk;
  chunk.size = bytes > kChunkBytes ? bytes : kChunkBytes;
  chunk.bytes.reset(new (std::nothrow) unsigned char[chunk.size]);
  if (chunk.bytes == nullptr) return nullptr;
  try {
    chunks_.push_back(std::move(chunk));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  current_ = chunks_.size() - 1;
  used_ = bytes;
  return chunks_[current_].bytes.get();
}

void DigestArena::reset() {
  if (current_ + 1 < chunks_.size()) chunks_.resize(current_ + 1);
  current_ = 0;
  used_ = 0;
}
