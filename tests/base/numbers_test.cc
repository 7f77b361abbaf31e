#include "base/numbers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// The encoding of value, taken from the end of a buffer with room to spare.
Bytes encode(uint64_t value) {
  uint8_t buffer[16];
  std::memset(buffer, 0xAA, sizeof(buffer));
  const size_t start = encodeVarint(value, buffer, sizeof(buffer));
  return Bytes(buffer + start, buffer + sizeof(buffer));
}

TEST(VarintTest, ByteExactEncodingsRoundTripsTooSmallBuffersAndBadInput) {
  EXPECT_EQ(encode(0), Bytes({0x00}));
  EXPECT_EQ(encode(127), Bytes({0xFE}));
  EXPECT_EQ(encode(128), Bytes({0x03, 0x00}));
  EXPECT_EQ(encode(300), Bytes({0x05, 0x58}));
  EXPECT_EQ(encode(UINT64_MAX),
            Bytes({0x03, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE}));
  uint8_t buffer[4] = {0xAA, 0xAA, 0xAA, 0xAA};
  EXPECT_EQ(encodeVarint(300, buffer, 1), 1u);  // does not fit: nothing written
  EXPECT_EQ(buffer[0], 0xAA);
  EXPECT_EQ(encodeVarint(300, buffer, 2), 0u);
  EXPECT_EQ(encodeVarint(0, nullptr, 4), 4u);
  uint8_t exact[kMaxVarintBytes];
  EXPECT_EQ(encodeVarint(UINT64_MAX, exact, sizeof(exact)), 0u);

  // Round trips at every group boundary and at random values; bad input is rejected.
  std::vector<uint64_t> values = {0, UINT64_MAX};
  for (unsigned bits = 1; bits < 64; ++bits) {
    values.push_back((1ull << bits) - 1);
    values.push_back(1ull << bits);
  }
  std::mt19937_64 rng(99);
  for (int i = 0; i < 1000; ++i) values.push_back(rng() >> (rng() % 64));
  for (uint64_t value : values) {
    Bytes bytes = encode(value);
    bytes.push_back(0x77);  // trailing data is not consumed
    uint64_t decoded = ~value;
    ASSERT_EQ(decodeVarint(bytes.data(), bytes.size(), &decoded), bytes.size() - 1) << value;
    ASSERT_EQ(decoded, value);
  }

  const Bytes big = encode(UINT64_MAX);
  uint64_t value = 5;
  EXPECT_EQ(decodeVarint(big.data(), big.size() - 1, &value), 0u);  // truncated
  Bytes overlong(kMaxVarintBytes, 0x01);
  overlong.push_back(0x00);
  EXPECT_EQ(decodeVarint(overlong.data(), overlong.size(), &value), 0u);
  EXPECT_EQ(decodeVarint(nullptr, 4, &value), 0u);
  EXPECT_EQ(value, 5u);
  // Ten bytes are accepted; groups beyond 64 bits fall off the top.
  const Bytes wide = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE};
  EXPECT_EQ(decodeVarint(wide.data(), wide.size(), &value), kMaxVarintBytes);
  EXPECT_EQ(value, UINT64_MAX);
}

}  // namespace
