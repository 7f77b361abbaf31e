// The Win32 backend's run-time function look-up against the real system: the WOW64 functions of
// kernel32 and the shell's folder look-up, which the provider reaches only by name.
#include <gtest/gtest.h>

#include <cwctype>
#include <string>

#include "platform/platform.h"
#include "support/failed_with.h"

namespace {

std::u16string folded(std::u16string text) {
  for (char16_t& c : text) c = static_cast<char16_t>(std::towlower(c));
  return text;
}

TEST(WindowsServices, Wow64StateFromKernel32AndShellFoldersAgreeWithTheSystemDirectories) {
  std::unique_ptr<platform::Library> kernel32 = platform::Library::loaded(u"kernel32");
  ASSERT_NE(kernel32, nullptr);
  void* isWow64Process = kernel32->symbol("IsWow64Process");
  ASSERT_NE(isWow64Process, nullptr);
  EXPECT_NE(kernel32->symbol("Wow64DisableWow64FsRedirection"), nullptr);
  bool isWow64 = true;
  ASSERT_TRUE(platform::callIsWow64Process(isWow64Process, &isWow64));
  // A 64-bit process never runs under WOW64; a 32-bit one does exactly on a 64-bit system.
  EXPECT_TRUE(sizeof(void*) != 8 || !isWow64);
  EXPECT_TRUE(failedWith(kernel32->symbol("NoSuchFunctionInKernel32") != nullptr,
                         platform::kErrorProcNotFound));

  // Windows (36), system (37) and program files (38) folders; the system directories need room
  // for their terminating zero.
  std::unique_ptr<platform::Library> shell32 = platform::Library::load("shell32.dll");
  ASSERT_NE(shell32, nullptr);
  void* function = shell32->symbol("SHGetFolderPathW");
  ASSERT_NE(function, nullptr);
  char16_t expected[platform::kMaxPath];
  char16_t folder[platform::kMaxPath];
  ASSERT_GT(platform::getWindowsDirectory(expected, platform::kMaxPath), 0u);
  ASSERT_GE(platform::callSHGetFolderPath(function, 36, folder), 0);
  EXPECT_EQ(folded(folder), folded(expected));
  const uint32_t length = platform::getSystemDirectory(expected, platform::kMaxPath);
  ASSERT_GT(length, 0u);
  ASSERT_GE(platform::callSHGetFolderPath(function, 37, folder), 0);
  EXPECT_EQ(folded(folder), folded(expected));
  ASSERT_GE(platform::callSHGetFolderPath(function, 38, folder), 0);
  platform::StatInfo info;
  ASSERT_TRUE(platform::statPath(folder, &info));
  EXPECT_NE(info.mode & platform::kStatDirectory, 0u);

  EXPECT_LT(platform::callSHGetFolderPath(nullptr, 36, folder), 0);
  EXPECT_LT(platform::callSHGetFolderPath(function, 36, nullptr), 0);
  EXPECT_TRUE(failedWith(platform::getSystemDirectory(expected, length) != 0,
                         platform::kErrorInsufficientBuffer));
  EXPECT_EQ(platform::getWindowsDirectory(nullptr, platform::kMaxPath), 0u);
}

}  // namespace
