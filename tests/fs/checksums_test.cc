// computeChecksums over real files (every mask, failures, files that must never be read), the
// MD5 text form and the checksum filter.
#include "fs/checksums.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "fs/crc32.h"
#include "platform/platform.h"
#include "support/temp_dir.h"
#include "support/trace_capture.h"
#include "test_drives.h"

#ifndef _WIN32
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#endif

namespace {

std::string md5Text(const Md5Digest& digest) {
  char16_t text[kMd5TextCapacity];
  md5ToText(digest, text);
  return std::string(text, text + 32);
}

class ComputeChecksumsTest : public ::testing::Test {
 protected:
  std::u16string write(const std::string& name, const std::string& content) {
    std::ofstream(dir_.host(name), std::ios::binary) << content;
    return dir_.drive(std::u16string(name.begin(), name.end()));
  }

  // A request whose results hold junk, so that every field is seen to be written.
  static ChecksumRequest request(uint32_t mask) {
    ChecksumRequest r;
    r.status = 7;
    r.mask = mask;
    r.crc32 = 0xDEAD;
    r.q32 = 0xBEEF;
    r.md5.fill(0xAA);
    return r;
  }

  TempDir dir_;
};

TEST_F(ComputeChecksumsTest, EmptyFile) {
  const std::u16string path = write("empty", "");
  ChecksumRequest r = request(kChecksumCrc32 | kChecksumQ32 | kChecksumMd5);
  EXPECT_EQ(computeChecksums(&r, path.c_str()), 0);
  EXPECT_EQ(r.status, 1u);
  EXPECT_EQ(r.crc32, 0u);
  EXPECT_EQ(r.q32, 0u);
  EXPECT_EQ(md5Text(r.md5), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST_F(ComputeChecksumsTest, EveryMaskOnAFileLargerThanOneReadChunk) {
  std::mt19937 rng(1);
  std::string content(300000, '\0');
  for (char& c : content) c = static_cast<char>(rng());
  const std::u16string path = write("data.bin", content);
  const uint32_t crc32 = crc32UpdateTables(0, content.data(), content.size());
  const uint32_t q32 = crc32UpdateTables(0, content.data(), 1024);
  const Md5Digest md5 = Md5::of(content.data(), content.size());
  const Md5Digest md5OfNothing = Md5::of(nullptr, 0);

  for (uint32_t mask = 1; mask <= 7; ++mask) {
    SCOPED_TRACE(mask);
    ChecksumRequest r = request(mask);
    ASSERT_EQ(computeChecksums(&r, path.c_str()), 0);
    EXPECT_EQ(r.status, 1u);
    EXPECT_EQ(r.mask, mask);
    EXPECT_EQ(r.crc32, (mask & kChecksumCrc32) != 0 ? crc32 : 0u);
    EXPECT_EQ(r.q32, (mask & kChecksumQ32) != 0 ? q32 : 0u);
    EXPECT_EQ(r.md5, (mask & kChecksumMd5) != 0 ? md5 : md5OfNothing);
  }
}

TEST_F(ComputeChecksumsTest, FiveThousandBytesAndTheNarrowPath) {
  std::string content(5000, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + 3);
  const std::u16string path = write("five.bin", content);
  std::string narrow;
  ASSERT_TRUE(platform::wideToNarrow(path.c_str(), &narrow));

  ChecksumRequest r = request(kChecksumCrc32 | kChecksumQ32);
  ASSERT_EQ(computeChecksums(&r, narrow.c_str()), 0);
  EXPECT_EQ(r.q32, crc32UpdateTables(0, content.data(), 1024));
  EXPECT_EQ(r.crc32, crc32UpdateTables(0, content.data(), 5000));

  const std::u16string text = write("digits.txt", "123456789");
  r = request(kChecksumCrc32 | kChecksumQ32);
  ASSERT_EQ(computeChecksums(&r, text.c_str()), 0);
  EXPECT_EQ(r.crc32, 0xCBF43926u);
  EXPECT_EQ(r.q32, 0xCBF43926u);
}

TEST_F(ComputeChecksumsTest, MaskZeroNeverOpensAndFailuresClearTheResults) {
  ChecksumRequest r = request(0);
  EXPECT_EQ(computeChecksums(&r, dir_.drive(u"absent").c_str()), 0);
  EXPECT_EQ(r.status, 1u);

  TraceCapture traces;
  for (const std::u16string& path : {dir_.drive(u"absent"), dir_.drive()}) {
    r = request(kChecksumMd5);
    EXPECT_EQ(computeChecksums(&r, path.c_str()), -1);
    EXPECT_EQ(r.status, 0u);
    EXPECT_EQ(r.crc32, 0u);
    EXPECT_EQ(r.q32, 0u);
    EXPECT_EQ(r.md5, Md5Digest{});
  }
  EXPECT_TRUE(traces.containsText("::computeChecksums - cannot read '"));
  r = request(kChecksumCrc32);
  EXPECT_EQ(computeChecksums(&r, static_cast<const char*>(nullptr)), -1);
  EXPECT_EQ(computeChecksums(&r, static_cast<const char16_t*>(nullptr)), -1);
  EXPECT_EQ(computeChecksums(nullptr, u"C:\\x"), -1);
}

#ifndef _WIN32
TEST_F(ComputeChecksumsTest, FifosSocketsAndDevicesAreNeverRead) {
  REQUIRE_TEST_DRIVES();
  ASSERT_EQ(mkfifo(dir_.host("fifo").c_str(), 0600), 0);  // no writer: a read would block
  const int server = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socketPath = dir_.host("socket").string();
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  std::strcpy(address.sun_path, socketPath.c_str());
  ASSERT_EQ(bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  std::filesystem::create_symlink(dir_.host("fifo"), dir_.host("link-to-fifo"));

  for (const std::u16string& path :
       {dir_.drive(u"fifo"), dir_.drive(u"socket"), dir_.drive(u"link-to-fifo"),
        std::u16string(u"V:\\zero"), std::u16string(u"V:\\urandom")}) {
    ChecksumRequest r = request(kChecksumCrc32 | kChecksumMd5);
    EXPECT_EQ(computeChecksums(&r, path.c_str()), -1);
    EXPECT_EQ(r.status, 0u);
  }
  close(server);
}

TEST_F(ComputeChecksumsTest, AReadErrorPartWayIsAFailureNotAChecksum) {
  REQUIRE_TEST_DRIVES();
  // A regular file by its type whose reading fails with EIO.
  for (uint32_t mask : {kChecksumQ32, kChecksumCrc32 | kChecksumMd5}) {
    ChecksumRequest r = request(mask);
    EXPECT_EQ(computeChecksums(&r, u"P:\\self\\mem"), -1);
    EXPECT_EQ(r.status, 0u);
    EXPECT_EQ(r.crc32, 0u);
    EXPECT_EQ(r.md5, Md5Digest{});
  }
}
#endif

TEST(Md5TextTest, TextFormAndBack) {
  EXPECT_EQ(md5Text(Md5::of(nullptr, 0)), "d41d8cd98f00b204e9800998ecf8427e");
  std::mt19937 rng(4);
  for (int round = 0; round < 200; ++round) {
    Md5Digest digest;
    for (uint8_t& b : digest) b = static_cast<uint8_t>(rng());
    char16_t text[kMd5TextCapacity];
    md5ToText(digest, text);
    ASSERT_EQ(text[32], u'\0');
    ASSERT_EQ(textToMd5(text), digest);
  }
  md5ToText(Md5Digest{}, nullptr);
}

TEST(Md5TextTest, ParsesUpperCaseShortAndHostileTexts) {
  const Md5Digest expected = {0xd4, 0x1d, 0x8c, 0xd9, 0x8f, 0x00, 0xb2, 0x04,
                              0xe9, 0x80, 0x09, 0x98, 0xec, 0xf8, 0x42, 0x7e};
  EXPECT_EQ(textToMd5(u"D41D8CD98F00B204E9800998ECF8427E"), expected);
  EXPECT_EQ(textToMd5(u"d41d8cd98f00b204e9800998ecf8427e and more"), expected);
  EXPECT_EQ(textToMd5(u"a"), (Md5Digest{0xa0}));
  EXPECT_EQ(textToMd5(u"abc"), (Md5Digest{0xab, 0xc0}));
  EXPECT_EQ(textToMd5(u"0"), Md5Digest{});
  EXPECT_EQ(textToMd5(u""), Md5Digest{});
  EXPECT_EQ(textToMd5(nullptr), Md5Digest{});
  EXPECT_EQ(textToMd5(u"zz1g"), (Md5Digest{0x00, 0x10}));
}

TEST(ChecksumFilterTest, MatchesAnyWantedValueOfAnAskedKind) {
  ChecksumFilter filter;
  EXPECT_TRUE(filter.isEmpty());
  filter.active = 1;
  EXPECT_FALSE(filter.isEmpty());
  filter.crc32Values = {10, 20};
  filter.q32Values = {30};
  filter.md5Values = {Md5Digest{1, 2, 3}};

  ChecksumRequest r;
  r.status = 1;
  r.crc32 = 20;
  r.q32 = 30;
  r.md5 = Md5Digest{1, 2, 3};
  EXPECT_FALSE(filter.match(r)) << "mask 0 never matches";
  for (uint32_t mask : {kChecksumCrc32, kChecksumQ32, kChecksumMd5}) {
    r.mask = mask;
    EXPECT_TRUE(filter.match(r)) << mask;
  }

  r.crc32 = 99;
  r.mask = kChecksumQ32;
  EXPECT_TRUE(filter.match(r)) << "q32 alone decides";
  r.mask = kChecksumCrc32 | kChecksumQ32;
  EXPECT_TRUE(filter.match(r));
  r.q32 = 31;
  EXPECT_FALSE(filter.match(r));
  r.mask = kChecksumMd5;
  r.md5[15] = 1;
  EXPECT_FALSE(filter.match(r)) << "digests compare byte for byte";

  r.mask = kChecksumCrc32 | kChecksumQ32 | kChecksumMd5;
  r.crc32 = 10;
  r.status = 0;
  EXPECT_FALSE(filter.match(r)) << "a file that could not be read never matches";

  ChecksumFilter noLists;
  r.status = 1;
  EXPECT_FALSE(noLists.match(r));
}

}  // namespace
