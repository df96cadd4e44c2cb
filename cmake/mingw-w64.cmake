# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (POSIX threads),
# with the libraries of scripts/windows-deps (VORIRAZ_WINDOWS_DEPS) and the
# Qt of scripts/windows-qt (VORIRAZ_WINDOWS_QT).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${VORIRAZ_WINDOWS_DEPS} ${VORIRAZ_WINDOWS_QT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Programs without Qt are linked with the MinGW runtime inside them
# (voriraz_static_runtime in CMakeLists.txt); those with Qt use its DLLs.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
# pkg-config looks only at the cross-built libraries. (The checks of the
# compiler read this file again without the cache, in the same process.)
if(VORIRAZ_WINDOWS_DEPS)
  set(ENV{PKG_CONFIG_LIBDIR} ${VORIRAZ_WINDOWS_DEPS}/lib/pkgconfig)
endif()
# zlib linked statically, as everything else.
set(ZLIB_USE_STATIC_LIBS ON)
