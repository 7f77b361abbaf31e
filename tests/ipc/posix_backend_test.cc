// The POSIX backend's own pieces: where named objects live (file names in /dev/shm, segments
// that others left or planted) and how a command line splits into words.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "ipc/ipc_support.h"
#include "platform/platform.h"
#include "platform/platform_testing.h"
#include "platform/posix/command_line.h"
#include "platform/posix/object_name.h"

namespace {

using platform::NamedEvent;
using platform::NamedMutex;
using platform::internal::namedObjectPath;
using platform::internal::splitCommandLine;
using Words = std::vector<std::u16string>;

std::string pathOf(const std::u16string& name) {
  std::string path;
  EXPECT_TRUE(namedObjectPath(name.c_str(), &path)) << "lastError " << platform::lastError();
  return path;
}

uint32_t errorOf(const char16_t* name) {
  std::string path;
  platform::setLastError(0);
  EXPECT_FALSE(namedObjectPath(name, &path));
  return platform::lastError();
}

std::string fileName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// Case-sensitive namespaces, plain names in Local; every other character escaped into distinct
// safe file names; over-long names hashed within one file name.
TEST(ObjectNameTest, NamesGiveDistinctSafeFileNames) {
  const std::string prefix = "/dev/shm/fscanner." + std::to_string(geteuid()) + ".";
  EXPECT_EQ(pathOf(u"Global\\x"), prefix + "G.x");
  EXPECT_EQ(pathOf(u"Local\\x"), prefix + "L.x");
  EXPECT_EQ(pathOf(u"x"), prefix + "L.x");
  for (const char16_t* name : {u"global\\x", u"LOCAL\\x", u"a\\b"}) {
    EXPECT_EQ(errorOf(name), platform::kErrorPathNotFound);
  }
  for (const char16_t* name :
       {u"Global\\a\\b", u"Global\\", u"", static_cast<const char16_t*>(nullptr)}) {
    EXPECT_EQ(errorOf(name), platform::kErrorInvalidName);
  }
  EXPECT_EQ(NamedMutex::create(nullptr), nullptr);
  EXPECT_TRUE(failedWith(NamedEvent::create(u"Global\\") != nullptr, platform::kErrorInvalidName));

  const std::u16string longName(5000, u'n'), otherEnd = longName.substr(1) + u"m";
  const std::u16string otherMiddle = longName.substr(0, 2500) + u"m" + longName.substr(2501);
  std::u16string wide;
  for (int i = 0; i < 300; ++i) wide += u"\U0001F600";
  const std::u16string names[] = {u"a/b",    u"..",     u".",        u"%0041", u"A",
                                  u"a",      u"a b",    u"a\tb",     u"~",     u"\u00fc",
                                  u"\xD800", u"\xDC00", u"a%",       u"\x01",  u"C:_cache_",
                                  longName,  otherEnd,  otherMiddle, wide};
  std::set<std::string> seen;
  for (const std::u16string& name : names) {
    const std::string file = fileName(pathOf(u"Local\\" + name));
    EXPECT_TRUE(seen.insert(file).second) << file;
    EXPECT_LE(file.size(), 255u);
    EXPECT_EQ(file.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                     "0123456789._%-~"),
              std::string::npos)
        << file;
  }
  EXPECT_EQ(pathOf(u"Global\\" + longName), pathOf(u"Global\\" + longName));
}

