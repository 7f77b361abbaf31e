// A per-process memory of a hash index's chains, never written to disk: for each bucket the
// records its chain visits, in chain order, each with the 32-bit hash of its key text, so that a
// search passes over records whose key cannot match without reading them. A bucket's entry grows
// as searches walk the chain further, and belongs to the chain head it was started from and to
// one generation of the table's records: a new head (an insert) makes it stale, and it starts
// anew; a new generation (a change in place, a refresh after another process's writes) makes
// every entry stale, and all of them are dropped at once, so that a long-lived reader of tables
// that keep changing holds only what the searches of the current generation walked. Memory is
// bounded: once kMaxSteps steps are kept, no further bucket is started.
#ifndef FSCANNER_TABLESTORE_CHAIN_DIGEST_H
#define FSCANNER_TABLESTORE_CHAIN_DIGEST_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class ChainDigest {
 public:
  // Steps kept over all buckets (16 bytes each).
  static constexpr uint64_t kMaxSteps = 1u << 22;
  // Steps a bucket's entry makes room for when it starts. Below a few hundred thousand records
  // most chains hold one or two; longer ones grow their room by doubling on their first walk. A
  // process that searches every bucket over time (a long-lived host, the monitor) thus keeps
  // about 100 bytes per bucket and index instead of 300.
  static constexpr size_t kFirstRoom = 2;

  struct Step {
    uint32_t record;
    uint32_t keyHash;
    // The record's position entry when it was entered: where its bytes are likely to be.
    uint32_t offset;
    // False when the record did not read as it was entered: a search reads it.
    bool known;
  };
  struct Chain {
    uint32_t headRecord = 0;
    uint32_t headNext = 0;
    uint64_t generation = 0;
    bool started = false;          // the head cell has been read
    uint32_t resume = 0xFFFFFFFF;  // the cell the next step comes from; HashIndex::kNone at the end
    std::vector<Step> steps;
  };

  // The bucket's entry for this head and generation, emptied first when it belonged to others;
  // null when memory is short or the bound is reached.
  Chain* chain(uint32_t bucket, uint32_t headRecord, uint32_t headNext, uint64_t generation);
  // Starts fetching the bucket's entry.
  void prefetch(uint32_t bucket) const;
  // Appends step to chain (an entry of this digest); false when memory runs out.
  bool append(Chain* chain, const Step& step);

 private:
  // Buckets are grouped in blocks of kBlockBuckets entry pointers, each block and each entry
  // made on its first use: a process that searches a few keys (a host's query) pays for a few
  // small blocks, not for a table of 65,536 pointers to clear and fault in per index. Small
  // blocks, because searches land in random buckets: a query that looks up 200 directories
  // touches about 200 blocks.
  static constexpr uint32_t kBlockBits = 5;
  static constexpr uint32_t kBlockBuckets = 1u << kBlockBits;
  using Block = std::array<std::unique_ptr<Chain>, kBlockBuckets>;
  // The bucket's entry pointer, its block made when missing; null when memory is short.
  std::unique_ptr<Chain>* slot(uint32_t bucket);

  std::vector<std::unique_ptr<Block>> blocks_;
  uint64_t stepCount_ = 0;
  uint64_t generation_ = 0;  // of every entry held
};

#endif  // FSCANNER_TABLESTORE_CHAIN_DIGEST_H
