// The portability layer: the only place that talks to the operating system.
//
// Portable code never includes <windows.h>, <unistd.h> or similar; it calls this interface. Two
// backends implement it: win32/ (thin calls into the real API) and posix/ (a Windows namespace
// presented over the Linux file system, see docs/platform.md).
//
// Vocabulary is Win32's so that every value the system traces, stores or returns is the same on
// both platforms: attribute bits, system error codes, wait results, drive types, FILETIME values
// (100-ns units since 1601-01-01 UTC) and millisecond tick counts that wrap at 2^32.
//
// Threading contract: every free function here is safe to call from any thread at once. An
// object (File, FileMapping, DirectorySearch, NamedMutex, NamedEvent, Process, TlsSlot, Library,
// RegistryKey) is used by one thread at a time unless its comment says otherwise; distinct
// objects are independent, even when they name the same file or kernel object.
//
// Failure contract: a call that fails returns its documented failure value (false, null, 0 or an
// empty result) and sets the calling thread's last error (lastError()) to a Win32 system error
// code. A call that succeeds may leave the last error unchanged. No call throws.
#ifndef FSCANNER_PLATFORM_PLATFORM_H
#define FSCANNER_PLATFORM_PLATFORM_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// ---- Win32 vocabulary --------------------------------------------------------------------------

// File attribute bits, as FindFirstFileW reports them.
constexpr uint32_t kAttrReadOnly = 0x0001;
constexpr uint32_t kAttrHidden = 0x0002;
constexpr uint32_t kAttrSystem = 0x0004;
constexpr uint32_t kAttrDirectory = 0x0010;
constexpr uint32_t kAttrArchive = 0x0020;
constexpr uint32_t kAttrDevice = 0x0040;
constexpr uint32_t kAttrNormal = 0x0080;
constexpr uint32_t kAttrReparsePoint = 0x0400;

// System error codes.
constexpr uint32_t kErrorSuccess = 0;
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorPathNotFound = 3;
constexpr uint32_t kErrorTooManyOpenFiles = 4;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorNotEnoughMemory = 8;
constexpr uint32_t kErrorNoMoreFiles = 18;
constexpr uint32_t kErrorSharingViolation = 32;
constexpr uint32_t kErrorHandleEof = 38;
constexpr uint32_t kErrorNotSupported = 50;
constexpr uint32_t kErrorFileExists = 80;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorDiskFull = 112;
constexpr uint32_t kErrorInsufficientBuffer = 122;
constexpr uint32_t kErrorInvalidName = 123;
constexpr uint32_t kErrorModNotFound = 126;
constexpr uint32_t kErrorProcNotFound = 127;
constexpr uint32_t kErrorAlreadyExists = 183;
constexpr uint32_t kErrorBadExeFormat = 193;
constexpr uint32_t kErrorFilenameTooLong = 206;
constexpr uint32_t kErrorNotOwner = 288;
constexpr uint32_t kErrorFileInvalid = 1006;
constexpr uint32_t kErrorUserMappedFile = 1224;
constexpr uint32_t kErrorNoSystemResources = 1450;

// Drive types, as GetDriveTypeW reports them.
constexpr uint32_t kDriveUnknown = 0;
constexpr uint32_t kDriveNoRootDir = 1;
constexpr uint32_t kDriveRemovable = 2;
constexpr uint32_t kDriveFixed = 3;
constexpr uint32_t kDriveRemote = 4;
constexpr uint32_t kDriveCdrom = 5;
constexpr uint32_t kDriveRamdisk = 6;

// Timeouts in milliseconds; kInfinite waits without limit.
constexpr uint32_t kInfinite = 0xFFFFFFFFu;

// Exit code reported for a process that is still running.
constexpr uint32_t kStillActive = 259;

// Path buffers of the system hold this many characters, terminating zero included.
constexpr size_t kMaxPath = 260;

enum class WaitResult { kSignaled, kAbandoned, kTimedOut, kFailed };

// ---- Errors ------------------------------------------------------------------------------------

