// Drive enumeration: the machine's drives as a drive list, selection by drive-type mask, merging
// without duplicates, and pruning by file-system name and by exclusion paths.
//
// A drive list holds one DriveEntry per drive: the root without its trailing backslash (C:), the
// file-system name ("Unknown" when the volume could not be asked) and the drive-type bit.
#ifndef FSCANNER_PATHS_DRIVEHELPER_H
#define FSCANNER_PATHS_DRIVEHELPER_H

#include <cstdint>

#include "PathEntry.h"
#include "ZrLogWrapper.h"
#include "paths/drive_entry.h"

// The drive-type bit (DT_*) of the operating system's drive type of root (C:\); 0 for a missing
// drive, an unknown type or a null root.
uint32_t driveTypeBit(const char16_t* root);

// Index of the first drive whose name begins with name (name must end in ':'; compared without
// regard to case over the length of name); -1 when there is none, the list is empty or name is
// null or does not end in ':'.
int findDrive(const DriveList& drives, const char16_t* name);

class DriveHelper {
 public:
  DriveHelper();

  // Appends the drives whose type bit is in typeMask, in the order the operating system lists
  // them. False, nothing appended, when the root-string buffer cannot be allocated; a null out
  // appends nothing and answers true.
  bool buildDriveList(DriveList* out, uint32_t typeMask);

  // Appends every drive of all whose type bit is in typeMask, in list order.
  void selectDrives(const DriveList& all, uint32_t typeMask, DriveList* out);

  // Appends a copy of drive to out, unless unique is set and out already holds an equal entry.
  // Always true.
  bool driveEnumerator(const DriveEntry& drive, DriveList* out, bool unique);

  // Removes duplicates from destination, then appends each drive of source (skipping those already
  // in destination when unique is set). Source may be destination itself.
  void appendDriveList(const DriveList& source, DriveList* destination, bool unique);

  // Keeps only the last copy of each drive; true when anything was removed.
  bool removeDuplicateDrives(DriveList* list);

  // Appends to out the drives of all that survive pruning. A drive is dropped when its
  // file-system name is not among includedFileSystems (when that list is not empty) or is among
  // excludedFileSystems (both compared without regard to case), or when an excluded path, with one
  // trailing "/*", "/", "\*" or "\" removed, is exactly its name; the latter also sets the drive's
  // excluded flag in all.
  void fileSystemDriveListPruning(DriveList* all, DriveList* out,
                                  const StringList& includedFileSystems,
                                  const StringList& excludedFileSystems,
                                  const PathList& excludedPaths);

  // The query's drive option; kept with the helper, nothing in drive enumeration depends on it.
  void setDriveOption(uint32_t option) { driveOption_ = option; }
  uint32_t driveOption() const { return driveOption_; }

 private:
  // The drive option until a query hands over its own.
  static constexpr uint32_t kDefaultDriveOption = 32;

  ZrLogWrapper* logger_;
  uint32_t driveOption_ = kDefaultDriveOption;
};

#endif  // FSCANNER_PATHS_DRIVEHELPER_H
