# The MinGW-w64 cross build, shared by the per-architecture toolchain files, which set
# CMAKE_SYSTEM_PROCESSOR, QUORVEL_MINGW_TRIPLE and QUORVEL_WINNT before they include this.
set(CMAKE_SYSTEM_NAME Windows)

# The win32 thread model: the posix one links winpthread, which imports GetTickCount64 and so
# does not load on Windows XP. The core needs only thread_local and thread-safe statics, which
# the win32 model provides; it has no std::mutex, so the core uses none.
set(CMAKE_C_COMPILER ${QUORVEL_MINGW_TRIPLE}-gcc-win32)
set(CMAKE_CXX_COMPILER ${QUORVEL_MINGW_TRIPLE}-g++-win32)
# The oldest Windows the DLL is built for (the toolchain file sets QUORVEL_WINNT): the headers
# then hide what that version lacks. scripts/check-imports.sh checks the result.
set(CMAKE_C_FLAGS_INIT "-D_WIN32_WINNT=${QUORVEL_WINNT} -DWINVER=${QUORVEL_WINNT}")
set(CMAKE_CXX_FLAGS_INIT "-D_WIN32_WINNT=${QUORVEL_WINNT} -DWINVER=${QUORVEL_WINNT}")
set(CMAKE_RC_FLAGS_INIT "-D_WIN32_WINNT=${QUORVEL_WINNT}")
set(CMAKE_RC_COMPILER ${QUORVEL_MINGW_TRIPLE}-windres)
find_program(QUORVEL_WIDL NAMES ${QUORVEL_MINGW_TRIPLE}-widl REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${QUORVEL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Host .pc files describe Linux libraries; never let them leak into a Windows build.
set(ENV{PKG_CONFIG_LIBDIR} "")
set(ENV{PKG_CONFIG_PATH} "")

# One self-contained DLL: the GCC runtime and the C++ library linked in, so that it needs
# nothing beyond the system DLLs on a host machine.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -s")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
