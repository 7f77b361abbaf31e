// Logical drives and their volumes.
#include "platform/win32/windows_api.h"

#include "platform/platform.h"
#include "platform/win32/errors.h"

namespace platform {
namespace {

// The volume calls need the root with its trailing backslash ("C:\"), which callers may omit.
std::wstring rootDirectory(const char16_t* root) {
  std::wstring directory(win32::asWide(root));
  if (directory.empty() || (directory.back() != L'\\' && directory.back() != L'/')) {
    directory.push_back(L'\\');
  }
  return directory;
}

}  // namespace

uint32_t getLogicalDriveStrings(uint32_t capacity, char16_t* buffer) {
  if (buffer == nullptr) capacity = 0;
  DWORD length = ::GetLogicalDriveStringsW(capacity, win32::asWide(buffer));
  if (length == 0) win32::recordSystemError();
  return length;
}

uint32_t getDriveType(const char16_t* root) {
  // A null root would ask about the current directory's drive.
  if (root == nullptr) return kDriveNoRootDir;
  return ::GetDriveTypeW(rootDirectory(root).c_str());
}

bool getVolumeInformation(const char16_t* root, VolumeInformation* out) {
  if (root == nullptr || out == nullptr) {
    setLastError(kErrorPathNotFound);
    return false;
  }
  wchar_t volumeName[kMaxPath + 1] = {};
  wchar_t fileSystemName[kMaxPath + 1] = {};
  DWORD serialNumber = 0;
  DWORD maximumComponentLength = 0;
  DWORD fileSystemFlags = 0;
  if (!::GetVolumeInformationW(rootDirectory(root).c_str(), volumeName, kMaxPath + 1, &serialNumber,
                               &maximumComponentLength, &fileSystemFlags, fileSystemName,
                               kMaxPath + 1)) {
    win32::recordSystemError(kErrorPathNotFound);
    return false;
  }
  out->volumeName = win32::asUtf16(volumeName);
  out->serialNumber = serialNumber;
  out->maximumComponentLength = maximumComponentLength;
  out->fileSystemFlags = fileSystemFlags;
  out->fileSystemName = win32::asUtf16(fileSystemName);
  return true;
}

}  // namespace platform
