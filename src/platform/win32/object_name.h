// Checks the names of named kernel objects.
#ifndef FSCANNER_PLATFORM_WIN32_OBJECT_NAME_H
#define FSCANNER_PLATFORM_WIN32_OBJECT_NAME_H

namespace platform {
namespace win32 {

// True for a non-empty name with at most a "Global\" or "Local\" prefix (any case) and no other
// backslash. Windows would read an empty name as "unnamed" and a further backslash as a
// directory; the layer refuses both with kErrorInvalidName on every platform.
bool isValidObjectName(const char16_t* name);

}  // namespace win32
}  // namespace platform

#endif  // FSCANNER_PLATFORM_WIN32_OBJECT_NAME_H
