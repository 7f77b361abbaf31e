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

TEST(BitsTest, MostSignificantBitFirstAndIndexWraps) {
  const uint8_t bytes[32] = {0x80, 0x40};
  EXPECT_TRUE(bitTest(0, bytes));
  EXPECT_FALSE(bitTest(1, bytes));
  EXPECT_TRUE(bitTest(9, bytes));
  EXPECT_TRUE(bitTest(256, bytes));
  EXPECT_TRUE(bitTest(265, bytes));

  uint8_t set[32] = {};
  bitSet(263, set);  // acts as index 7: mask 0x01 of the first byte
  bitSet(255, set);
  for (uint32_t i = 0; i < 256; ++i) EXPECT_EQ(bitTest(i, set), i == 7 || i == 255) << i;
  EXPECT_EQ(set[0], 0x01);
  EXPECT_EQ(set[31], 0x01);
  EXPECT_FALSE(bitTest(0, nullptr));
  bitSet(0, nullptr);
}

TEST(VarintTest, ByteExactEncodings) {
  EXPECT_EQ(encode(0), Bytes({0x00}));
  EXPECT_EQ(encode(127), Bytes({0xFE}));
  EXPECT_EQ(encode(128), Bytes({0x03, 0x00}));
  EXPECT_EQ(encode(300), Bytes({0x05, 0x58}));
  EXPECT_EQ(encode(1ull << 63),
            Bytes({0x03, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x00}));
  EXPECT_EQ(encode(UINT64_MAX),
            Bytes({0x03, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE}));

  // An encoding that does not fit writes nothing.
  uint8_t buffer[4] = {0xAA, 0xAA, 0xAA, 0xAA};
  EXPECT_EQ(encodeVarint(300, buffer, 1), 1u);
  EXPECT_EQ(buffer[0], 0xAA);
  EXPECT_EQ(encodeVarint(300, buffer, 2), 0u);
  EXPECT_EQ(encodeVarint(0, buffer, 0), 0u);
  EXPECT_EQ(encodeVarint(0, nullptr, 4), 4u);
  uint8_t exact[kMaxVarintBytes];
  EXPECT_EQ(encodeVarint(UINT64_MAX, exact, sizeof(exact)), 0u);
}

TEST(VarintTest, RoundTripsAtGroupBoundaries) {
  std::vector<uint64_t> values = {0, UINT64_MAX - 1, UINT64_MAX};
  for (unsigned bits = 1; bits < 64; ++bits) {
    values.push_back((1ull << bits) - 1);
    values.push_back(1ull << bits);
  }
  std::mt19937_64 rng(99);
  for (int i = 0; i < 1000; ++i) values.push_back(rng() >> (rng() % 64));
  for (uint64_t value : values) {
    Bytes bytes = encode(value);
    ASSERT_LE(bytes.size(), kMaxVarintBytes);
    bytes.push_back(0x77);  // trailing data is not consumed
    uint64_t decoded = ~value;
    ASSERT_EQ(decodeVarint(bytes.data(), bytes.size(), &decoded), bytes.size() - 1) << value;
    ASSERT_EQ(decoded, value);
  }
}

TEST(VarintTest, RejectsTruncatedAndOverlongInput) {
  const Bytes big = encode(UINT64_MAX);
  uint64_t value = 5;
  EXPECT_EQ(decodeVarint(big.data(), big.size() - 1, &value), 0u);
  EXPECT_EQ(decodeVarint(big.data(), 0, &value), 0u);
  EXPECT_EQ(value, 5u);
  Bytes overlong(kMaxVarintBytes, 0x01);
  overlong.push_back(0x00);  // eleven bytes
  EXPECT_EQ(decodeVarint(overlong.data(), overlong.size(), &value), 0u);
  const Bytes endless(64, 0xFF);
  EXPECT_EQ(decodeVarint(endless.data(), endless.size(), &value), 0u);
  EXPECT_EQ(decodeVarint(nullptr, 4, &value), 0u);

  // Ten bytes are accepted; groups beyond 64 bits fall off the top.
  const Bytes wide = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE};
  EXPECT_EQ(decodeVarint(wide.data(), wide.size(), &value), kMaxVarintBytes);
  EXPECT_EQ(value, UINT64_MAX);
}

}  // namespace
