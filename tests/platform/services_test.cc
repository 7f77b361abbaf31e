#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <thread>

#include "platform/platform.h"
#include "platform_fixtures.h"

namespace {

constexpr int32_t kOk = 0;
constexpr int32_t kFail = static_cast<int32_t>(0x80004005u);

TEST(Services, TicksThreadSlotsShellFoldersAndModules) {
  EXPECT_GT(platform::unixTime(), 1600000000);
  const uint32_t before = platform::tickCount();
  platform::sleepMs(20);
  EXPECT_GE(static_cast<uint32_t>(platform::tickCount() - before), 20u);  // wraps

  auto slot = platform::TlsSlot::allocate();
  ASSERT_NE(slot, nullptr);
  EXPECT_EQ(slot->get(), nullptr);
  int mine = 1, theirs = 2;
  ASSERT_TRUE(slot->set(&mine));
  void* seenByOther = &mine;
  std::thread other([&] {
    seenByOther = slot->get();
    slot->set(&theirs);
  });
  other.join();
  EXPECT_EQ(seenByOther, nullptr);
  EXPECT_EQ(slot->get(), &mine);
  EXPECT_TRUE(
      failedWith(platform::RegistryKey::openLocalMachine(u"SYSTEM\\MountedDevices") != nullptr,
                 platform::kErrorFileNotFound));

  // Shell folders come from the environment; Windows modules are absent.
  setenv("FSCANNER_SHELL_FOLDERS", "36=C:\\opt\\win;;37=C:\\opt\\win\\system32;38=C:\\P F", 1);
  auto shell = platform::Library::load("SHELL32.DLL");
  ASSERT_NE(shell, nullptr);
  void* function = shell->symbol("SHGetFolderPathW");
  ASSERT_NE(function, nullptr);
  char16_t buffer[platform::kMaxPath];
  EXPECT_EQ(platform::callSHGetFolderPath(function, 38, buffer), kOk);
  EXPECT_EQ(std::u16string(buffer), u"C:\\P F");
  EXPECT_EQ(platform::callSHGetFolderPath(function, 25, buffer), kFail);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(platform::getWindowsDirectory(buffer, platform::kMaxPath), 10u);
  EXPECT_EQ(std::u16string(buffer), u"C:\\opt\\win");
  EXPECT_EQ(platform::getSystemDirectory(buffer, platform::kMaxPath), 19u);
  // No room for the zero.
  EXPECT_TRUE(failedWith(platform::getSystemDirectory(buffer, 19) != 0,
                         platform::kErrorInsufficientBuffer));
  EXPECT_TRUE(
      failedWith(shell->symbol("SHGetFolderPathA") != nullptr, platform::kErrorProcNotFound));
  const std::string tooLong = "36=C:\\" + std::string(platform::kMaxPath, 'x');
  for (const std::string& folders : {std::string("36=C:\\win;x37=C:\\sys"), tooLong}) {
    setenv("FSCANNER_SHELL_FOLDERS", folders.c_str(), 1);  // malformed, or too long
    EXPECT_EQ(platform::callSHGetFolderPath(function, 36, buffer), kFail);
  }
  unsetenv("FSCANNER_SHELL_FOLDERS");
  EXPECT_EQ(platform::callSHGetFolderPath(function, 36, buffer), kFail);
  EXPECT_EQ(platform::getWindowsDirectory(buffer, platform::kMaxPath), 0u);
  EXPECT_NE(platform::callSHGetFolderPath(nullptr, 36, buffer), kOk);

  auto libc = platform::Library::load("libc.so.6");
  ASSERT_NE(libc, nullptr);
  EXPECT_NE(libc->symbol("strlen"), nullptr);
  const char* const windowsOnly[] = {"kernel32", "kernel32.dll", "shfolder.dll", "", nullptr};
  for (const char* name : windowsOnly) {
    EXPECT_TRUE(failedWith(platform::Library::load(name) != nullptr, platform::kErrorModNotFound));
  }
  EXPECT_EQ(platform::Library::loaded(u"kernel32"), nullptr);
  bool isWow64 = true;
  EXPECT_FALSE(platform::callIsWow64Process(nullptr, &isWow64));
  EXPECT_FALSE(isWow64);
  void* old = nullptr;
  EXPECT_TRUE(failedWith(platform::callWow64DisableWow64FsRedirection(nullptr, &old) != 0,
                         platform::kErrorProcNotFound));
}

}  // namespace
