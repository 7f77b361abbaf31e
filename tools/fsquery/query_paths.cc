#include "query_paths.h"

#include "base/wstring.h"
#include "platform/platform.h"

namespace {

bool isDriveQualified(const std::string& text) {
  const char letter = text.empty() ? '\0' : text[0];
  const bool isLetter = (letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z');
  return isLetter && text.size() >= 2 && text[1] == ':';
}

// A plain path means the fixed drives; a host path on another kind of drive gets the media word
// of its group so that it is searched at all.
std::u16string mediaPrefix(const std::u16string& drivePath) {
  const std::u16string root = drivePath.substr(0, 2) + u"\\";
  switch (platform::getDriveType(root.c_str())) {
    case platform::kDriveRemote:
      return u"$remote::";
    case platform::kDriveRemovable:
    case platform::kDriveCdrom:
    case platform::kDriveRamdisk:
      return u"$other::";
    default:
      return u"";
  }
}

}  // namespace

bool toDrivePath(const std::string& argument, std::u16string* out, std::string* error) {
  bool mapped = false;
  if (argument.empty()) {
    *error = "an empty path";
    return false;
  }
  if (isDriveQualified(argument)) {
    if (platform::narrowToWide(argument.c_str(), out)) return true;
    *error = "'" + argument + "' is not valid text";
    return false;
  }
  if (argument[0] == '/') {
    mapped = platform::driveQualifiedPath(argument, out);
  } else {
    std::u16string relative;
    char16_t buffer[platform::kMaxPath];
    mapped = platform::narrowToWide(argument.c_str(), &relative) &&
             platform::fullPath(buffer, relative.c_str(), platform::kMaxPath) != nullptr;
    if (mapped) *out = buffer;
  }
  if (!mapped) {
    *error = "'" + argument + "' lies on no drive of the drive table (see FSCANNER_DRIVES)";
  }
  return mapped;
}

bool toQueryPath(const std::string& argument, std::u16string* out, std::string* error) {
  if (argument.empty() || argument[0] != '$') {
    if (!toDrivePath(argument, out, error)) return false;
    if (!isDriveQualified(argument)) out->insert(0, mediaPrefix(*out));
    return true;
  }
  if (platform::narrowToWide(argument.c_str(), out)) return true;
  *error = "'" + argument + "' is not valid text";
  return false;
}

std::string toOutputPath(const std::u16string& drivePath, bool drivePaths) {
  std::string host;
  if (!drivePaths && platform::hostPath(drivePath.c_str(), &host)) return host;
  return narrowText(drivePath);
}
