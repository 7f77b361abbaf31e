#include "tablestore/mapped_file.h"

#include <fstream>
#include <string>

#include "table_fixture.h"

namespace {

using platform::testing::Fault;

class MappedFileTest : public TableFixture {
 protected:
  std::unique_ptr<StorageFile> makeFile(const std::u16string& name = u"table.dat") {
    return newMappedFile(dir_.drive(name).c_str());
  }
  static Bytes pattern(size_t count, uint8_t seed) {
    Bytes bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7);
    return bytes;
  }
  static uint32_t sizeOf(StorageFile* file) {
    uint32_t size = 0;
    EXPECT_TRUE(file->getSize(&size));
    return size;
  }
};

TEST_F(MappedFileTest, RefusalsMissingFilesAndAccessInsideTheData) {
  EXPECT_EQ(newMappedFile(nullptr), nullptr);
  MappedFile unnamed(nullptr);
  EXPECT_FALSE(unnamed.create() || unnamed.open() || unnamed.close());
  EXPECT_FALSE(makeFile(u"absent.dat")->open() || makeFile(u"no-such-dir\\table.dat")->create() ||
               makeFile(std::u16string(300, u'n'))->create());

  auto file = makeFile();  // not open: nothing is read, written or closed
  uint8_t byte = 1;
  uint32_t size = 0;
  EXPECT_FALSE(file->write(&byte, 1) || file->read(&byte, 1) || file->getSize(&size) ||
               file->close());

  // An open object refuses to be created or opened again.
  ASSERT_TRUE(file->create());
  EXPECT_FALSE(file->create() || file->open());
  ASSERT_TRUE(file->close());
  ASSERT_TRUE(file->open());
  EXPECT_FALSE(file->open() || file->create());

  // Reads, seeks and writes stay inside the data.
  ASSERT_EQ(file->write("0123456789", 10), 10u);
  uint8_t buffer[16] = {};
  EXPECT_EQ(file->read(buffer, 4), 0u);  // at the end after the write
  EXPECT_TRUE(file->eof());
  ASSERT_TRUE(file->seek(6, SEEK_FROM_START));
  EXPECT_EQ(file->read(buffer, 8), 4u);  // only the data, never the spare tail
  EXPECT_TRUE(file->eof());
  EXPECT_EQ(file->tell(), 10u);
  ASSERT_TRUE(file->seek(0, SEEK_FROM_START));
  EXPECT_EQ(file->read(buffer, 10), 10u);
  EXPECT_FALSE(file->eof());
  EXPECT_EQ(std::string(buffer, buffer + 10), "0123456789");

  EXPECT_TRUE(file->seek(-4, SEEK_FROM_END));
  EXPECT_EQ(file->tell(), 6u);
  // Before the start or past the end from each origin, and origins that do not exist.
  const int refused[][3] = {
      {SEEK_FROM_START, -1, 11}, {SEEK_FROM_CURRENT, -7, 5}, {SEEK_FROM_END, -11, 1}};
  for (const auto& [origin, before, past] : refused) {
    EXPECT_FALSE(file->seek(before, origin) || file->seek(past, origin)) << origin;
  }
  EXPECT_FALSE(file->seek(0, 0) || file->seek(0, 4));
  EXPECT_EQ(file->tell(), 6u);  // every refused seek left the position alone
  EXPECT_TRUE(file->seek(-6, SEEK_FROM_CURRENT));
  EXPECT_EQ(file->tell(), 0u);

  // Inside the data a write overwrites and keeps the size; across the end it extends it.
  ASSERT_TRUE(file->seek(2, SEEK_FROM_START) && file->write("ab", 2) == 2 &&
              file->seek(0, SEEK_FROM_END));
  EXPECT_EQ(file->tell(), 10u);
  ASSERT_TRUE(file->seek(8, SEEK_FROM_START) && file->write("XYZW", 4) == 4 &&
              file->seek(0, SEEK_FROM_END));
  EXPECT_EQ(file->tell(), 12u);
  ASSERT_TRUE(file->close());
  EXPECT_EQ(fileBytes("table.dat"),
            Bytes({'0', '1', 'a', 'b', '4', '5', '6', '7', 'X', 'Y', 'Z', 'W'}));
}

TEST_F(MappedFileTest, GrowsInWholeStepsKeepsEveryByteAndIsCutBackOnClose) {
  // An empty file opens unmapped; the first write maps it and grows it by one step.
  std::ofstream(dir_.host("table.dat")).close();
  auto file = makeFile();
  ASSERT_TRUE(file->open());
  EXPECT_EQ(sizeOf(file.get()), 0u);
  Bytes expected = pattern(1001, 4);
  ASSERT_EQ(file->write(expected.data(), 1001), 1001u);
  EXPECT_EQ(sizeOf(file.get()), 32768u);
  ASSERT_TRUE(file->close());
  EXPECT_EQ(fileBytes("table.dat"), expected);

  // From an odd length, chunks that cross pages and steps in every way. A write that fills the
  // capacity exactly does not grow it; a growth is the smallest multiple of 32 KiB above the
  // count (65,536 bytes add 98,304), and works again after a failed one.
  ASSERT_TRUE(file->open());
  ASSERT_TRUE(file->seek(0, SEEK_FROM_END));
  const std::pair<uint32_t, uint32_t> steps[] = {{1, 33769},      {32767, 33769},  {40000, 99305},
                                                 {3095, 99305},   {32768, 164841}, {100000, 295913},
                                                 {86281, 295913}, {65536, 394217}};
  for (const auto& [count, capacity] : steps) {
    const Bytes chunk = pattern(count, static_cast<uint8_t>(count));
    ASSERT_EQ(file->write(chunk.data(), count), count);
    expected.insert(expected.end(), chunk.begin(), chunk.end());
    EXPECT_EQ(sizeOf(file.get()), capacity) << count;
    EXPECT_EQ(file->tell(), expected.size());
    // A full file that fails to grow refuses the write and keeps its data, size and position.
    for (Fault point : {Fault::kFileSetSize, Fault::kFileMap}) {
      if (expected.size() != capacity) break;
      platform::testing::injectFault(point, platform::kErrorDiskFull);
      EXPECT_EQ(file->write("x", 1), 0u);
      ASSERT_TRUE(file->seek(0, SEEK_FROM_END));
      EXPECT_EQ(file->tell(), expected.size());
    }
  }
  const uint32_t size = static_cast<uint32_t>(expected.size());
  Bytes back(size);
  ASSERT_TRUE(file->seek(0, SEEK_FROM_START));
  ASSERT_EQ(file->read(back.data(), size), size);
  EXPECT_EQ(back, expected);
  ASSERT_TRUE(file->close());
  EXPECT_EQ(fileBytes("table.dat"), expected);
}

}  // namespace
