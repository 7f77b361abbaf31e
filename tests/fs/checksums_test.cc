#include "fs/checksums.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "fs/crc32.h"
#include "fs/q32.h"
#include "platform/platform.h"
#include "platform/platform_testing.h"
#include "support/drive_table.h"
#include "support/narrow_text.h"
#include "support/temp_dir.h"
#include "support/trace_capture.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

std::string randomBytes(size_t length, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string bytes(length, '\0');
  for (char& b : bytes) b = static_cast<char>(rng());
  return bytes;
}

// One bit at a time, straight from the definition.
uint32_t bitwiseCrc32(const std::string& data, size_t offset = 0,
                      size_t length = std::string::npos) {
  uint32_t reg = 0xFFFFFFFFu;
  for (char c : data.substr(offset, length)) {
    reg ^= static_cast<uint8_t>(c);
    for (int bit = 0; bit < 8; ++bit) reg = (reg >> 1) ^ ((reg & 1) != 0 ? 0xEDB88320u : 0);
  }
  return ~reg;
}

std::string md5Text(const Md5Digest& digest) {
  char16_t text[kMd5TextCapacity];
  md5ToText(digest, text);
  return text[32] == u'\0' ? std::string(text, text + 32) : "unterminated";
}

using Crc32Function = uint32_t (*)(uint32_t, const void*, size_t);

// Every implementation this machine can run, by name.
std::vector<std::pair<const char*, Crc32Function>> crc32Implementations() {
  std::vector<std::pair<const char*, Crc32Function>> all = {{"dispatch", crc32Update},
                                                            {"tables", crc32UpdateTables}};
  if (crc32FoldingSupported()) all.emplace_back("folding", crc32UpdateFolding);
  return all;
}

TEST(Crc32Test, KnownVectorsTheBitwiseReferenceAndQ32) {
  EXPECT_EQ(bitwiseCrc32("123456789"), 0xCBF43926u);
  for (const auto& [name, crc32] : crc32Implementations()) {
    EXPECT_EQ(crc32(0x1234, nullptr, 0), 0x1234u) << name;
  }
  // Every length up to 300 at every alignment, then lengths spread over one and two blocks of
  // the tables' interleaved streams (4 KiB) with every kind of remainder.
  const std::string data = randomBytes(9000 + 16, 7);
  for (size_t offset = 0; offset < 16; ++offset) {
    for (size_t length = 0; length <= 9000; length += (length < 300 ? 1 : 37 + length / 16)) {
      const uint32_t expected = bitwiseCrc32(data, offset, length);
      for (const auto& [name, crc32] : crc32Implementations()) {
        ASSERT_EQ(crc32(0, data.data() + offset, length), expected)
            << name << " offset " << offset << " length " << length;
      }
    }
  }
  const std::string big = randomBytes(4096, 11);
  // Q32 takes only the first kilobyte, in pieces of any size.
  EXPECT_EQ(Q32::of(data.data(), 100), bitwiseCrc32(data, 0, 100));
  EXPECT_EQ(Q32::of(big.data(), 0), 0u);
  Q32 q32;
  EXPECT_EQ(q32.update(big.data(), 1000), 1000u);
  EXPECT_FALSE(q32.complete());
  EXPECT_EQ(q32.update(big.data() + 1000, 1000) + q32.update(nullptr, 10), 24u);
  EXPECT_TRUE(q32.complete());
  EXPECT_EQ(q32.value(), bitwiseCrc32(big, 0, kQ32Bytes));
}

TEST(Md5Test, Rfc1321SuitePaddingBoundariesAndHexText) {
  const std::pair<std::string, const char*> cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
      {std::string(55, 'a'), "ef1772b6dff9a122358552954ad0df65"},
      {std::string(56, 'a'), "3b0c8ac703f828b04c6c197006d17218"},
      {std::string(64, 'a'), "014842d480b571495a4a0363793f7367"},
      {std::string(1000000, 'a'), "7707d6ae4e027c70eea2a935c2296f21"},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(md5Text(Md5::of(text.data(), text.size())), expected) << text.size() << " bytes";
  }
  // Any split gives the same digest, and finish starts over.
  const std::string data = randomBytes(300, 5);
  const Md5Digest whole = Md5::of(data.data(), data.size());
  Md5 md5;
  for (size_t split = 0; split <= data.size(); ++split) {
    md5.update(data.data(), split);
    md5.update(nullptr, 0);
    md5.update(data.data() + split, data.size() - split);
    ASSERT_EQ(md5.finish(), whole) << split;
  }
  EXPECT_EQ(md5.finish(), Md5::of(nullptr, 0));

  // Digests as hex text and back, from hostile texts too.
  const Md5Digest digest = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef,
                            0xfe, 0xdc, 0xba, 0x98, 0x76, 0x54, 0x32, 0x10};
  EXPECT_EQ(md5Text(digest), "0123456789abcdeffedcba9876543210");
  EXPECT_EQ(textToMd5(u"0123456789ABCDEFfedcba9876543210 and more"), digest);
  md5ToText(Md5Digest{}, nullptr);
  EXPECT_EQ(textToMd5(u"abc"), (Md5Digest{0xab, 0xc0}));
  EXPECT_EQ(textToMd5(u"zz1g"), (Md5Digest{0x00, 0x10}));
  EXPECT_EQ(textToMd5(u""), Md5Digest{});
  EXPECT_EQ(textToMd5(nullptr), Md5Digest{});
}

// A request whose results hold junk, so that every field is seen to be written.
ChecksumRequest junkRequest(uint32_t mask) {
  ChecksumRequest r{7, mask, 0xDEAD, 0xBEEF, {}};
  r.md5.fill(0xAA);
  return r;
}

