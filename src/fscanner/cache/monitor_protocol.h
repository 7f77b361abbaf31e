// What the provider and the monitor program share besides the tables: the names of the monitor's
// named objects for a cache home and its process-id file.
//
// The initialisation event (signalled by the monitor when a command's work is done) is the
// home upper-cased + "_FsMon_InitEvent" with every backslash and colon made an underscore, under
// "Global\"; the stop event (set by a "stop" command, waited on by the resident monitor) and the
// instance mutex (held by the resident monitor for its whole life, so that a second "start" finds
// it taken) are named the same way with "_FsMon_StopEvent" and "_FsMon_Instance".
#ifndef FSCANNER_CACHE_MONITOR_PROTOCOL_H
#define FSCANNER_CACHE_MONITOR_PROTOCOL_H

#include <cstdint>
#include <string>

std::u16string monitorInitEventName(const char16_t* home);
std::u16string monitorStopEventName(const char16_t* home);
std::u16string monitorInstanceMutexName(const char16_t* home);

// home + a backslash when missing + "mon_proc.id".
std::u16string monitorPidFilePath(const char16_t* home);
// The file holds the process id as 4 bytes, unsigned little-endian. False when it cannot be
// written or read (a file of another length is not read).
bool writeMonitorPid(const char16_t* home, uint32_t pid);
bool readMonitorPid(const char16_t* home, uint32_t* pid);

#endif  // FSCANNER_CACHE_MONITOR_PROTOCOL_H
