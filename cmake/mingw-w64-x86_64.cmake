# Cross-building for 64-bit Windows with Debian's mingw-w64. The -posix
# compilers are named in full: the win32 thread model has no std::thread or
# std::mutex, and installing it switches what the plain names point to.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER /usr/bin/${mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER /usr/bin/${mingw}-g++-posix)
set(CMAKE_RC_COMPILER /usr/bin/${mingw}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs built here run under Wine on this machine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