// The calling thread's last system error code, as set by the last failing call of this layer.
uint32_t lastError();
void setLastError(uint32_t error);

// ---- Text --------------------------------------------------------------------------------------

// Narrow text is UTF-8 on POSIX and the C library's narrow code page on Windows. Both convert
// the whole zero-terminated input. They return false, leaving *out empty, on a null input or a
// sequence that cannot be converted (invalid UTF-8, an unpaired surrogate); non-BMP characters
// become surrogate pairs and back.
bool narrowToWide(const char* text, std::u16string* out);
bool wideToNarrow(const char16_t* text, std::string* out);

// ---- Time --------------------------------------------------------------------------------------

// Milliseconds since an arbitrary start, wrapping at 2^32 (GetTickCount).
uint32_t tickCount();
// Suspends the calling thread for at least the given milliseconds.
void sleepMs(uint32_t milliseconds);
// Seconds since 1970-01-01 UTC (the C library's time()).
int64_t unixTime();

// ---- Paths -------------------------------------------------------------------------------------

// Host (native, narrow) form of a drive-qualified path such as C:\a\b. Both '\' and '/'
// separate components. On POSIX the drive letter is looked up in the drive table and the rest
// appended with '/'; on Windows the path is converted unchanged. False (kErrorPathNotFound) when
// the path has no drive letter or names a drive that does not exist; false
// (kErrorInvalidName) when the text cannot be converted.
bool hostPath(const char16_t* path, std::string* out);

// Reverse of hostPath: the drive-qualified path of a host path (the drive whose root is the
// longest prefix of it). False (kErrorPathNotFound) when no drive holds it.
bool driveQualifiedPath(const std::string& host, std::u16string* out);

// Like the C runtime's _wfullpath: the absolute, drive-qualified form of path, with "." and ".."
// resolved and '\' as the only separator. A relative path is taken from the current directory;
// "\x" from the root of the current directory's drive. Writes at most capacity characters,
// zero included. Null (buffer untouched) when the path is null or empty, when the result does not
// fit (kErrorFilenameTooLong), or when the current directory has no drive.
char16_t* fullPath(char16_t* buffer, const char16_t* path, size_t capacity);

// ---- Drive table (POSIX) and volumes -----------------------------------------------------------

// GetLogicalDriveStringsW: writes the roots ("C:\", each zero-terminated, the list ended by an
// empty string) when they fit in capacity characters and returns the length written without the
// final zero; otherwise writes nothing and returns the capacity needed, final zero included. A
// null buffer with capacity 0 asks for the length.
uint32_t getLogicalDriveStrings(uint32_t capacity, char16_t* buffer);

// GetDriveTypeW of a root such as "C:\" (the trailing backslash may be missing): one of the
// kDrive* values; kDriveNoRootDir for a drive that does not exist.
uint32_t getDriveType(const char16_t* root);

struct VolumeInformation {
  std::u16string volumeName;
  uint32_t serialNumber = 0;
  uint32_t maximumComponentLength = 0;
  uint32_t fileSystemFlags = 0;
  std::u16string fileSystemName;  // such as NTFS, EXT4, TMPFS
};
// GetVolumeInformationW of a root. False (kErrorPathNotFound) for a drive that does not exist or
// whose root directory cannot be read.
bool getVolumeInformation(const char16_t* root, VolumeInformation* out);

// ---- Files -------------------------------------------------------------------------------------

enum class Disposition { kCreateAlways, kOpenExisting };

