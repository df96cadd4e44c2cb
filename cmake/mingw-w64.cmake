# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (POSIX threads),
# the libraries of build-windows/deps first.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${VORIRAZ_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Programs built here run under Wine, without the MinGW runtime DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
# pkg-config looks only at the cross-built libraries. (The checks of the
# compiler read this file again without the cache, in the same process.)
if(VORIRAZ_WINDOWS_DEPS)
  set(ENV{PKG_CONFIG_LIBDIR} ${VORIRAZ_WINDOWS_DEPS}/lib/pkgconfig)
endif()
# zlib linked statically, as everything else.
set(ZLIB_USE_STATIC_LIBS ON)
