# Installation and packaging. `cmake --install` lays out the module, the trace library, fsmon,
# fsquery and the host headers in a standard tree; CPack makes a .deb of it.
#
#   bin/fsquery, bin/fsmon                 the reference host and the monitor it starts
#   lib/provider_monitor.so, lib/libZrLogWrapper.so   (on Windows the DLLs go to bin/)
#   include/fscanner/*.h                   the host interfaces
#
# fsquery finds the module in ../lib beside its bin directory and fsmon next to itself, so the
# tree can be moved as a whole; the programs and the module find the trace library through a
# relative run path. The folders are fixed (no lib64 or multiarch folder) because fsquery looks
# for the module in exactly bin/../lib.
if(NOT WIN32)
  set_target_properties(fsquery fsmon PROPERTIES INSTALL_RPATH "$ORIGIN/../lib")
  set_target_properties(provider_monitor PROPERTIES INSTALL_RPATH "$ORIGIN")
endif()

install(TARGETS fsquery fsmon RUNTIME DESTINATION bin)
install(TARGETS provider_monitor ZrLogWrapper
        LIBRARY DESTINATION lib
        RUNTIME DESTINATION bin
        ARCHIVE EXCLUDE_FROM_ALL)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/ DESTINATION include/fscanner
        FILES_MATCHING PATTERN "*.h")

set(CPACK_PACKAGE_NAME fscanner)
set(CPACK_PACKAGE_VENDOR "fscanner developers")
set(CPACK_PACKAGE_CONTACT "fscanner developers <fscanner@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "File-system query provider module, its monitor program and the fsquery host")
set(CPACK_PACKAGE_VERSION 1.0.0)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6")
include(CPack)
