// The reference host's command line.
#ifndef FSCANNER_TOOLS_FSQUERY_COMMAND_LINE_H
#define FSCANNER_TOOLS_FSQUERY_COMMAND_LINE_H

#include <cstdint>
#include <string>

#include "ChecksumFilter.h"
#include "host_objects.h"
#include "output_format.h"

struct QueryRequest {
  HostQuery query;     // paths already in drive-qualified form
  std::string home;    // --home as given; empty for the default
  std::string drives;  // the monitor's drive selection; empty for the provider's default
  uint32_t age = 0;
  uint32_t timeout = 30000;
  bool extended = false;
  bool cacheOnly = false;
  bool checksums = false;         // compute MD5, CRC32 and Q32 of cached files
  ChecksumFilter checksumFilter;  // active when --crc32 or --md5 named a value
  bool shutdownMonitor = false;
  bool batch = false;  // read the queries from standard input, one per line
  bool quiet = false;
  bool showHelp = false;
  OutputOptions output;
};

// Fills request from argv; false with a one-line message in *error on a bad command line.
// Without a path to search, the current directory is searched.
bool parseCommandLine(int argc, const char* const* argv, QueryRequest* request, std::string* error);

extern const char kUsage[];

#endif  // FSCANNER_TOOLS_FSQUERY_COMMAND_LINE_H
