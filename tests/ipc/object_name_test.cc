// Where named objects live: file names in /dev/shm, and segments that others left or planted.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <string>

#include "ipc/ipc_support.h"
#include "platform/platform.h"
#include "platform/platform_testing.h"
#include "platform/posix/object_name.h"

namespace {

using platform::internal::namedObjectPath;

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

TEST(ObjectNameTest, NamespacesAreCaseSensitiveAndPlainNamesAreLocal) {
  const std::string prefix = "/dev/shm/fscanner." + std::to_string(geteuid()) + ".";
  EXPECT_EQ(pathOf(u"Global\\x"), prefix + "G.x");
  EXPECT_EQ(pathOf(u"Local\\x"), prefix + "L.x");
  EXPECT_EQ(pathOf(u"x"), prefix + "L.x");
  EXPECT_NE(pathOf(u"Local\\x"), pathOf(u"Local\\X"));
  EXPECT_EQ(errorOf(u"global\\x"), platform::kErrorPathNotFound);
  EXPECT_EQ(errorOf(u"LOCAL\\x"), platform::kErrorPathNotFound);
  EXPECT_EQ(errorOf(u"a\\b"), platform::kErrorPathNotFound);
  EXPECT_EQ(errorOf(u"Global\\a\\b"), platform::kErrorInvalidName);
  EXPECT_EQ(errorOf(u"Global\\"), platform::kErrorInvalidName);
  EXPECT_EQ(errorOf(u""), platform::kErrorInvalidName);
  EXPECT_EQ(errorOf(nullptr), platform::kErrorInvalidName);
  EXPECT_EQ(platform::NamedMutex::create(nullptr), nullptr);
  EXPECT_EQ(platform::NamedEvent::create(u"Global\\"), nullptr);
  EXPECT_EQ(platform::lastError(), platform::kErrorInvalidName);
}

TEST(ObjectNameTest, OddCharactersGiveDistinctSafeFileNames) {
  const std::u16string names[] = {u"a/b",    u"..",     u".",  u"%0041",  u"A",
                                  u"a b",    u"a\tb",   u"~",  u"\u00fc", u"\U0001F600",
                                  u"\xD800", u"\xDC00", u"a%", u"\x01",   u"C:_cache_"};
  std::set<std::string> seen;
  for (const std::u16string& name : names) {
    const std::string file = fileName(pathOf(u"Local\\" + name));
    EXPECT_TRUE(seen.insert(file).second) << file;
    EXPECT_EQ(file.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                     "0123456789._%-"),
              std::string::npos)
        << file;
  }
}

TEST(ObjectNameTest, OverLongNamesAreHashedWithinOneFileName) {
  const std::u16string longName(5000, u'n');
  std::u16string otherEnd = longName;
  otherEnd.back() = u'm';
  std::u16string otherMiddle = longName;
  otherMiddle[2500] = u'm';
  std::u16string wide;
  for (int i = 0; i < 300; ++i) wide += u"\U0001F600";
  for (const std::u16string& name : {longName, otherEnd, otherMiddle, wide}) {
    EXPECT_LE(fileName(pathOf(u"Global\\" + name)).size(), 255u);
  }
  EXPECT_EQ(pathOf(u"Global\\" + longName), pathOf(u"Global\\" + longName));
  EXPECT_NE(pathOf(u"Global\\" + longName), pathOf(u"Global\\" + otherEnd));
  EXPECT_NE(pathOf(u"Global\\" + longName), pathOf(u"Global\\" + otherMiddle));
}

// The segment exists, private to the user, exactly while a handle is open.
TEST(ObjectNameTest, SegmentLivesWhileHeldAndIsPrivate) {
  const std::u16string name = ipc_test::uniqueName(u"segment");
  const std::string path = pathOf(name);
  {
    std::unique_ptr<platform::NamedMutex> first = platform::NamedMutex::create(name.c_str());
    std::unique_ptr<platform::NamedMutex> second = platform::NamedMutex::create(name.c_str());
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_EQ(info.st_uid, geteuid());
    first.reset();
    EXPECT_EQ(stat(path.c_str(), &info), 0);
  }
  struct stat info {};
  EXPECT_NE(stat(path.c_str(), &info), 0);
}

// Whatever lies at the name when no process holds the object is replaced by a fresh object.
TEST(ObjectNameTest, LeftoverSegmentWithoutHoldersIsReset) {
  const std::u16string name = ipc_test::uniqueName(u"leftover");
  const std::string path = pathOf(name);
  {
    std::ofstream garbage(path, std::ios::binary);
    garbage << std::string(7, '\xff');
  }
  chmod(path.c_str(), 0600);
  std::unique_ptr<platform::NamedMutex> mutex = platform::NamedMutex::create(name.c_str());
  ASSERT_NE(mutex, nullptr);
  EXPECT_EQ(mutex->wait(0), platform::WaitResult::kSignaled);
  EXPECT_TRUE(mutex->release());
  mutex.reset();
  struct stat info {};
  EXPECT_NE(stat(path.c_str(), &info), 0);
}

TEST(ObjectNameTest, PlantedLinksAndForeignSegmentsAreRefused) {
  const std::u16string name = ipc_test::uniqueName(u"planted");
  const std::string path = pathOf(name);
  ASSERT_EQ(symlink("/dev/null", path.c_str()), 0);
  platform::setLastError(0);
  EXPECT_EQ(platform::NamedEvent::create(name.c_str()), nullptr);
  EXPECT_EQ(platform::lastError(), platform::kErrorAccessDenied);
  unlink(path.c_str());

  if (geteuid() != 0) GTEST_SKIP() << "a segment of another user needs root to plant";
  { std::ofstream other(path, std::ios::binary); }
  ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
  EXPECT_EQ(platform::NamedEvent::create(name.c_str()), nullptr);
  EXPECT_EQ(platform::lastError(), platform::kErrorAccessDenied);
  unlink(path.c_str());
}

TEST(ObjectNameTest, InjectedCreateFaultsFailLikeTheSystem) {
  const std::u16string name = ipc_test::uniqueName(u"fault");
  platform::testing::injectFault(platform::testing::Fault::kMutexCreate,
                                 platform::kErrorAccessDenied);
  EXPECT_EQ(platform::NamedMutex::create(name.c_str()), nullptr);
  EXPECT_EQ(platform::lastError(), platform::kErrorAccessDenied);
  EXPECT_NE(platform::NamedMutex::create(name.c_str()), nullptr);

  const std::u16string eventName = ipc_test::uniqueName(u"fault_event");
  platform::testing::injectFault(platform::testing::Fault::kEventCreate,
                                 platform::kErrorNotEnoughMemory, 2);
  EXPECT_NE(platform::NamedEvent::create(eventName.c_str()), nullptr);
  EXPECT_EQ(platform::NamedEvent::create(eventName.c_str()), nullptr);
  EXPECT_EQ(platform::lastError(), platform::kErrorNotEnoughMemory);
  platform::testing::clearFaults();
}

}  // namespace
