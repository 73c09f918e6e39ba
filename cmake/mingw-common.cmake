# The MinGW-w64 cross build, shared by the per-architecture toolchain files, which set
# CMAKE_SYSTEM_PROCESSOR and QUORVEL_MINGW_TRIPLE before they include this.
set(CMAKE_SYSTEM_NAME Windows)

# The posix thread model: the core uses std::mutex and thread_local, which the win32 model of
# GCC 12 lacks. winpthread is linked statically like the rest of the runtime.
set(CMAKE_C_COMPILER ${QUORVEL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUORVEL_MINGW_TRIPLE}-g++-posix)
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
