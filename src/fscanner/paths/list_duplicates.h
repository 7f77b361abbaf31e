// Duplicate removal shared by the drive and path lists.
#ifndef FSCANNER_PATHS_LIST_DUPLICATES_H
#define FSCANNER_PATHS_LIST_DUPLICATES_H

#include <algorithm>
#include <vector>

// Removes every entry that a later entry equals, so the last copy of each stays (the later copy
// moves up). True when anything was removed.
template <typename Entry>
bool removeEarlierDuplicates(std::vector<Entry>* list) {
  if (list == nullptr) return false;
  bool removed = false;
  for (size_t i = 0; i < list->size(); ++i) {
    // The entry that moves up into position i is checked again.
    while (std::find(list->begin() + i + 1, list->end(), (*list)[i]) != list->end()) {
      list->erase(list->begin() + i);
      removed = true;
    }
  }
  return removed;
}

#endif  // FSCANNER_PATHS_LIST_DUPLICATES_H
