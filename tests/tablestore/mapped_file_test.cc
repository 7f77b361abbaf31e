#include "tablestore/mapped_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "platform/platform_testing.h"
#include "support/temp_dir.h"

namespace {

class MappedFileTest : public ::testing::Test {
 protected:
  void TearDown() override { platform::testing::clearFaults(); }

  std::unique_ptr<StorageFile> makeFile(const std::u16string& name = u"table.dat") {
    return newMappedFile(dir_.drive(name).c_str());
  }
  uint64_t diskSize(const std::string& name = "table.dat") {
    return std::filesystem::file_size(dir_.host(name));
  }
  static std::vector<uint8_t> pattern(size_t count, uint8_t seed) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7);
    return bytes;
  }

  TempDir dir_;
};

TEST_F(MappedFileTest, FactoryRefusesNullPathAndUnnamedObjectsNeverOpen) {
  EXPECT_EQ(newMappedFile(nullptr), nullptr);
  MappedFile unnamed(nullptr);
  EXPECT_FALSE(unnamed.create());
  EXPECT_FALSE(unnamed.open());
  EXPECT_FALSE(unnamed.close());
}

TEST_F(MappedFileTest, GrowsInWholeStepsAndIsCutBackToItsDataOnClose) {
  auto file = makeFile();
  ASSERT_TRUE(file->create());
  uint32_t size = 99;
  ASSERT_TRUE(file->getSize(&size));
  EXPECT_EQ(size, 0u);

  const uint32_t word = 0x11223344;
  EXPECT_EQ(file->write(&word, 4), 4u);
  ASSERT_TRUE(file->getSize(&size));
  EXPECT_EQ(size, 32768u);
  EXPECT_EQ(file->tell(), 4u);

  ASSERT_TRUE(file->close());
  EXPECT_EQ(diskSize(), 4u);
  EXPECT_FALSE(file->close());

  ASSERT_TRUE(file->open());
  uint32_t back = 0;
  EXPECT_EQ(file->read(&back, 4), 4u);
  EXPECT_EQ(back, word);
  ASSERT_TRUE(file->close());
}

TEST_F(MappedFileTest, LargeWriteAtAFullCapacityAddsTheNextStepAbove) {
  auto file = makeFile();
  ASSERT_TRUE(file->create());
  std::vector<uint8_t> first = pattern(32768, 1);
  ASSERT_EQ(file->write(first.data(), 1), 1u);
  ASSERT_EQ(file->write(first.data() + 1, 32767), 32767u);  // fills the capacity exactly
  uint32_t size = 0;
  ASSERT_TRUE(file->getSize(&size));
  ASSERT_EQ(size, 32768u);

  std::vector<uint8_t> second = pattern(40000, 9);
  ASSERT_EQ(file->write(second.data(), 40000), 40000u);
  ASSERT_TRUE(file->getSize(&size));
  EXPECT_EQ(size, 32768u + 65536u);

  ASSERT_TRUE(file->seek(0, SEEK_FROM_START));
  std::vector<uint8_t> all(72768);
  ASSERT_EQ(file->read(all.data(), 72768), 72768u);
  EXPECT_TRUE(std::equal(first.begin(), first.end(), all.begin()));
  EXPECT_TRUE(std::equal(second.begin(), second.end(), all.begin() + 32768));
  ASSERT_TRUE(file->close());
  EXPECT_EQ(diskSize(), 72768u);
}

TEST_F(MappedFileTest, EmptyFileOpensUnmappedAndTheFirstWriteMapsIt) {
  std::ofstream(dir_.host("table.dat")).close();
  auto file = makeFile();
  ASSERT_TRUE(file->open());
  uint8_t byte = 0;
  EXPECT_EQ(file->read(&byte, 1), 0u);
  EXPECT_TRUE(file->eof());
  EXPECT_EQ(file->write("abc", 3), 3u);
  uint32_t size = 0;
  ASSERT_TRUE(file->getSize(&size));
  EXPECT_EQ(size, 32768u);
  ASSERT_TRUE(file->close());
  EXPECT_EQ(diskSize(), 3u);
}

