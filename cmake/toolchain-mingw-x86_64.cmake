# Cross-compiles for 64-bit Windows with MinGW-w64 (the -posix thread model, for std::thread
# and std::mutex). Executables and DLLs link their C and C++ runtime statically, so they need no
# MinGW DLLs beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(FSCANNER_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${FSCANNER_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FSCANNER_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${FSCANNER_MINGW_TRIPLE}-windres)

# Libraries, headers and packages come from the MinGW sysroot only; programs from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${FSCANNER_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -static)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -static)

# Test programs run under Wine when it is installed (the test command installs it).
find_program(FSCANNER_WINE NAMES wine64 PATHS /usr/lib/wine)
if(FSCANNER_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${FSCANNER_WINE})
endif()
