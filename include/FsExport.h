// Export and calling-convention macros of the plug-in module's interface.
#ifndef FSCANNER_FSEXPORT_H
#define FSCANNER_FSEXPORT_H

#if defined(_WIN32)
#if defined(FS_PROVIDER_BUILDING)
#define FS_PROVIDER_API __declspec(dllexport)
#else
#define FS_PROVIDER_API __declspec(dllimport)
#endif
#define FS_CDECL __cdecl
#else
#define FS_PROVIDER_API __attribute__((visibility("default")))
#define FS_CDECL
#endif

#endif  // FSCANNER_FSEXPORT_H