TEST_F(MappedFileTest, GrowthFromAnyLengthKeepsEveryByte) {
  // An odd length on disk, so that the first growth starts inside a page.
  std::vector<uint8_t> start = pattern(1001, 4);
  {
    std::ofstream out(dir_.host("table.dat"), std::ios::binary);
    out.write(reinterpret_cast<const char*>(start.data()), 1001);
  }
  auto file = makeFile();
  ASSERT_TRUE(file->open());
  ASSERT_TRUE(file->seek(0, SEEK_FROM_END));
  std::vector<uint8_t> expected = start;
  // Chunk sizes that cross pages and growth steps in every way.
  for (uint32_t count : {1u, 3095u, 4096u, 32767u, 32768u, 40000u, 7u, 100000u, 65536u}) {
    std::vector<uint8_t> chunk = pattern(count, static_cast<uint8_t>(count));
    ASSERT_EQ(file->write(chunk.data(), count), count);
    expected.insert(expected.end(), chunk.begin(), chunk.end());
  }
  uint32_t size = static_cast<uint32_t>(expected.size());
  std::vector<uint8_t> back(size);
  ASSERT_TRUE(file->seek(0, SEEK_FROM_START));
  ASSERT_EQ(file->read(back.data(), size), size);
  EXPECT_EQ(back, expected);
  ASSERT_TRUE(file->close());

  ASSERT_EQ(diskSize(), size);
  std::ifstream in(dir_.host("table.dat"), std::ios::binary);
  std::vector<uint8_t> disk((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(disk, expected);
}

TEST_F(MappedFileTest, ReadsStopAtTheLogicalEndAndReportIt) {
  auto file = makeFile();
  ASSERT_TRUE(file->create());
  std::vector<uint8_t> data = pattern(10, 3);
  ASSERT_EQ(file->write(data.data(), 10), 10u);

  uint8_t buffer[16] = {};
  EXPECT_EQ(file->read(buffer, 4), 0u);  // at the end after the write
  EXPECT_TRUE(file->eof());
  ASSERT_TRUE(file->seek(6, SEEK_FROM_START));
  EXPECT_EQ(file->read(buffer, 8), 4u);  // short read: only the data, never the spare tail
  EXPECT_TRUE(file->eof());
  EXPECT_EQ(file->tell(), 10u);
  ASSERT_TRUE(file->seek(0, SEEK_FROM_START));
  EXPECT_EQ(file->read(buffer, 10), 10u);
  EXPECT_FALSE(file->eof());
  EXPECT_TRUE(std::equal(data.begin(), data.end(), buffer));
}

TEST_F(MappedFileTest, SeeksNeverPassTheEnd) {
  auto file = makeFile();
  ASSERT_TRUE(file->create());
  std::vector<uint8_t> data = pattern(20, 0);
  ASSERT_EQ(file->write(data.data(), 20), 20u);

  EXPECT_TRUE(file->seek(0, SEEK_FROM_END));
  EXPECT_EQ(file->tell(), 20u);
  EXPECT_TRUE(file->seek(-4, SEEK_FROM_END));
  EXPECT_EQ(file->tell(), 16u);
  EXPECT_FALSE(file->seek(1, SEEK_FROM_END));
  EXPECT_FALSE(file->seek(-21, SEEK_FROM_END));
  EXPECT_FALSE(file->seek(-1, SEEK_FROM_START));
  EXPECT_FALSE(file->seek(21, SEEK_FROM_START));
  EXPECT_FALSE(file->seek(-17, SEEK_FROM_CURRENT));
  EXPECT_FALSE(file->seek(5, SEEK_FROM_CURRENT));
  EXPECT_FALSE(file->seek(0, 0));
  EXPECT_FALSE(file->seek(0, 4));
  EXPECT_EQ(file->tell(), 16u);  // every refused seek left the position alone
  EXPECT_TRUE(file->seek(-16, SEEK_FROM_CURRENT));
  EXPECT_EQ(file->tell(), 0u);
  EXPECT_TRUE(file->seek(20, SEEK_FROM_START));
}

TEST_F(MappedFileTest, WritesInsideTheDataOverwriteAndWritesAcrossTheEndExtend) {
  auto file = makeFile();
  ASSERT_TRUE(file->create());
  ASSERT_EQ(file->write("0123456789", 10), 10u);
  ASSERT_TRUE(file->seek(2, SEEK_FROM_START));
  ASSERT_EQ(file->write("ab", 2), 2u);
  ASSERT_TRUE(file->seek(0, SEEK_FROM_END));
  EXPECT_EQ(file->tell(), 10u);  // logical size unchanged

  ASSERT_TRUE(file->seek(8, SEEK_FROM_START));
  ASSERT_EQ(file->write("XYZW", 4), 4u);
  ASSERT_TRUE(file->seek(0, SEEK_FROM_END));
  EXPECT_EQ(file->tell(), 12u);  // position + count
  ASSERT_TRUE(file->close());

  std::ifstream in(dir_.host("table.dat"), std::ios::binary);
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content, "01ab4567XYZW");
}

TEST_F(MappedFileTest, CreateEmptiesAnExistingFileAndOpenObjectsRefuseToReopen) {
  {
    std::ofstream out(dir_.host("table.dat"), std::ios::binary);
    out << "old content";
  }
  auto file = makeFile();
  ASSERT_TRUE(file->create());
  EXPECT_FALSE(file->create());
  EXPECT_FALSE(file->open());
  ASSERT_TRUE(file->close());
  EXPECT_EQ(diskSize(), 0u);
  ASSERT_TRUE(file->open());
  EXPECT_FALSE(file->open());
  EXPECT_FALSE(file->create());
}

TEST_F(MappedFileTest, MissingFilesAndDirectoriesFailCleanly) {
  EXPECT_FALSE(makeFile(u"absent.dat")->open());
  EXPECT_FALSE(makeFile(u"no-such-dir\\table.dat")->create());
  std::u16string longName(300, u'n');
  EXPECT_FALSE(makeFile(longName)->create());

  auto closed = makeFile();
  uint8_t byte = 1;
  uint32_t size = 0;
  EXPECT_EQ(closed->write(&byte, 1), 0u);
  EXPECT_EQ(closed->read(&byte, 1), 0u);
  EXPECT_FALSE(closed->getSize(&size));
}

TEST_F(MappedFileTest, FailedGrowthKeepsTheDataAndState) {
  using platform::testing::Fault;
  for (Fault point : {Fault::kFileSetSize, Fault::kFileMap}) {
    auto file = makeFile();
    ASSERT_TRUE(file->create());
    std::vector<uint8_t> data = pattern(32768, 5);
    ASSERT_EQ(file->write(data.data(), 32768), 32768u);  // capacity 65536
    ASSERT_EQ(file->write(data.data(), 32768), 32768u);  // fills it exactly

    platform::testing::injectFault(point, platform::kErrorDiskFull);
    EXPECT_EQ(file->write("x", 1), 0u);
    EXPECT_EQ(file->tell(), 65536u);
    ASSERT_TRUE(file->seek(0, SEEK_FROM_END));
    EXPECT_EQ(file->tell(), 65536u);

    ASSERT_TRUE(file->seek(32768, SEEK_FROM_START));
    std::vector<uint8_t> back(32768);
    ASSERT_EQ(file->read(back.data(), 32768), 32768u);
    EXPECT_EQ(back, data);

    EXPECT_EQ(file->write("y", 1), 1u);  // the next growth works again
    ASSERT_TRUE(file->close());
    EXPECT_EQ(diskSize(), 65537u);
  }
}

TEST_F(MappedFileTest, ASecondHolderKeepsTheFileFromBeingCut) {
  auto writer = makeFile();
  ASSERT_TRUE(writer->create());
  std::vector<uint8_t> data = pattern(1000, 2);
  ASSERT_EQ(writer->write(data.data(), 1000), 1000u);
  ASSERT_TRUE(writer->close());

  auto reader = makeFile();
  ASSERT_TRUE(reader->open());
  ASSERT_TRUE(writer->open());
  ASSERT_TRUE(writer->seek(0, SEEK_FROM_END));
  ASSERT_EQ(writer->write(data.data(), 100), 100u);  // grows to 1000 + 32768 on disk
  ASSERT_TRUE(writer->close());
  EXPECT_EQ(diskSize(), 1000u + 32768u);  // not cut under the reader

  std::vector<uint8_t> back(1000);
  ASSERT_EQ(reader->read(back.data(), 1000), 1000u);
  EXPECT_EQ(back, data);
  ASSERT_TRUE(reader->close());
}

}  // namespace
