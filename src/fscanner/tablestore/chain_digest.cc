#include "tablestore/chain_digest.h"

#include <new>

#include "tablestore/file_io.h"
#include "tablestore/hash_index.h"

void ChainDigest::prefetch(uint32_t bucket) const {
  const uint32_t block = bucket >> kBlockBits;
  if (block >= blocks_.size() || blocks_[block] == nullptr) return;
  const std::unique_ptr<Chain>& entry = (*blocks_[block])[bucket & (kBlockBuckets - 1)];
  if (entry != nullptr) prefetchForRead(entry.get());
}

std::unique_ptr<ChainDigest::Chain>* ChainDigest::slot(uint32_t bucket) {
  static_assert(HashIndex::kBucketCount % kBlockBuckets == 0, "the buckets fill whole blocks");
  const uint32_t block = bucket >> kBlockBits;
  try {
    if (blocks_.empty()) blocks_.resize(HashIndex::kBucketCount / kBlockBuckets);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  if (blocks_[block] == nullptr) {
    blocks_[block].reset(new (std::nothrow) Block());
    if (blocks_[block] == nullptr) return nullptr;
  }
  return &(*blocks_[block])[bucket & (kBlockBuckets - 1)];
}

ChainDigest::Chain* ChainDigest::chain(uint32_t bucket, uint32_t headRecord, uint32_t headNext,
                                       uint64_t generation) {
  if (bucket >= HashIndex::kBucketCount) return nullptr;
  if (generation != generation_) {
    blocks_.clear();
    stepCount_ = 0;
    generation_ = generation;
  }
  std::unique_ptr<Chain>* entry = slot(bucket);
  if (entry == nullptr) return nullptr;
  if (*entry == nullptr) {
    entry->reset(new (std::nothrow) Chain());
    if (*entry == nullptr) return nullptr;
  }
  Chain& chain = **entry;
  if (chain.started && chain.headRecord == headRecord && chain.headNext == headNext &&
      chain.generation == generation) {
    return &chain;
  }
  stepCount_ -= chain.steps.size();
  std::vector<Step>().swap(chain.steps);
  chain.started = false;
  if (stepCount_ >= kMaxSteps) return nullptr;
  chain.headRecord = headRecord;
  chain.headNext = headNext;
  chain.generation = generation;
  return &chain;
}

bool ChainDigest::append(Chain* chain, const Step& step) {
  try {
    // Chains hold about records / 65,536 steps: room for a typical one at once.
    if (chain->steps.empty()) chain->steps.reserve(kFirstRoom);
    chain->steps.push_back(step);
  } catch (const std::bad_alloc&) {
    return false;
  }
  ++stepCount_;
  return true;
}
