#include "fs/file_mode.h"

#include "base/wstring.h"
#include "platform/platform.h"

namespace {

// The same as a case-insensitive wildcard match of "*" + suffix, without the general matcher:
// this runs for every file a walk sees.
bool endsWithIgnoringCase(const char16_t* name, size_t nameLength, const char16_t* suffix,
                          size_t suffixLength) {
  return nameLength >= suffixLength &&
         wcsNICompare(name + nameLength - suffixLength, suffix, suffixLength) == 0;
}

constexpr char16_t kExeSuffix[] = u".exe";
constexpr char16_t kComSuffix[] = u".com";
constexpr size_t kSuffixLength = 4;

}  // namespace

uint32_t modeFromAttributes(uint32_t attributes, const char16_t* longName,
                            const char16_t* shortName) {
  uint32_t mode = kModeReadableByAll;
  const bool directory = (attributes & platform::kAttrDirectory) != 0;
  const bool system = (attributes & platform::kAttrSystem) != 0;
  if (directory) mode |= kModeDirectory;
  if (system) mode |= kModeSystem;
  if (!directory && !system) mode |= kModeRegular;
  if ((attributes & platform::kAttrHidden) != 0) mode |= kModeHidden;
  if ((attributes & platform::kAttrReadOnly) != 0) {
    mode |= kModeReadOnly;
  } else {
    mode |= kModeWritableByAll;
  }
  const char16_t* name = longName != nullptr && longName[0] != u'\0' ? longName : shortName;
  const size_t nameLength = wcsLength(name);
  if (endsWithIgnoringCase(name, nameLength, kExeSuffix, kSuffixLength) ||
      endsWithIgnoringCase(name, nameLength, kComSuffix, kSuffixLength)) {
    mode |= kModeExecutableByAll;
  }
  return mode;
}

uint32_t modeFromStat(uint32_t statMode) {
  uint32_t mode = 0;
  if ((statMode & platform::kStatDirectory) != 0) mode |= kModeDirectory;
  if ((statMode & platform::kStatRegular) != 0) mode |= kModeRegular;
  if ((statMode & platform::kStatCharDevice) != 0) mode |= kModeCharDevice;
  if ((statMode & platform::kStatRead) != 0) mode |= kModeReadableByAll;
  if ((statMode & platform::kStatWrite) != 0) mode |= kModeWritableByAll;
  if ((statMode & platform::kStatExec) != 0) mode |= kModeExecutable;
  return mode;
}
