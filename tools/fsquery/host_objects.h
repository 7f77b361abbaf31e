// The reference host's own configuration and query objects.
#ifndef FSCANNER_TOOLS_FSQUERY_HOST_OBJECTS_H
#define FSCANNER_TOOLS_FSQUERY_HOST_OBJECTS_H

#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "FsConfig.h"
#include "FsQuery.h"

// Settings keyed by (section, key).
class HostConfig final : public FsConfig {
 public:
  void set(const std::string& section, const std::string& key, const std::string& value) {
    values_[{section, key}] = value;
  }
  std::string getValue(const char* section, const char* key,
                       const char* defaultValue) const override {
    auto found = values_.find({section, key});
    if (found != values_.end()) return found->second;
    return defaultValue != nullptr ? defaultValue : "";
  }

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

#endif  // FSCANNER_TOOLS_FSQUERY_HOST_OBJECTS_H
