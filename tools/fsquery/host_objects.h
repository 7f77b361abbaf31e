// The reference host's own configuration, query and result objects.
#ifndef FSCANNER_TOOLS_FSQUERY_HOST_OBJECTS_H
#define FSCANNER_TOOLS_FSQUERY_HOST_OBJECTS_H

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <utility>

#include "FsConfig.h"
#include "FsQuery.h"
#include "FsResults.h"

// Settings keyed by (section, key).
class HostConfig final : public FsConfig {
 public:
  void set(const std::string& section, const std::string& key, const std::string& value);
  std::string getValue(const char* section, const char* key,
                       const char* defaultValue) const override;

 private:
  std::map<std::pair<std::string, std::string>, std::string> values_;
};

class HostQuery final : public FsQuery {
 public:
  PathList included;
  PathList excluded;
  StringList includedFs;
  StringList excludedFs;
  std::u16string criteriaText;
  bool caseSensitiveFlag = false;
  uint32_t driveOptionValue = 0;

  const PathList& includedPaths() const override { return included; }
  const PathList& excludedPaths() const override { return excluded; }
  const StringList& includedFileSystems() const override { return includedFs; }
  const StringList& excludedFileSystems() const override { return excludedFs; }
  const std::u16string& criteria() const override { return criteriaText; }
  bool caseSensitive() const override { return caseSensitiveFlag; }
  uint32_t driveOption() const override { return driveOptionValue; }
};

// Prints every match as one line on out and counts them.
class PrintingResults final : public FsResults {
 public:
  explicit PrintingResults(std::FILE* out) : out_(out) {}
  void addFileInfo(FsFileInfo* info) override;
  void addFile(const char16_t* directory, const char16_t* name, uint32_t sizeLow, uint32_t sizeHigh,
               uint32_t attributes, const char16_t* md5, uint32_t crc32, uint32_t q32) override;
  uint64_t count() const { return count_; }

 private:
  std::FILE* out_;
  uint64_t count_ = 0;
};

#endif  // FSCANNER_TOOLS_FSQUERY_HOST_OBJECTS_H
