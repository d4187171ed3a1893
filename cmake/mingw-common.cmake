# Settings shared by the MinGW-w64 toolchain files; VORNBOOT_MINGW_TRIPLE names
# the target.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${VORNBOOT_MINGW_TRIPLE})

# The -win32 compilers use the win32 thread model: no winpthread DLL to ship.
set(CMAKE_C_COMPILER ${VORNBOOT_MINGW_TRIPLE}-gcc-win32)
set(CMAKE_CXX_COMPILER ${VORNBOOT_MINGW_TRIPLE}-g++-win32)
set(CMAKE_RC_COMPILER ${VORNBOOT_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VORNBOOT_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# add_test() of an executable target runs it under Wine. The prefix lives in
# the build tree unless VORNBOOT_WINEPREFIX names another one.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh
    --prefix ${CMAKE_BINARY_DIR}/wine-prefix)

# Release executables without their symbol tables (about 670 KB → 260 KB).
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
set(CMAKE_EXE_LINKER_FLAGS_MINSIZEREL_INIT "-s")
