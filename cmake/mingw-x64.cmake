# Cross build of the Windows DLL with Debian's MinGW-w64 (x86_64).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QUORVEL_MINGW_TRIPLE x86_64-w64-mingw32)
# The oldest host: Windows 7 x64.
set(QUORVEL_WINNT 0x0601)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
