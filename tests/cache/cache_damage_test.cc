// The files of a cache damaged under a reader that holds its tables open, as a provider does
// between two queries: each file in turn truncated, extended, overwritten in places, or replaced
// by a directory or a FIFO. The reader's next look and extraction return (whatever they answer)
// and take nothing from the files; once the file is whole again, the same reader answers exactly.
#include "cache/fs_cache.h"
#include "cache_fixture.h"

namespace {

namespace fs = std::filesystem;

enum class Damage { kHalf, kEmpty, kExtended, kOverwritten, kDirectory, kFifo };

void damage(const fs::path& file, Damage kind) {
  if (kind == Damage::kDirectory || kind == Damage::kFifo) {
    fs::remove(file);
    ASSERT_TRUE(kind == Damage::kDirectory ? fs::create_directory(file) : makeFifo(file));
    return;
  }
  Bytes bytes = readBytes(file);
  if (kind == Damage::kHalf) bytes.resize(bytes.size() / 2);
  if (kind == Damage::kEmpty) bytes.clear();
  if (kind == Damage::kExtended) bytes.resize(bytes.size() + 70000, 0xA5);
  for (size_t at = 0; kind == Damage::kOverwritten && at < bytes.size(); at += 61) {
    bytes[at] ^= 0xFF;
  }
  ASSERT_TRUE(writeBytes(file, bytes));
}

TEST_F(CacheTest, DamagedFilesUnderAReaderNeverCrashItAndItAnswersExactlyOnceTheyAreWhole) {
  TempDir tree;
  fillTree(tree, 4, 5);
  Paths expected;
  builtCache(tree, &expected).reset();
  ASSERT_EQ(expected.size(), 20u);

  std::map<fs::path, Bytes> files;
  for (const auto& entry : fs::directory_iterator(home_.host())) {
    files[entry.path()] = readBytes(entry.path());
  }
  ASSERT_GE(files.size(), 14u);
  // A provider's cache: monitor mode, no update markers of its own.
  auto reader = std::make_unique<FS_Cache>(u"mon_dirs", u"mon_files", home_.drive().c_str(), true,
                                           false, false, nullptr);
  ASSERT_EQ(reader->create(0, FS_CACHE_OPEN), 0);
  for (const auto& [file, whole] : files) {
    for (Damage kind : {Damage::kHalf, Damage::kEmpty, Damage::kExtended, Damage::kOverwritten,
                        Damage::kDirectory, Damage::kFifo}) {
      SCOPED_TRACE(file.filename().string() + " damage " + std::to_string(static_cast<int>(kind)));
      damage(file, kind);
      readerAnswer(reader.get(), tree.drive());
      if (!fs::is_regular_file(file)) fs::remove(file);
      ASSERT_TRUE(writeBytes(file, whole));
      EXPECT_EQ(readerAnswer(reader.get(), tree.drive()), expected);
    }
  }
  reader.reset();
  for (const auto& [file, whole] : files) EXPECT_EQ(readBytes(file), whole) << file;
}

}  // namespace