// A file opened for reading and writing with sharing read|write (CreateFileW with
// FILE_FLAG_RANDOM_ACCESS). While a File is open it counts as a holder of the file: on POSIX a
// shared lock stands in for the Windows rule that a file another process maps cannot be cut.
class File final {
 public:
  // Null on failure: kErrorFileNotFound (kOpenExisting, no such file), kErrorPathNotFound (no
  // such directory or drive), kErrorAccessDenied (permissions, or the path names a directory or
  // a device), kErrorInvalidName, kErrorFilenameTooLong.
  static std::unique_ptr<File> open(const char16_t* path, Disposition disposition);
  ~File();  // closes the handle; does not change the file's length.
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // GetFileSize: the length on disk. False when it cannot be read.
  bool size(uint64_t* out) const;
  // SetFilePointer + SetEndOfFile. Growing always works while space lasts (kErrorDiskFull).
  // Shrinking fails with kErrorUserMappedFile, length unchanged, while another holder has the file
  // open (on Windows: while another view maps it).
  bool setSize(uint64_t length);

  struct Native;
  explicit File(std::unique_ptr<Native> native);
  Native* native() const { return native_.get(); }

 private:
  std::unique_ptr<Native> native_;
};

// A read-write view of the first `length` bytes of an open File (CreateFileMappingW +
// MapViewOfFile, shared with every other view of the file, in any process). The view stays valid
// until the FileMapping is destroyed; growing the file does not grow the view: extend() grows it
// in place where the backend reserved room behind it, otherwise callers map anew after growth.
// The File must outlive the mapping.
class FileMapping final {
 public:
  // Null on failure: kErrorFileInvalid for length 0 or beyond the file's length,
  // kErrorNotEnoughMemory when the address space is exhausted.
  static std::unique_ptr<FileMapping> map(File& file, uint64_t length);
  ~FileMapping();  // unmaps.
  FileMapping(const FileMapping&) = delete;
  FileMapping& operator=(const FileMapping&) = delete;

  // Grows the view to the first newLength bytes of the file, which must already be that long,
  // keeping data() where it is. False, view unchanged, when newLength is below length()
  // (kErrorInvalidParameter), above reservedLength() (kErrorNotSupported), beyond the file's
  // length (kErrorFileInvalid), or when the new part cannot be mapped (kErrorNotEnoughMemory).
  // POSIX reserves address space behind each view: a range that holds any file below 4 GiB on a
  // 64-bit host, a smaller one where address space is scarce. Windows reserves none.
  bool extend(uint64_t newLength);
  // The length up to which extend() can grow this view; at least length().
  uint64_t reservedLength() const { return reserved_; }

  uint8_t* data() const { return data_; }
  uint64_t length() const { return length_; }

  struct Native;
  FileMapping(uint8_t* data, uint64_t length, uint64_t reserved, std::unique_ptr<Native> native);

 private:
  uint8_t* data_;
  uint64_t length_;
  uint64_t reserved_;
  std::unique_ptr<Native> native_;
};

// A file opened only for sequential reading (checksums). Refuses directories, devices, FIFOs and
// sockets with kErrorAccessDenied without blocking and without reading them; on POSIX also every
// file of a pseudo file system such as proc or tracefs (see docs/platform.md). Everything that
// reads file contents opens it through this class or File.
class ReadableFile final {
 public:
  static std::unique_ptr<ReadableFile> open(const char16_t* path);
  // The path in the narrow encoding (fopen-style), for callers that hold a narrow path.
  static std::unique_ptr<ReadableFile> openNarrow(const char* path);
  ~ReadableFile();
  ReadableFile(const ReadableFile&) = delete;
  ReadableFile& operator=(const ReadableFile&) = delete;

  // Bytes read into buffer, 0 at the end; -1 on a read error.
  int64_t read(void* buffer, size_t count);

  struct Native;
  explicit ReadableFile(std::unique_ptr<Native> native);

 private:
  std::unique_ptr<Native> native_;
};

// _wremove. False (kErrorFileNotFound, kErrorAccessDenied, ...) when the file is not removed.
bool removeFile(const char16_t* path);
// Puts the file from in the place of the file to in one step (rename(2); MoveFileExW with
// MOVEFILE_REPLACE_EXISTING), both on one volume. A process that has the old file open keeps
// reading it. False, nothing moved, when from is missing or to cannot be replaced (on Windows a
// file another process holds without sharing its deletion, or maps).
bool replaceFile(const char16_t* from, const char16_t* to);
// _wrmdir: removes an empty directory. False when it is not removed.
bool removeDirectory(const char16_t* path);

