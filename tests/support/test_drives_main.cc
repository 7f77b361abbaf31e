// Installs the drive table of the fs and walk suites (processDrives, support/drive_table.h)
// before any test runs.
#include <gtest/gtest.h>

#include "FsFileInfo.h"
#include "support/drive_table.h"

namespace {
const ScopedDriveTable* gDrives = nullptr;
}  // namespace

const ScopedDriveTable& processDrives() { return *gDrives; }

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const ScopedDriveTable drives({{'C', "", "", "/"},
                                 {'F', "fixed", "FAT32"},
                                 {'N', "fixed", "NTFS"},
                                 {'V', "", "", "/dev"},
                                 {'P', "", "", "/proc"}});
  gDrives = &drives;
  { const FsFileInfo first; }  // builds (and traces) the drive list before any test watches
  return RUN_ALL_TESTS();
}
