# Cross build of the Windows executable for i686 with MinGW-w64 (win32 thread
# model). Only 64-bit Wine is available on the build machines: the i686 test
# programs are built but no test is registered for them.
set(VORNBOOT_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
