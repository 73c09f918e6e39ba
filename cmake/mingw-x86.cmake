# Cross build of the Windows DLL with Debian's MinGW-w64 (i686).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QUORVEL_MINGW_TRIPLE i686-w64-mingw32)
# The oldest host: Windows XP SP3.
set(QUORVEL_WINNT 0x0501)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
