#include "drive_selection.h"

#include <vector>

#include "base/wstring.h"
#include "paths/drivehelper.h"
#include "platform/platform.h"

namespace {

struct MediaWord {
  const char16_t* word;
  uint32_t mask;
};

constexpr MediaWord kMediaWords[] = {{u"$local", mdLocalDriveGroup},
                                     {u"$remote", mdRemoteDriveGroup},
                                     {u"$other", mdOtherDriveGroup},
                                     {u"$all", mdAllDriveGroup}};

bool isSeparator(char16_t c) { return c == u' ' || c == u',' || c == u';' || c == u'\t'; }

}  // namespace

bool selectMonitoredDrives(const std::u16string& selection, DriveList* drives, std::string* error) {
  uint32_t mask = 0;
  std::vector<std::u16string> names;
  size_t at = 0;
  while (at < selection.size()) {
    while (at < selection.size() && isSeparator(selection[at])) ++at;
    const size_t start = at;
    while (at < selection.size() && !isSeparator(selection[at])) ++at;
    if (at == start) continue;
    std::u16string word = selection.substr(start, at - start);
    bool known = false;
    for (const MediaWord& media : kMediaWords) {
      if (wcsICompare(word.c_str(), media.word) == 0) {
        mask |= media.mask;
        known = true;
      }
    }
    if (!known && word.size() >= 2 && word[1] == u':' &&
        (word.size() == 2 || (word.size() == 3 && word[2] == u'\\'))) {
      names.push_back(word.substr(0, 2));
      known = true;
    }
    if (!known) {
      platform::wideToNarrow(word.c_str(), error);
      *error = "unknown drive selection word '" + *error + "'";
      return false;
    }
  }

  DriveList all;
  DriveHelper helper;
  helper.buildDriveList(&all, mdAllDriveGroup);
  drives->clear();
  for (const DriveEntry& drive : all) {
    if (drive.type() != DT_FIXED) continue;
    bool named = (mask & DT_FIXED) != 0;
    for (const std::u16string& name : names) {
      named = named || wcsICompare(name.c_str(), drive.drive()) == 0;
    }
    if (named) drives->push_back(drive);
  }
  return true;
}
