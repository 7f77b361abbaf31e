#include "tablestore/chain_digest.h"

#include <new>

#include "tablestore/file_io.h"
#include "tablestore/hash_index.h"

void ChainDigest::prefetch(uint32_t bucket) const {
  if (bucket < chains_.size() && chains_[bucket] != nullptr) prefetchForRead(chains_[bucket].get());
}

ChainDigest::Chain* ChainDigest::chain(uint32_t bucket, uint32_t headRecord, uint32_t headNext,
                                       uint64_t generation) {
  if (bucket >= HashIndex::kBucketCount) return nullptr;
  try {
    if (chains_.empty()) chains_.resize(HashIndex::kBucketCount);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  if (chains_[bucket] == nullptr) {
    chains_[bucket].reset(new (std::nothrow) Chain());
    if (chains_[bucket] == nullptr) return nullptr;
  }
  Chain& chain = *chains_[bucket];
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