// What tells two names of one file from the names of two files: the volume and the file's number
// on it (st_dev and st_ino; the volume serial and file index on Windows).
struct FileIdentity {
  uint64_t volume = 0;
  uint64_t file = 0;
  bool operator==(const FileIdentity& other) const {
    return volume == other.volume && file == other.file;
  }
  bool operator!=(const FileIdentity& other) const { return !(*this == other); }
};
// The identity of the file path names now. False when it cannot be read (missing, no access).
bool fileIdentity(const char16_t* path, FileIdentity* out);

// _wstat. The mode uses the C runtime's bits: directory 0x4000, regular 0x8000, character
// device 0x2000, read 0x0100, write 0x0080, execute 0x0040. On POSIX a FIFO, socket or block
// device reports 0x2000, and the owner's permission bits give read, write and execute.
constexpr uint32_t kStatDirectory = 0x4000;
constexpr uint32_t kStatRegular = 0x8000;
constexpr uint32_t kStatCharDevice = 0x2000;
constexpr uint32_t kStatRead = 0x0100;
constexpr uint32_t kStatWrite = 0x0080;
constexpr uint32_t kStatExec = 0x0040;
struct StatInfo {
  uint32_t mode = 0;
  uint32_t device = 0;  // drive number, 0 for A:
  uint32_t inode = 0;
  uint32_t linkCount = 0;
  uint32_t userId = 0;
  uint32_t groupId = 0;
  int64_t size = 0;
  int64_t accessTime = 0;        // seconds since 1970
  int64_t modificationTime = 0;  // seconds since 1970
  int64_t changeTime = 0;        // seconds since 1970
};
// False: kErrorFileNotFound, kErrorPathNotFound, kErrorAccessDenied, kErrorInvalidName.
bool statPath(const char16_t* path, StatInfo* out);

// ---- Directory enumeration ---------------------------------------------------------------------

// One entry, as WIN32_FIND_DATAW has it. On POSIX: directory, reparse point (a symbolic link,
// not followed), hidden (a name starting with '.'), read-only (no write bit), device (FIFO,
// socket, character or block device), else normal; the short name is always empty. A directory
// that is a mount point of a pseudo file system, or the root of another drive, is reported as a
// directory and a reparse point, the way Windows shows a volume mounted into a folder, so that no
// walk descends into it; a wildcard search of a directory on a pseudo file system fails with
// kErrorAccessDenied.
struct FindData {
  uint32_t attributes = 0;
  uint64_t creationTime = 0;  // FILETIME; on POSIX the status change time
  uint64_t lastAccessTime = 0;
  uint64_t lastWriteTime = 0;
  uint64_t size = 0;
  std::u16string name;
  std::u16string shortName;
  // Set for a file whose size, times and read-only attribute are still to be read (see
  // FindDetails::kNamesFirst); until then those hold what the entry's type alone tells.
  bool detailsPending = false;
};

// What a search reads of a match at once. With kNamesFirst, a file that is neither a directory
// nor a link may come with its details pending where reading them costs a call of its own
// (POSIX): a walk that decides by name reads them only for the files it keeps.
enum class FindDetails { kAll, kNamesFirst };

// FindFirstFileW / FindNextFileW / FindClose. The last component of the pattern may hold '*' and
// '?' (matched without regard to case; "*.*" matches every name); a pattern without them finds
// that one entry. A wildcard search lists "." and ".." like Windows does.
class DirectorySearch final {
 public:
  // Null on failure: kErrorFileNotFound (nothing matches, or no such entry), kErrorPathNotFound
  // (the directory does not exist), kErrorAccessDenied (it cannot be read),
  // kErrorFilenameTooLong. *first receives the first match.
  static std::unique_ptr<DirectorySearch> start(const char16_t* pattern, FindData* first,
                                                FindDetails details = FindDetails::kAll);
  ~DirectorySearch();
  DirectorySearch(const DirectorySearch&) = delete;
  DirectorySearch& operator=(const DirectorySearch&) = delete;

