#include "fs/md5.h"

#include <cstring>

namespace {

inline uint32_t loadLittleEndian32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

inline void storeLittleEndian32(uint32_t value, uint8_t* p) {
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
  p[2] = static_cast<uint8_t>(value >> 16);
  p[3] = static_cast<uint8_t>(value >> 24);
}

inline uint32_t rotateLeft(uint32_t value, int bits) {
  return (value << bits) | (value >> (32 - bits));
}

// The four round functions, arranged so that the operand computed last (b) enters as late as
// possible: the rest of each step can run while b is still being computed.
//   F = (b & c) | (~b & d)  as  d ^ (b & (c ^ d))
//   G = (b & d) | (c & ~d)  as  (c & ~d) + (b & d), the two terms have no bit in common
//   H = b ^ c ^ d
//   I = c ^ (b | ~d)
#define MD5_STEP_F(a, b, c, d, x, k, s) \
  a += (x) + (k);                       \
  a += (((c) ^ (d)) & (b)) ^ (d);       \
  a = rotateLeft(a, s) + (b)
#define MD5_STEP_G(a, b, c, d, x, k, s) \
  a += (x) + (k) + ((c) & ~(d));        \
  a += (b) & (d);                       \
  a = rotateLeft(a, s) + (b)
#define MD5_STEP_H(a, b, c, d, x, k, s) \
  a += (x) + (k);                       \
  a += (b) ^ (c) ^ (d);                 \
  a = rotateLeft(a, s) + (b)
#define MD5_STEP_I(a, b, c, d, x, k, s) \
  a += (x) + (k);                       \
  a += (c) ^ ((b) | ~(d));              \
  a = rotateLeft(a, s) + (b)

constexpr uint8_t kPadding[64] = {0x80};

}  // namespace

void Md5::reset() {
  state_[0] = 0x67452301u;
  state_[1] = 0xefcdab89u;
  state_[2] = 0x98badcfeu;
  state_[3] = 0x10325476u;
  totalBytes_ = 0;
  pendingBytes_ = 0;
}

void Md5::update(const void* data, size_t length) {
  if (data == nullptr || length == 0) return;
  const auto* p = static_cast<const uint8_t*>(data);
  totalBytes_ += length;
  if (pendingBytes_ > 0) {
    const size_t take = length < kBlockBytes - pendingBytes_ ? length : kBlockBytes - pendingBytes_;
    std::memcpy(pending_ + pendingBytes_, p, take);
    pendingBytes_ += take;
    p += take;
    length -= take;
    if (pendingBytes_ < kBlockBytes) return;
    processBlocks(pending_, 1);
    pendingBytes_ = 0;
  }
  const size_t blocks = length / kBlockBytes;
  processBlocks(p, blocks);
  p += blocks * kBlockBytes;
  length -= blocks * kBlockBytes;
  std::memcpy(pending_, p, length);
  pendingBytes_ = length;
}

Md5Digest Md5::finish() {
  uint8_t lengthBits[8];
  const uint64_t bits = totalBytes_ * 8;
  storeLittleEndian32(static_cast<uint32_t>(bits), lengthBits);
  storeLittleEndian32(static_cast<uint32_t>(bits >> 32), lengthBits + 4);
  // Pad with 0x80 and zeros up to 56 bytes modulo 64, then the bit length.
  const size_t used = pendingBytes_;
  const size_t padding = used < 56 ? 56 - used : 120 - used;
  update(kPadding, padding);
  update(lengthBits, sizeof lengthBits);

  Md5Digest digest;
  for (int i = 0; i < 4; ++i) storeLittleEndian32(state_[i], digest.data() + 4 * i);
  reset();
  return digest;
}

Md5Digest Md5::of(const void* data, size_t length) {
  Md5 md5;
  md5.update(data, length);
  return md5.finish();
}

