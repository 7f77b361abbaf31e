// Test-only controls of the portability layer: a replaceable drive table and fault injection at
// the system-call boundary, so tests can reach failure paths that a healthy machine never takes.
#ifndef FSCANNER_PLATFORM_PLATFORM_TESTING_H
#define FSCANNER_PLATFORM_PLATFORM_TESTING_H

#include <cstdint>

namespace platform {
namespace testing {

// Replaces this process's drive table with one in the FSCANNER_DRIVES syntax
// ("C:=/;D:=/srv/data;R:=/mnt/share,remote,SMB"). False, table unchanged, on invalid text. On
// Windows there is no drive table and the call returns false.
bool setDriveTable(const char* text);
// Goes back to the table read from the environment.
void resetDriveTable();

// Points where the backends consult injected faults before calling the system.
enum class Fault {
  kFileOpen,       // File::open
  kFileSize,       // File::size
  kFileSetSize,    // File::setSize
  kFileMap,        // FileMapping::map and FileMapping::extend
  kFileUnmap,      // FileMapping destruction reports failure through lastError only
  kFileRead,       // ReadableFile::read
  kFileReplace,    // replaceFile
  kDirectoryRead,  // DirectorySearch::start and DirectorySearch::next
  kMutexCreate,    // NamedMutex::create
  kEventCreate,    // NamedEvent::create
  kProcessStart,   // Process::start
  kPidFdOpen,      // POSIX: the pidfd of Process::start and Process::open (waits then probe)
  kCount
};

// Makes the countdown-th next call at the point fail with the given system error (countdown 1:
// the very next call). Faults are per process and apply to every thread.
void injectFault(Fault point, uint32_t error, int countdown = 1);
// Disarms every point.
void clearFaults();
// True while the fault armed at point has not fired yet: a test counting the calls a scenario
// makes arms the Nth call and stops when N is past the last.
bool faultArmed(Fault point);

}  // namespace testing
}  // namespace platform

#endif  // FSCANNER_PLATFORM_PLATFORM_TESTING_H
