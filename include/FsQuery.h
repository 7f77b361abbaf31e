// The host's query object: what to search, read in place by the provider.
#ifndef FSCANNER_FSQUERY_H
#define FSCANNER_FSQUERY_H

#include <cstdint>
#include <string>
#include <vector>

#include "PathEntry.h"

class FsQuery {
 public:
  virtual ~FsQuery() = default;
  // Paths to search, with media words and shell-folder tokens.
  virtual const PathList& includedPaths() const = 0;
  // Paths to leave out.
  virtual const PathList& excludedPaths() const = 0;
  // When not empty, only drives with one of these file systems take part.
  virtual const StringList& includedFileSystems() const = 0;
  // File systems whose drives never take part.
  virtual const StringList& excludedFileSystems() const = 0;
  // The criteria expression.
  virtual const std::u16string& criteria() const = 0;
  virtual bool caseSensitive() const = 0;
  virtual uint32_t driveOption() const = 0;
};

#endif  // FSCANNER_FSQUERY_H
