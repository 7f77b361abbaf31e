// The reference host's command line.
#ifndef FSCANNER_TOOLS_FSQUERY_COMMAND_LINE_H
#define FSCANNER_TOOLS_FSQUERY_COMMAND_LINE_H

#include <cstdint>
#include <string>

#include "host_objects.h"

struct QueryRequest {
  std::string modulePath;
  HostConfig config;
  HostQuery query;
  uint32_t age = 0;
  uint32_t timeout = 30000;
  bool extended = false;
  bool shutdownMonitor = false;
  bool showHelp = false;
};

// Fills request from argv; false with a message in *error on a bad command line.
bool parseCommandLine(int argc, char** argv, QueryRequest* request, std::string* error);

extern const char kUsage[];

#endif  // FSCANNER_TOOLS_FSQUERY_COMMAND_LINE_H
