// A host builds the checksum filter of its option block from the public headers alone.
#include <gtest/gtest.h>

#include "FsConfig.h"

namespace {

TEST(HostChecksumFilterTest, BuildsFromThePublicHeadersAlone) {
  ChecksumFilter filter;
  EXPECT_TRUE(filter.isEmpty());
  filter.crc32Values = {0xCBF43926u};
  filter.md5Values = {Md5Digest{0xd4, 0x1d, 0x8c, 0xd9}};
  filter.active = 1;
  FsCacheOptions options;
  options.checksumFilter = &filter;
  EXPECT_FALSE(options.checksumFilter->isEmpty());
}

}  // namespace
