// A stand-in for the monitor program, run by this test program when it is started under the
// name fsmon with the monitor's command line.
#ifndef FSCANNER_TESTS_PROVIDER_MONITOR_FAKE_MONITOR_H
#define FSCANNER_TESTS_PROVIDER_MONITOR_FAKE_MONITOR_H

#include <string>

// True when argv is a monitor command line ("mon_dirs mon_files home kind drives command").
bool isMonitorCommandLine(int argc, char** argv);

// "start": writes the process-id file, signals the initialisation event and runs until a "stop"
// instance asks it to end. "stop": asks the running instance to end and signals the event.
// Returns the process exit code.
int runFakeMonitor(char** argv);

// Path of this test program, for copying it under the monitor's name.
extern std::string g_testProgramPath;

#endif  // FSCANNER_TESTS_PROVIDER_MONITOR_FAKE_MONITOR_H