void Md5::processBlocks(const uint8_t* blocks, size_t count) {
  uint32_t a = state_[0];
  uint32_t b = state_[1];
  uint32_t c = state_[2];
  uint32_t d = state_[3];
  for (; count > 0; --count, blocks += kBlockBytes) {
    uint32_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = loadLittleEndian32(blocks + 4 * i);
    const uint32_t a0 = a, b0 = b, c0 = c, d0 = d;

    MD5_STEP_F(a, b, c, d, x[0], 0xd76aa478, 7);
    MD5_STEP_F(d, a, b, c, x[1], 0xe8c7b756, 12);
    MD5_STEP_F(c, d, a, b, x[2], 0x242070db, 17);
    MD5_STEP_F(b, c, d, a, x[3], 0xc1bdceee, 22);
    MD5_STEP_F(a, b, c, d, x[4], 0xf57c0faf, 7);
    MD5_STEP_F(d, a, b, c, x[5], 0x4787c62a, 12);
    MD5_STEP_F(c, d, a, b, x[6], 0xa8304613, 17);
    MD5_STEP_F(b, c, d, a, x[7], 0xfd469501, 22);
    MD5_STEP_F(a, b, c, d, x[8], 0x698098d8, 7);
    MD5_STEP_F(d, a, b, c, x[9], 0x8b44f7af, 12);
    MD5_STEP_F(c, d, a, b, x[10], 0xffff5bb1, 17);
    MD5_STEP_F(b, c, d, a, x[11], 0x895cd7be, 22);
    MD5_STEP_F(a, b, c, d, x[12], 0x6b901122, 7);
    MD5_STEP_F(d, a, b, c, x[13], 0xfd987193, 12);
    MD5_STEP_F(c, d, a, b, x[14], 0xa679438e, 17);
    MD5_STEP_F(b, c, d, a, x[15], 0x49b40821, 22);

    MD5_STEP_G(a, b, c, d, x[1], 0xf61e2562, 5);
    MD5_STEP_G(d, a, b, c, x[6], 0xc040b340, 9);
    MD5_STEP_G(c, d, a, b, x[11], 0x265e5a51, 14);
    MD5_STEP_G(b, c, d, a, x[0], 0xe9b6c7aa, 20);
    MD5_STEP_G(a, b, c, d, x[5], 0xd62f105d, 5);
    MD5_STEP_G(d, a, b, c, x[10], 0x02441453, 9);
    MD5_STEP_G(c, d, a, b, x[15], 0xd8a1e681, 14);
    MD5_STEP_G(b, c, d, a, x[4], 0xe7d3fbc8, 20);
    MD5_STEP_G(a, b, c, d, x[9], 0x21e1cde6, 5);
    MD5_STEP_G(d, a, b, c, x[14], 0xc33707d6, 9);
    MD5_STEP_G(c, d, a, b, x[3], 0xf4d50d87, 14);
    MD5_STEP_G(b, c, d, a, x[8], 0x455a14ed, 20);
    MD5_STEP_G(a, b, c, d, x[13], 0xa9e3e905, 5);
    MD5_STEP_G(d, a, b, c, x[2], 0xfcefa3f8, 9);
    MD5_STEP_G(c, d, a, b, x[7], 0x676f02d9, 14);
    MD5_STEP_G(b, c, d, a, x[12], 0x8d2a4c8a, 20);

    MD5_STEP_H(a, b, c, d, x[5], 0xfffa3942, 4);
    MD5_STEP_H(d, a, b, c, x[8], 0x8771f681, 11);
    MD5_STEP_H(c, d, a, b, x[11], 0x6d9d6122, 16);
    MD5_STEP_H(b, c, d, a, x[14], 0xfde5380c, 23);
    MD5_STEP_H(a, b, c, d, x[1], 0xa4beea44, 4);
    MD5_STEP_H(d, a, b, c, x[4], 0x4bdecfa9, 11);
    MD5_STEP_H(c, d, a, b, x[7], 0xf6bb4b60, 16);
    MD5_STEP_H(b, c, d, a, x[10], 0xbebfbc70, 23);
    MD5_STEP_H(a, b, c, d, x[13], 0x289b7ec6, 4);
    MD5_STEP_H(d, a, b, c, x[0], 0xeaa127fa, 11);
    MD5_STEP_H(c, d, a, b, x[3], 0xd4ef3085, 16);
    MD5_STEP_H(b, c, d, a, x[6], 0x04881d05, 23);
    MD5_STEP_H(a, b, c, d, x[9], 0xd9d4d039, 4);
    MD5_STEP_H(d, a, b, c, x[12], 0xe6db99e5, 11);
    MD5_STEP_H(c, d, a, b, x[15], 0x1fa27cf8, 16);
    MD5_STEP_H(b, c, d, a, x[2], 0xc4ac5665, 23);

    MD5_STEP_I(a, b, c, d, x[0], 0xf4292244, 6);
    MD5_STEP_I(d, a, b, c, x[7], 0x432aff97, 10);
    MD5_STEP_I(c, d, a, b, x[14], 0xab9423a7, 15);
    MD5_STEP_I(b, c, d, a, x[5], 0xfc93a039, 21);
    MD5_STEP_I(a, b, c, d, x[12], 0x655b59c3, 6);
    MD5_STEP_I(d, a, b, c, x[3], 0x8f0ccc92, 10);
    MD5_STEP_I(c, d, a, b, x[10], 0xffeff47d, 15);
    MD5_STEP_I(b, c, d, a, x[1], 0x85845dd1, 21);
    MD5_STEP_I(a, b, c, d, x[8], 0x6fa87e4f, 6);
    MD5_STEP_I(d, a, b, c, x[15], 0xfe2ce6e0, 10);
    MD5_STEP_I(c, d, a, b, x[6], 0xa3014314, 15);
    MD5_STEP_I(b, c, d, a, x[13], 0x4e0811a1, 21);
    MD5_STEP_I(a, b, c, d, x[4], 0xf7537e82, 6);
    MD5_STEP_I(d, a, b, c, x[11], 0xbd3af235, 10);
    MD5_STEP_I(c, d, a, b, x[2], 0x2ad7d2bb, 15);
    MD5_STEP_I(b, c, d, a, x[9], 0xeb86d391, 21);

    a += a0;
    b += b0;
    c += c0;
    d += d0;
  }
  state_[0] = a;
  state_[1] = b;
  state_[2] = c;
  state_[3] = d;
}
