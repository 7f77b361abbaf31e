// The three checksum algorithms against published vectors, an independent bit-by-bit CRC-32 and
// each other: both CRC-32 implementations, MD5 over padding boundaries and in pieces, Q32.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "fs/crc32.h"
#include "fs/md5.h"
#include "fs/q32.h"

namespace {

std::vector<uint8_t> randomBytes(size_t length, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> bytes(length);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
  return bytes;
}

// One bit at a time, straight from the definition.
uint32_t bitwiseCrc32(const uint8_t* data, size_t length) {
  uint32_t reg = 0xFFFFFFFFu;
  for (size_t i = 0; i < length; ++i) {
    reg ^= data[i];
    for (int bit = 0; bit < 8; ++bit) reg = (reg >> 1) ^ ((reg & 1) != 0 ? 0xEDB88320u : 0);
  }
  return ~reg;
}

std::string hex(const Md5Digest& digest) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (uint8_t b : digest) {
    out += kDigits[b >> 4];
    out += kDigits[b & 0xF];
  }
  return out;
}

std::string md5Hex(const std::string& text) { return hex(Md5::of(text.data(), text.size())); }

using Crc32Function = uint32_t (*)(uint32_t, const void*, size_t);

// Every implementation this machine can run, by name.
std::vector<std::pair<const char*, Crc32Function>> crc32Implementations() {
  std::vector<std::pair<const char*, Crc32Function>> all = {{"dispatch", crc32Update},
                                                            {"tables", crc32UpdateTables}};
  if (crc32FoldingSupported()) all.emplace_back("folding", crc32UpdateFolding);
  return all;
}

TEST(Crc32Test, KnownVectorsInEveryImplementation) {
  for (const auto& [name, crc32] : crc32Implementations()) {
    SCOPED_TRACE(name);
    EXPECT_EQ(crc32(0, "123456789", 9), 0xCBF43926u);
    EXPECT_EQ(crc32(0, "", 0), 0u);
    EXPECT_EQ(crc32(0x1234, nullptr, 0), 0x1234u);
    EXPECT_EQ(crc32(0, "The quick brown fox jumps over the lazy dog", 43), 0x414FA339u);
    const std::vector<uint8_t> zeros(4096, 0);
    EXPECT_EQ(crc32(0, zeros.data(), 32), 0x190A55ADu);
    const std::vector<uint8_t> ones(32, 0xFF);
    EXPECT_EQ(crc32(0, ones.data(), ones.size()), 0xFF6CAB0Bu);
  }
}

TEST(Crc32Test, ImplementationsAgreeOnEveryLengthAndAlignment) {
  const std::vector<uint8_t> data = randomBytes(2048 + 16, 7);
  for (size_t offset = 0; offset < 16; ++offset) {
    for (size_t length = 0; length <= 2048; length += (length < 300 ? 1 : 37)) {
      const uint8_t* p = data.data() + offset;
      const uint32_t expected = bitwiseCrc32(p, length);
      for (const auto& [name, crc32] : crc32Implementations()) {
        ASSERT_EQ(crc32(0, p, length), expected)
            << name << " offset " << offset << " length " << length;
      }
    }
  }
}

TEST(Crc32Test, PiecesContinueTheWhole) {
  const std::vector<uint8_t> data = randomBytes(1 << 20, 11);
  const uint32_t whole = bitwiseCrc32(data.data(), data.size());
  std::mt19937 rng(3);
  for (const auto& [name, crc32] : crc32Implementations()) {
    EXPECT_EQ(crc32(0, data.data(), data.size()), whole) << name;
    uint32_t crc = 0;
    size_t done = 0;
    while (done < data.size()) {
      const size_t piece = std::min<size_t>(rng() % 5000, data.size() - done);
      crc = crc32(crc, data.data() + done, piece);
      done += piece;
    }
    EXPECT_EQ(crc, whole) << name;
  }
}

TEST(Md5Test, Rfc1321TestSuite) {
  EXPECT_EQ(md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(md5Hex("a"), "0cc175b9c0f1b6a831c399e269772661");
  EXPECT_EQ(md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(md5Hex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(md5Hex("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
  EXPECT_EQ(md5Hex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
            "d174ab98d277d9f5a5611c2c9f419d9f");
  EXPECT_EQ(md5Hex("1234567890123456789012345678901234567890123456789012345678901234567890123456"
                   "7890"),
            "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(Md5Test, PaddingBoundariesAndLongMessages) {
  const std::pair<size_t, const char*> cases[] = {
      {55, "ef1772b6dff9a122358552954ad0df65"},      {56, "3b0c8ac703f828b04c6c197006d17218"},
      {57, "652b906d60af96844ebd21b674f35e93"},      {63, "b06521f39153d618550606be297466d5"},
      {64, "014842d480b571495a4a0363793f7367"},      {65, "c743a45e0d2e6a95cb859adae0248435"},
      {127, "020406e1d05cdc2aa287641f7ae2cc39"},     {128, "e510683b3f5ffe4093d021808bc6ff70"},
      {1000000, "7707d6ae4e027c70eea2a935c2296f21"},
  };
  for (const auto& [length, expected] : cases) {
    EXPECT_EQ(md5Hex(std::string(length, 'a')), expected) << length;
  }
}

TEST(Md5Test, AnySplitGivesTheSameDigestAndFinishStartsOver) {
  const std::vector<uint8_t> data = randomBytes(300, 5);
  const Md5Digest whole = Md5::of(data.data(), data.size());
  Md5 md5;
  for (size_t split = 0; split <= data.size(); ++split) {
    md5.update(data.data(), split);
    md5.update(nullptr, 0);
    md5.update(data.data() + split, data.size() - split);
    ASSERT_EQ(md5.finish(), whole) << split;
  }
  for (size_t i = 0; i < data.size(); ++i) md5.update(&data[i], 1);
  EXPECT_EQ(md5.finish(), whole);
  EXPECT_EQ(hex(md5.finish()), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(Q32Test, TakesOnlyTheFirstKilobyteInAnyPieces) {
  const std::vector<uint8_t> data = randomBytes(5000, 9);
  const uint32_t expected = bitwiseCrc32(data.data(), kQ32Bytes);
  EXPECT_EQ(Q32::of(data.data(), data.size()), expected);
  EXPECT_EQ(Q32::of(data.data(), 100), bitwiseCrc32(data.data(), 100));
  EXPECT_EQ(Q32::of(data.data(), 0), 0u);

  Q32 q32;
  EXPECT_EQ(q32.update(data.data(), 1000), 1000u);
  EXPECT_FALSE(q32.complete());
  EXPECT_EQ(q32.update(data.data() + 1000, 1000), 24u);
  EXPECT_TRUE(q32.complete());
  EXPECT_EQ(q32.update(data.data() + 2000, 1000), 0u);
  EXPECT_EQ(q32.update(nullptr, 10), 0u);
  EXPECT_EQ(q32.value(), expected);
}

}  // namespace