  // The next match; false with kErrorNoMoreFiles at the end. An entry that vanishes between
  // listing and reading is skipped.
  bool next(FindData* out);
  // Reads the pending details of the match start() or next() returned last (nothing when none
  // are pending). False with kErrorFileNotFound when that entry has vanished meanwhile.
  bool complete(FindData* entry);

  struct Native;
  explicit DirectorySearch(std::unique_ptr<Native> native);

 private:
  std::unique_ptr<Native> native_;
};

// ---- Named kernel objects ----------------------------------------------------------------------

// Names follow Win32: "Global\x" and "Local\x" select a namespace, a plain name is Local. Names
// are case-sensitive. On POSIX the objects live in shared memory (mode 0600) and, as on
// Windows, an object lives as long as some live process holds a handle to it: an object whose
// holders have all died is reset (mutex free, event clear) by the next opener.

// CreateMutexW (not initially owned; an existing mutex of that name is opened). Recursive for
// the owning thread. A thread or process that ends while owning it abandons it: the next wait
// returns kAbandoned and owns it.
class NamedMutex final {
 public:
  // Null on failure: kErrorInvalidName (empty name, a backslash after the namespace prefix),
  // kErrorPathNotFound (a backslash in a name without a namespace prefix, such as "a\b" or
  // "global\x": the prefixes are case-sensitive), kErrorInvalidHandle (the name belongs to an
  // event), kErrorAccessDenied, kErrorNotEnoughMemory.
  static std::unique_ptr<NamedMutex> create(const char16_t* name);
  ~NamedMutex();  // closes the handle; ownership stays with the owning thread.
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;

  // WaitForSingleObject. Timeout 0 polls; kInfinite waits without limit.
  WaitResult wait(uint32_t timeoutMs);
  // ReleaseMutex: false (kErrorNotOwner) when the calling thread does not own it.
  bool release();
  // False when a process opening the name would no longer find this object: its name was removed
  // under its holders (on POSIX, its file in /dev/shm). Always true on Windows.
  bool reachableByName() const;

  struct Native;
  explicit NamedMutex(std::unique_ptr<Native> native);

 private:
  std::unique_ptr<Native> native_;
};

// CreateEventW with manual reset, initially not signalled; an existing event is opened. Set and
// reset may come from any process; every waiter wakes on set.
class NamedEvent final {
 public:
  // Null on failure, with the errors of NamedMutex::create (kErrorInvalidHandle: the name belongs
  // to a mutex).
  static std::unique_ptr<NamedEvent> create(const char16_t* name);
  ~NamedEvent();
  NamedEvent(const NamedEvent&) = delete;
  NamedEvent& operator=(const NamedEvent&) = delete;

  bool set();
  bool reset();
  // kSignaled or kTimedOut; kFailed on a broken object.
  WaitResult wait(uint32_t timeoutMs);
  // As NamedMutex::reachableByName.
  bool reachableByName() const;

  struct Native;
  explicit NamedEvent(std::unique_ptr<Native> native);

 private:
  std::unique_ptr<Native> native_;
};

// ---- Change notification -----------------------------------------------------------------------

// Tells which directories of watched trees changed: an entry created, deleted, renamed or moved in
// or out, a file written or its attributes changed. Backends: fanotify (Linux; one mark per file
// system under the tree, events naming the directory and the entry; needs CAP_SYS_ADMIN and a
// queue without limit), inotify (Linux; one watch per directory, added as directories appear) and
// ReadDirectoryChangesW (Windows; one request per tree). Walks of a tree never enter pseudo file
// systems nor other drives' roots, as directory searches do. Used by one thread.
class ChangeWatcher final {
 public:
  enum class Backend { kAutomatic, kFanotify, kInotify, kDirectoryChanges };
  // The system's own backend for kAutomatic (fanotify where permitted, else inotify). Null on
  // failure: kErrorNotSupported for a backend this system does not have, kErrorAccessDenied when
  // fanotify is not permitted.
  static std::unique_ptr<ChangeWatcher> create(Backend backend);
  ~ChangeWatcher();
  ChangeWatcher(const ChangeWatcher&) = delete;
  ChangeWatcher& operator=(const ChangeWatcher&) = delete;

