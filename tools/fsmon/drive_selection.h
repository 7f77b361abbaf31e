// The drives a monitor keeps: its drive selection ("$local", "$remote", "$other", "$all" and
// drive names such as C: or D:\, separated by spaces, commas or semicolons), of which only fixed
// drives are recorded.
#ifndef FSCANNER_TOOLS_FSMON_DRIVE_SELECTION_H
#define FSCANNER_TOOLS_FSMON_DRIVE_SELECTION_H

#include <string>

#include "paths/drive_entry.h"

// The fixed drives of the machine that the selection names, in the order the system lists them.
// False, with the word in *error, when the selection holds a word that is neither.
bool selectMonitoredDrives(const std::u16string& selection, DriveList* drives, std::string* error);

#endif  // FSCANNER_TOOLS_FSMON_DRIVE_SELECTION_H
