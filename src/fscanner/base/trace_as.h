// Traces under a given function name. A message carries the name of the operation the system
// defines (pathResolver, fs_build, updateInfo), also when a private helper of that operation
// writes it; FS_TRACE would pass the helper's own name.
#ifndef FSCANNER_BASE_TRACE_AS_H
#define FSCANNER_BASE_TRACE_AS_H

#include "ZrLogWrapper.h"

#define FS_TRACE_AS(logger, function, ...) \
  (logger)->traceMAX(__LINE__, __FILE__, function, __VA_ARGS__)

#endif  // FSCANNER_BASE_TRACE_AS_H
