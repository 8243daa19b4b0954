# Cross-compiles for Windows on x86-64 with MinGW-w64 (Debian: g++-mingw-w64-x86-64-posix).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Packages also from any prefix the caller names, such as a fresh install of this one.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# The C++ runtime and winpthreads go into each executable and DLL, so that
# they need no DLL beside them but the project's own. Programs get the 1 MiB
# stack that Windows compilers give by default (MinGW-w64 gives 2 MiB), so
# that the tests run where the product will.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--stack,1048576")
set(CMAKE_SHARED_LINKER_FLAGS_INIT -static)

# The build machine's header-only packages (toml++, utfcpp, CLI11) serve this
# build too: their CMake packages, where Debian puts them.
list(APPEND CMAKE_PREFIX_PATH /usr/lib/x86_64-linux-gnu/cmake /usr/share/cmake)
