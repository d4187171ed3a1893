# Cross build of the Windows executable for x86-64 with MinGW-w64 (win32
# thread model). Tests run the .exe under Wine through wine-run.sh, with a
# Wine prefix of its own under the build tree.
set(VORNBOOT_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