class ComputeChecksumsTest : public ::testing::Test {
 protected:
  std::u16string write(const std::string& name, const std::string& content) {
    std::ofstream(dir_.host(name), std::ios::binary) << content;
    return dir_.drive(std::u16string(name.begin(), name.end()));
  }

  TempDir dir_;
};

TEST_F(ComputeChecksumsTest, EveryMaskOnFilesOfEverySize) {
  const std::pair<std::string, std::string> files[] = {
      {"empty", ""}, {"five.bin", randomBytes(5000, 2)}, {"large.bin", randomBytes(300000, 1)}};
  for (const auto& [name, content] : files) {
    const std::u16string path = write(name, content);
    const uint32_t crc32 = bitwiseCrc32(content), q32 = bitwiseCrc32(content, 0, kQ32Bytes);
    for (uint32_t mask = 1; mask <= 7; ++mask) {
      SCOPED_TRACE(name + " mask " + std::to_string(mask));
      ChecksumRequest r = junkRequest(mask);
      ASSERT_EQ(computeChecksums(&r, path.c_str()), 0);
      EXPECT_EQ(r.status, 1u);
      EXPECT_EQ(r.mask, mask);
      EXPECT_EQ(r.crc32, (mask & kChecksumCrc32) != 0 ? crc32 : 0u);
      EXPECT_EQ(r.q32, (mask & kChecksumQ32) != 0 ? q32 : 0u);
      EXPECT_EQ(r.md5, Md5::of(content.data(), (mask & kChecksumMd5) != 0 ? content.size() : 0));
    }
  }
}

// A read that fails part-way ends the reading like the end of the file: status 1, result 0, the
// checksums of the part read before the failure. A file that cannot be opened clears the results;
// mask 0 never opens the file.
TEST_F(ComputeChecksumsTest, AReadErrorKeepsWhatWasReadAndFailuresToOpenClearTheResults) {
  const std::string content = randomBytes(300000, 6);
  const std::u16string path = write("large.bin", content);
  ChecksumRequest r = junkRequest(kChecksumCrc32 | kChecksumMd5);
  platform::testing::injectFault(platform::testing::Fault::kFileRead, 5, 2);
  TraceCapture traces;
  EXPECT_EQ(computeChecksums(&r, path.c_str()), 0);
  platform::testing::clearFaults();
  EXPECT_EQ(r.status, 1u);
  EXPECT_TRUE(traces.contains("::computeChecksums - read failed. Error 5\n"));
  size_t read = 0;
  for (uint32_t crc = 0; read < content.size() && crc != r.crc32; ++read) {
    crc = crc32UpdateTables(crc, &content[read], 1);
  }
  EXPECT_GT(read, 0u);
  EXPECT_LT(read, content.size());
  EXPECT_EQ(r.md5, Md5::of(content.data(), read));

  r = junkRequest(0);
  EXPECT_EQ(computeChecksums(&r, dir_.drive(u"absent").c_str()), 0);
  EXPECT_EQ(r.status, 1u);
  std::vector<std::u16string> refused = {dir_.drive(u"absent"), dir_.drive()};
#ifndef _WIN32  // a fifo without a writer (a read would block), devices, a file of /proc
  ASSERT_EQ(mkfifo(dir_.host("fifo").c_str(), 0600), 0);
  std::filesystem::create_symlink(dir_.host("fifo"), dir_.host("link-to-fifo"));
  refused.insert(refused.end(), {dir_.drive(u"fifo"), dir_.drive(u"link-to-fifo"), u"V:\\zero",
                                 u"V:\\urandom", u"P:\\self\\mem"});
#endif
  for (const std::u16string& path : refused) {
    for (uint32_t mask : {kChecksumQ32, kChecksumCrc32 | kChecksumMd5}) {
      r = junkRequest(mask);
      EXPECT_EQ(computeChecksums(&r, path.c_str()), -1) << narrow(path);
      EXPECT_EQ(r.status | r.crc32 | r.q32, 0u);
      EXPECT_EQ(r.md5, Md5Digest{});
    }
  }
  EXPECT_TRUE(traces.containsText("::computeChecksums - cannot open '"));
  EXPECT_EQ(computeChecksums(&r, nullptr), -1);
  EXPECT_EQ(computeChecksums(nullptr, u"C:\\x"), -1);
}

TEST(ChecksumFilterTest, MatchesAnyWantedValueOfAnAskedKind) {
  const Md5Digest wanted = {1, 2, 3};
  const Md5Digest other = {1, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  const ChecksumFilter filter{{10, 20}, {30}, {wanted}, 1};
  constexpr uint32_t kAll = kChecksumCrc32 | kChecksumQ32 | kChecksumMd5;
  EXPECT_FALSE(filter.match({1, 0, 20, 30, wanted})) << "nothing asked for";
  EXPECT_TRUE(filter.match({1, kChecksumCrc32, 20, 0, other}));
  EXPECT_TRUE(filter.match({1, kChecksumQ32, 99, 30, other}));
  EXPECT_TRUE(filter.match({1, kChecksumMd5, 99, 0, wanted}));
  EXPECT_TRUE(filter.match({1, kChecksumCrc32 | kChecksumQ32, 99, 30, other}));
  EXPECT_FALSE(filter.match({1, kAll, 99, 31, other})) << "digests compare byte for byte";
  EXPECT_TRUE(filter.match({0, kAll, 10, 30, wanted})) << "the status plays no part";
  EXPECT_FALSE(ChecksumFilter{}.match(ChecksumRequest{1, kAll, 10, 30, wanted}));
}

}  // namespace
