// The wanted checksums of a query, as the host hands them to the provider through
// FsCacheOptions: lists of CRC32, Q32 and MD5 values and an activity word. The host fills the
// lists; the provider tests each file's computed checksums against them.
#ifndef FSCANNER_CHECKSUMFILTER_H
#define FSCANNER_CHECKSUMFILTER_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// An MD5 digest in digest byte order.
constexpr size_t kMd5DigestBytes = 16;
using Md5Digest = std::array<uint8_t, kMd5DigestBytes>;

// The computed checksums of one file (fs/checksums.h).
struct ChecksumRequest;

class ChecksumFilter {
 public:
  std::vector<uint32_t> crc32Values;
  std::vector<uint32_t> q32Values;
  std::vector<Md5Digest> md5Values;
  uint32_t active = 0;  // set by the owner when the query asks for checksums at all

  bool isEmpty() const { return active == 0; }
  // True when a checksum the request's mask asks for is among the wanted values of its kind. Only
  // the mask and the values count: a request with mask 0 never matches.
  bool match(const ChecksumRequest& request) const;
};

#endif  // FSCANNER_CHECKSUMFILTER_H
