// Batch mode: one provider answers many queries, read from a stream one per line, as a host
// engine that stays loaded does. A line holds one query's options and paths as on the command
// line (split by splitWords); blank lines and lines starting with # are skipped. After each query
// a line "#end RESULT MATCHES MICROSECONDS" follows its results and the output is flushed, so that
// a program can drive fsquery through a pipe. A line that cannot be parsed is explained on
// standard error and ends with RESULT 64.
#ifndef FSCANNER_TOOLS_FSQUERY_BATCH_H
#define FSCANNER_TOOLS_FSQUERY_BATCH_H

#include <cstdint>
#include <cstdio>
#include <functional>

#include "command_line.h"

// Answers one parsed request: writes its results to out and returns the host result; *matches
// receives the number of files handed over.
using AnswerQuery = std::function<int(QueryRequest& request, uint64_t* matches)>;

// Reads queries from in until its end and answers each. Returns 0 when every query answered 0,
// otherwise the last other result.
int runBatch(std::FILE* in, std::FILE* out, const AnswerQuery& answer);

#endif  // FSCANNER_TOOLS_FSQUERY_BATCH_H
