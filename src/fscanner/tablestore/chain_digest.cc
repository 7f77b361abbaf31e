#include "tablestore/chain_digest.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "tablestore/file_io.h"
#include "tablestore/hash_index.h"

void ChainDigest::prefetch(uint32_t bucket) const {
  const uint32_t block = bucket >> kBlockBits;
  if (block >= blocks_.size() || blocks_[block] == nullptr) return;
  const Chain* chain = (*blocks_[block])[bucket & (kBlockBuckets - 1)];
  if (chain != nullptr) prefetchForRead(chain);
}

ChainDigest::Chain* ChainDigest::entry(uint32_t bucket) {
  static_assert(HashIndex::kBucketCount % kBlockBuckets == 0, "the buckets fill whole blocks");
  const uint32_t block = bucket >> kBlockBits;
  try {
    if (blocks_.empty()) blocks_.resize(HashIndex::kBucketCount / kBlockBuckets, nullptr);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  if (blocks_[block] == nullptr) {
    void* memory = arena_.allocate(sizeof(Block));
    if (memory == nullptr) return nullptr;
    blocks_[block] = new (memory) Block();
  }
  Chain*& chain = (*blocks_[block])[bucket & (kBlockBuckets - 1)];
  if (chain == nullptr) {
    void* memory = arena_.allocate(sizeof(Chain));
    if (memory == nullptr) return nullptr;
    chain = new (memory) Chain();
  }
  return chain;
}

ChainDigest::Chain* ChainDigest::chain(uint32_t bucket, uint32_t headRecord, uint32_t headNext,
                                       uint64_t generation) {
  if (bucket >= HashIndex::kBucketCount) return nullptr;
  if (generation != generation_) {
    std::fill(blocks_.begin(), blocks_.end(), nullptr);
    arena_.reset();
    stepCount_ = 0;
    generation_ = generation;
  }
  Chain* chain = entry(bucket);
  if (chain == nullptr) return nullptr;
  if (chain->started && chain->headRecord == headRecord && chain->headNext == headNext) {
    return chain;
  }
  // A stale entry keeps its room for the new chain.
  stepCount_ -= chain->stepCount;
  chain->stepCount = 0;
  chain->started = false;
  if (stepCount_ >= kMaxSteps) return nullptr;
  chain->headRecord = headRecord;
  chain->headNext = headNext;
  return chain;
}

ChainDigest::Chain* ChainDigest::scratch() {
  scratch_.started = false;
  scratch_.stepCount = 0;
  return &scratch_;
}

bool ChainDigest::append(Chain* chain, const Step& step) {
  if (chain->stepCount == chain->room) {
    // Chains hold about records / 65,536 steps: room for a typical one at first, doubled after.
    const uint32_t room = chain->room == 0 ? kFirstRoom : chain->room * 2;
    Step* steps = nullptr;
    if (chain == &scratch_) {
      try {
        scratchSteps_.resize(room);
      } catch (const std::bad_alloc&) {
        return false;
      }
      steps = scratchSteps_.data();
    } else {
      steps = static_cast<Step*>(arena_.allocate(room * sizeof(Step)));
      if (steps == nullptr) return false;
      if (chain->stepCount != 0) std::memcpy(steps, chain->steps, chain->stepCount * sizeof(Step));
    }
    chain->steps = steps;
    chain->room = room;
  }
  chain->steps[chain->stepCount++] = step;
  if (chain != &scratch_) ++stepCount_;
  return true;
}