  Backend backend() const;
  // Starts watching the tree of a drive-qualified directory. False on failure; with inotify,
  // kErrorNoSystemResources when the per-user watch limit (fs.inotify.max_user_watches) was
  // reached: the directories watched so far stay watched.
  bool watchTree(const char16_t* root);
  // A directory renamed or moved inside the watched trees, by drive-qualified paths.
  struct Move {
    std::u16string from;
    std::u16string to;
  };
  // Waits up to timeoutMs for changes and appends the drive-qualified paths of the directories
  // that changed to *changed (a directory may come more than once), and the directories moved to
  // *moved where the backend tells them (fanotify and inotify; their parents are reported as
  // changed too). *overflowed is set when the system dropped events: the watched trees must then
  // be checked whole. False when the watcher is broken.
  bool wait(uint32_t timeoutMs, std::vector<std::u16string>* changed, std::vector<Move>* moved,
            bool* overflowed);

  struct Native;
  explicit ChangeWatcher(std::unique_ptr<Native> native);

 private:
  std::unique_ptr<Native> native_;
};

// ---- Processes ---------------------------------------------------------------------------------

// A handle to a process. Waiting and the exit code work for processes this one started and for
// ones opened by id; on POSIX the exit code of a process not started by this one reads as 0.
// POSIX waits sleep on a pidfd; where the system refuses one they probe the process every few
// milliseconds instead (a child through waitpid, any other process through kill and its /proc
// state). A child whose last handle closes while it runs is reaped as soon as it ends.
class Process final {
 public:
  // CreateProcessW with only a command line, split by the Win32 rules (the first word is the
  // image, in quotes when it holds spaces). The new process gets its own console (POSIX: its own
  // session), a hidden window and no inherited handles (POSIX: descriptors above 2 closed); it is
  // started directly, never through a shell. On POSIX an image "name.exe" that does not exist is
  // started as "name"; a relative image is taken from the current directory (no search path).
  // Null on failure: kErrorFileNotFound, kErrorPathNotFound, kErrorAccessDenied,
  // kErrorBadExeFormat (not an executable format), kErrorInvalidParameter (empty command line).
  static std::unique_ptr<Process> start(const char16_t* commandLine);
  // OpenProcess with full access. Null (kErrorInvalidParameter) when no such process runs.
  static std::unique_ptr<Process> open(uint32_t processId);
  ~Process();  // closes the handle; the process goes on.
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  uint32_t id() const;
  // kSignaled once the process has ended, kTimedOut, or kFailed.
  WaitResult wait(uint32_t timeoutMs);
  // GetExitCodeProcess: kStillActive while it runs. On POSIX a process ended by a signal reports
  // 128 + the signal number.
  bool exitCode(uint32_t* out);

  struct Native;
  explicit Process(std::unique_ptr<Native> native);

 private:
  std::unique_ptr<Native> native_;
};

uint32_t currentProcessId();

struct ProcessEntry {
  uint32_t processId = 0;
  std::u16string exeName;  // base name; on POSIX ".exe" is appended when it has no extension
};
// CreateToolhelp32Snapshot + Process32FirstW/NextW. False when the list cannot be read.
bool processSnapshot(std::vector<ProcessEntry>* out);

// ---- Thread-local slots ------------------------------------------------------------------------

// TlsAlloc / TlsGetValue / TlsSetValue / TlsFree. Values start null on every thread. The slot
// object may be used from any thread at once; each thread sees its own value.
class TlsSlot final {
 public:
  static std::unique_ptr<TlsSlot> allocate();  // null (kErrorNotEnoughMemory) when none is left
  ~TlsSlot();
  TlsSlot(const TlsSlot&) = delete;
  TlsSlot& operator=(const TlsSlot&) = delete;

