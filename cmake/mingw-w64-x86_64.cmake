# Cross-building the format library and qorlu.exe for 64-bit Windows with
# Debian's mingw-w64 (GCC, posix thread model) and libz-mingw-w64-dev:
#
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#
# The programs and tests of that build run under Wine (see
# QORLU_WINEPREFIX in CMakeLists.txt); the Qt windows are left out.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QORLU_MINGW_TRIPLE x86_64-w64-mingw32)
# The posix thread model gives std::thread and std::mutex; the win32 one
# of GCC 12 has neither.
set(CMAKE_C_COMPILER ${QORLU_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QORLU_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QORLU_MINGW_TRIPLE}-windres)

# Libraries and headers come from the mingw-w64 tree only, programs from
# the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${QORLU_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
