// Where a named kernel object ("Global\x", "Local\x", "x") lives on POSIX: a file in /dev/shm.
#ifndef FSCANNER_PLATFORM_POSIX_OBJECT_NAME_H
#define FSCANNER_PLATFORM_POSIX_OBJECT_NAME_H

#include <string>

namespace platform {
namespace internal {

// The host path of the shared-memory segment of a named object. The namespace prefixes
// "Global\" and "Local\" are case-sensitive, as on Windows; a plain name is Local. The file name
// holds the user id (users never share objects), the namespace and the escaped name; a name too
// long for one file name keeps a prefix and a 128-bit hash of the whole name. False with
// kErrorInvalidName for a null or empty name or a backslash after the prefix, kErrorPathNotFound
// for a backslash in a name without a known prefix (such as "a\b" or "global\x").
bool namedObjectPath(const char16_t* name, std::string* path);

}  // namespace internal
}  // namespace platform

#endif  // FSCANNER_PLATFORM_POSIX_OBJECT_NAME_H
