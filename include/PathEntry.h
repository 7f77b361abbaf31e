// One path of a path list: a path text that may be absent (null) and a flag that says whether
// the entry stands for the whole subtree below the path. Hosts build these values themselves,
// so the class is complete in this header.
#ifndef FSCANNER_PATHENTRY_H
#define FSCANNER_PATHENTRY_H

#include <string>
#include <vector>

class PathEntry {
 public:
  // A null path that is not recursive.
  PathEntry() = default;
  // Copies path; a null path stays null.
  PathEntry(const char16_t* path, bool recursive)
      : path_(path != nullptr ? path : u""), isNull_(path == nullptr), recursive_(recursive) {}

  // The path, or null for a null entry. Valid until the entry changes or dies.
  const char16_t* path() const { return isNull_ ? nullptr : path_.c_str(); }
  bool recursive() const { return recursive_; }

  // Equal when both paths are null or both are equal texts, and the flags are equal.
  friend bool operator==(const PathEntry& a, const PathEntry& b) {
    return a.isNull_ == b.isNull_ && a.recursive_ == b.recursive_ &&
           (a.isNull_ || a.path_ == b.path_);
  }
  friend bool operator!=(const PathEntry& a, const PathEntry& b) { return !(a == b); }

 private:
  std::u16string path_;
  bool isNull_ = true;
  bool recursive_ = false;
};

// Ordered lists; std::vector's == compares sizes, then elements pairwise in order.
using PathList = std::vector<PathEntry>;
using StringList = std::vector<std::u16string>;

#endif  // FSCANNER_PATHENTRY_H