// The segment exists, private to the user, exactly while a handle is open; whatever lies at the
// name when no process holds the object is replaced by a fresh object, except planted links and
// other users' files, which are refused.
TEST(ObjectNameTest, SegmentsLiveWhileHeldAndLeftoversAreReset) {
  const std::u16string name = ipc_test::uniqueName(u"segment");
  const std::string path = pathOf(name);
  {
    std::unique_ptr<NamedMutex> first = NamedMutex::create(name.c_str());
    std::unique_ptr<NamedMutex> second = NamedMutex::create(name.c_str());
    ASSERT_TRUE(first != nullptr && second != nullptr);
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_EQ(info.st_uid, geteuid());
    first.reset();
    EXPECT_TRUE(std::filesystem::exists(path));
  }
  EXPECT_FALSE(std::filesystem::exists(path));

  std::ofstream(path, std::ios::binary) << std::string(7, '\xff');
  chmod(path.c_str(), 0600);
  std::unique_ptr<NamedMutex> mutex = NamedMutex::create(name.c_str());
  ASSERT_TRUE(mutex != nullptr && mutex->wait(0) == platform::WaitResult::kSignaled);
  EXPECT_TRUE(mutex->release());
  mutex.reset();
  EXPECT_FALSE(std::filesystem::exists(path));

  // Injected faults fail creation like the system would.
  using platform::testing::Fault;
  const auto eventFails = [&](uint32_t error) {
    return failedWith(NamedEvent::create(name.c_str()) != nullptr, error);
  };
  platform::testing::injectFault(Fault::kMutexCreate, platform::kErrorAccessDenied);
  EXPECT_TRUE(
      failedWith(NamedMutex::create(name.c_str()) != nullptr, platform::kErrorAccessDenied));
  EXPECT_NE(NamedMutex::create(name.c_str()), nullptr);
  platform::testing::injectFault(Fault::kEventCreate, platform::kErrorNotEnoughMemory, 2);
  EXPECT_NE(NamedEvent::create(name.c_str()), nullptr);
  EXPECT_TRUE(eventFails(platform::kErrorNotEnoughMemory));
  platform::testing::clearFaults();

  ASSERT_EQ(symlink("/dev/null", path.c_str()), 0);
  EXPECT_TRUE(eventFails(platform::kErrorAccessDenied));
  unlink(path.c_str());
  if (geteuid() != 0) GTEST_SKIP() << "a segment of another user needs root to plant";
  { std::ofstream other(path, std::ios::binary); }
  ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
  EXPECT_TRUE(eventFails(platform::kErrorAccessDenied));
  unlink(path.c_str());
}

// The documented examples of CommandLineToArgvW after an image word, the image word's own rules,
// blanks, empty words and open quotes.
TEST(CommandLineTest, SplitsByTheWin32Rules) {
  const std::pair<const char16_t*, Words> cases[] = {
      {uR"(prog "abc" d e)", {u"prog", u"abc", u"d", u"e"}},
      {uR"(prog a\\b d"e f"g h)", {u"prog", uR"(a\\b)", u"de fg", u"h"}},
      {uR"(prog a\\\"b c d)", {u"prog", uR"(a\"b)", u"c", u"d"}},
      {uR"(prog a\\\\"b c" d e)", {u"prog", uR"(a\\b c)", u"d", u"e"}},
      // Two quotes inside a quoted part give a literal quote and end the quoted part.
      {uR"(prog a"b"" c d)", {u"prog", uR"(ab")", u"c", u"d"}},
      // The image word takes backslashes literally; a quote closes a quoted image.
      {uR"("C:\Program Files\fsmon.exe" start)", {uR"(C:\Program Files\fsmon.exe)", u"start"}},
      {uR"("C:\tools\"next)", {uR"(C:\tools\)", u"next"}},
      {uR"(C:\a\"b c)", {uR"(C:\a\"b)", u"c"}},
      {uR"("unclosed image a b)", {u"unclosed image a b"}},
      {u" \t ", {}},
      {u"  prog\ta  \t b  ", {u"prog", u"a", u"b"}},
      {uR"(prog "" x "")", {u"prog", u"", u"x", u""}},
      {uR"(prog "open quote  runs to the end)", {u"prog", u"open quote  runs to the end"}},
      {uR"(prog trailing\\)", {u"prog", uR"(trailing\\)"}},
      {u"prog \U0001F600 \u00fc", {u"prog", u"\U0001F600", u"\u00fc"}},
  };
  for (const auto& [line, words] : cases) EXPECT_EQ(splitCommandLine(line), words);
  EXPECT_TRUE(splitCommandLine(nullptr).empty());
}

}  // namespace
