// The mode word of FsFileInfo: the system's own portable encoding of a file's type and
// permissions (stored as ATTR in the files table and seen as [ATTR] by criteria).
#ifndef FSCANNER_FS_FILE_MODE_H
#define FSCANNER_FS_FILE_MODE_H

#include <cstdint>

constexpr uint32_t kModeDirectory = 0x0001;
constexpr uint32_t kModeExecutable = 0x0008;
constexpr uint32_t kModeSystem = 0x0400;
constexpr uint32_t kModeHidden = 0x0800;
constexpr uint32_t kModeFifo = 0x1000;  // set by no encoder here; the walk never reads such a file
constexpr uint32_t kModeRegular = 0x2000;
constexpr uint32_t kModeCharDevice = 0x4000;
constexpr uint32_t kModeReadOnly = 0x8000;
constexpr uint32_t kModeReadableByAll = 0x0092;
constexpr uint32_t kModeWritableByAll = 0x0124;
constexpr uint32_t kModeExecutableByAll = 0x0248;

// From directory-search attributes (FILE_ATTRIBUTE_*): directory, system, regular (neither of
// those), hidden, read-only; readable always; writable unless read-only; executable by all when
// the long name, or the short name when the long name is empty, matches *.EXE or *.COM (any case).
uint32_t modeFromAttributes(uint32_t attributes, const char16_t* longName,
                            const char16_t* shortName);

// From a stat mode (platform::kStat* bits): directory, regular, character device, readable,
// writable, executable (kModeExecutable alone).
uint32_t modeFromStat(uint32_t statMode);

#endif  // FSCANNER_FS_FILE_MODE_H
