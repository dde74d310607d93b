# SPDX-License-Identifier: GPL-2.0-or-later
# Cross toolchain for 64-bit Windows with Debian's mingw-w64 (package
# g++-mingw-w64-x86-64). Used for the Windows backends, which need only Win32
# and the C++ standard library:
#   cmake -S tests/wine/cross -B build-mingw -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VELMORANT_MINGW_TRIPLE x86_64-w64-mingw32 CACHE STRING "mingw-w64 target triple")
find_program(CMAKE_C_COMPILER NAMES ${VELMORANT_MINGW_TRIPLE}-gcc-posix ${VELMORANT_MINGW_TRIPLE}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${VELMORANT_MINGW_TRIPLE}-g++-posix ${VELMORANT_MINGW_TRIPLE}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${VELMORANT_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VELMORANT_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
