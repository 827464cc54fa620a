# Cross-building for 64-bit Windows with Debian's MinGW-w64, its POSIX-threads variant (the
# win32 one has no std::thread or std::mutex). The libraries come from TALMERU_WINDOWS_PREFIX,
# where tools/windows/build.sh installs them; the programs are linked statically, so that the
# .exe needs no DLL beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(prefix "$ENV{TALMERU_WINDOWS_PREFIX}")
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${prefix})
set(CMAKE_PREFIX_PATH ${prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ENV{PKG_CONFIG_LIBDIR} "${prefix}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