  void* get() const;
  bool set(void* value);

  struct Native;
  explicit TlsSlot(std::unique_ptr<Native> native);

 private:
  std::unique_ptr<Native> native_;
};

// ---- Run-time function lookup, WOW64, shell folders --------------------------------------------

// A loaded module. On POSIX there is no kernel32, so loaded() and the WOW64 calls always fail
// (kErrorModNotFound), and "shell32.dll" is an emulation whose SHGetFolderPathW answers from
// FSCANNER_SHELL_FOLDERS (such as "36=C:\opt\win;37=C:\opt\win\system32").
class Library final {
 public:
  // LoadLibraryA. Null (kErrorModNotFound) when it cannot be loaded.
  static std::unique_ptr<Library> load(const char* name);
  // GetModuleHandleW of an already loaded module: not loaded again, not freed on destruction.
  static std::unique_ptr<Library> loaded(const char16_t* name);
  ~Library();  // FreeLibrary for a loaded library.
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  // GetProcAddress. Null (kErrorProcNotFound) when the module does not export it.
  void* symbol(const char* name) const;

  struct Native;
  explicit Library(std::unique_ptr<Native> native);

 private:
  std::unique_ptr<Native> native_;
};

// Typed calls through a symbol found by Library::symbol.
// IsWow64Process(GetCurrentProcess(), &flag): false when the call fails.
bool callIsWow64Process(void* function, bool* isWow64);
// Wow64DisableWow64FsRedirection(&oldValue): the function's own result (1 on success).
int callWow64DisableWow64FsRedirection(void* function, void** oldValue);
// SHGetFolderPathW(no window, folderId, no token, flags 0, buffer of kMaxPath): HRESULT.
int32_t callSHGetFolderPath(void* function, int folderId, char16_t* buffer);

// GetWindowsDirectoryW / GetSystemDirectoryW: the length written, 0 on failure (on POSIX they
// answer from FSCANNER_SHELL_FOLDERS ids 36 and 37).
uint32_t getWindowsDirectory(char16_t* buffer, uint32_t capacity);
uint32_t getSystemDirectory(char16_t* buffer, uint32_t capacity);

// ---- Host programs -----------------------------------------------------------------------------

// What a program that hosts the module needs besides the module's own calls.
enum class StandardStream { kInput, kOutput, kError };
// True when the stream is an interactive terminal (a console on Windows).
bool isTerminal(StandardStream stream);
// The number of columns of the terminal (console window) behind the stream; 0 when it has none.
uint32_t terminalWidth(StandardStream stream);
// The running program's file in host (narrow) form: /proc/self/exe on POSIX,
// GetModuleFileName on Windows. False when it cannot be read.
bool executablePath(std::string* out);
// Hands the free pages inside the heap back to the system (malloc_trim on glibc, _heapmin on
// Windows): a long-running program calls it after freeing much at once, so that its resident
// memory follows what it holds rather than the most it ever held.
void releaseFreeMemory();
// CreateDirectoryW for one level of a drive-qualified path. False with kErrorAlreadyExists when
// it exists, kErrorPathNotFound when its parent does not.
bool createDirectory(const char16_t* path);

// ---- Registry ----------------------------------------------------------------------------------

// A key under HKEY_LOCAL_MACHINE opened for reading values. Absent on POSIX: open() always fails
// with kErrorFileNotFound.
class RegistryKey final {
 public:
  static std::unique_ptr<RegistryKey> openLocalMachine(const char16_t* subKey);
  ~RegistryKey();
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // RegQueryValueExW into buffer; *size is the capacity on entry and the bytes read on return.
  bool queryValue(const char16_t* name, uint8_t* buffer, uint32_t* size);

  struct Native;
  explicit RegistryKey(std::unique_ptr<Native> native);

 private:
  std::unique_ptr<Native> native_;
};

}  // namespace platform

#endif  // FSCANNER_PLATFORM_PLATFORM_H
