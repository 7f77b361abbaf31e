// The Win32 backend's run-time function look-up against the real system: the WOW64 functions of
// kernel32 and the shell's folder look-up, which the provider reaches only by name.
#include <gtest/gtest.h>

#include <cwctype>
#include <string>

#include "platform/platform.h"

namespace {

constexpr int kFolderWindows = 36;
constexpr int kFolderSystem = 37;
constexpr int kFolderProgramFiles = 38;

std::u16string folded(std::u16string text) {
  for (char16_t& c : text) c = static_cast<char16_t>(std::towlower(c));
  return text;
}

TEST(Wow64, ProcessStateComesFromKernel32) {
  std::unique_ptr<platform::Library> kernel32 = platform::Library::loaded(u"kernel32");
  ASSERT_NE(kernel32, nullptr);
  void* isWow64Process = kernel32->symbol("IsWow64Process");
  ASSERT_NE(isWow64Process, nullptr);
  EXPECT_NE(kernel32->symbol("Wow64DisableWow64FsRedirection"), nullptr);

  bool isWow64 = true;
  ASSERT_TRUE(platform::callIsWow64Process(isWow64Process, &isWow64));
  // A 64-bit process never runs under WOW64; a 32-bit one does exactly on a 64-bit system.
  if (sizeof(void*) == 8) {
    EXPECT_FALSE(isWow64);
  }

  platform::setLastError(0);
  EXPECT_EQ(kernel32->symbol("NoSuchFunctionInKernel32"), nullptr);
  EXPECT_EQ(platform::lastError(), platform::kErrorProcNotFound);
}

TEST(ShellFolders, SHGetFolderPathAgreesWithTheSystemDirectories) {
  std::unique_ptr<platform::Library> shell32 = platform::Library::load("shell32.dll");
  ASSERT_NE(shell32, nullptr);
  void* function = shell32->symbol("SHGetFolderPathW");
  ASSERT_NE(function, nullptr);

  char16_t expected[platform::kMaxPath];
  char16_t folder[platform::kMaxPath];
  ASSERT_GT(platform::getWindowsDirectory(expected, platform::kMaxPath), 0u);
  ASSERT_GE(platform::callSHGetFolderPath(function, kFolderWindows, folder), 0);
  EXPECT_EQ(folded(folder), folded(expected));

  ASSERT_GT(platform::getSystemDirectory(expected, platform::kMaxPath), 0u);
  ASSERT_GE(platform::callSHGetFolderPath(function, kFolderSystem, folder), 0);
  EXPECT_EQ(folded(folder), folded(expected));

  ASSERT_GE(platform::callSHGetFolderPath(function, kFolderProgramFiles, folder), 0);
  platform::StatInfo info;
  ASSERT_TRUE(platform::statPath(folder, &info));
  EXPECT_NE(info.mode & platform::kStatDirectory, 0u);

  EXPECT_LT(platform::callSHGetFolderPath(nullptr, kFolderWindows, folder), 0);
  EXPECT_LT(platform::callSHGetFolderPath(function, kFolderWindows, nullptr), 0);
}

TEST(ShellFolders, SystemDirectoriesNeedRoomForTheTerminatingZero) {
  char16_t buffer[platform::kMaxPath];
  const uint32_t length = platform::getSystemDirectory(buffer, platform::kMaxPath);
  ASSERT_GT(length, 0u);
  platform::setLastError(0);
  EXPECT_EQ(platform::getSystemDirectory(buffer, length), 0u);
  EXPECT_EQ(platform::lastError(), platform::kErrorInsufficientBuffer);
  EXPECT_EQ(platform::getWindowsDirectory(nullptr, platform::kMaxPath), 0u);
}

}  // namespace
