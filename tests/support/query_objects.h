// A host's query and result sink for tests that run queries on an FS_Cache: the query's lists
// are plain members; the sink records "cache D:\dir\name" for files from the cache and
// "disk D:\dir\name" for walked ones, in arrival order.
#ifndef FSCANNER_TESTS_SUPPORT_QUERY_OBJECTS_H
#define FSCANNER_TESTS_SUPPORT_QUERY_OBJECTS_H

#include <string>
#include <vector>

#include "FsFileInfo.h"
#include "FsQuery.h"
#include "FsResults.h"
#include "support/narrow_text.h"

class Query final : public FsQuery {
 public:
  PathList included;
  PathList excluded;
  StringList includedFs;
  StringList excludedFs;
  std::u16string criteriaText = u"[SIZE]>=0";
  const PathList& includedPaths() const override { return included; }
  const PathList& excludedPaths() const override { return excluded; }
  const StringList& includedFileSystems() const override { return includedFs; }
  const StringList& excludedFileSystems() const override { return excludedFs; }
  const std::u16string& criteria() const override { return criteriaText; }
  bool caseSensitive() const override { return false; }
  uint32_t driveOption() const override { return 0; }
};

class Sink final : public FsResults {
 public:
  void addFileInfo(FsFileInfo* info) override {
    std::string directory = narrow(info->directory());
    if (!directory.empty() && directory.back() != '\\') directory += '\\';
    files.push_back("disk " + directory + narrow(info->name()));
  }
  void addFile(const char16_t* directory, const char16_t* name, uint32_t, uint32_t, uint32_t,
               const char16_t*, uint32_t, uint32_t) override {
    files.push_back("cache " + narrow(directory) + narrow(name));
  }
  std::vector<std::string> files;
};

#endif  // FSCANNER_TESTS_SUPPORT_QUERY_OBJECTS_H
