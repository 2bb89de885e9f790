# Cross-compiling for 32-bit Windows with Debian's mingw-w64 (POSIX threads flavour):
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(KORVO_MINGW_TRIPLE i686-w64-mingw32)

set(CMAKE_C_COMPILER ${KORVO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KORVO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KORVO_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KORVO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under Wine, in the project's own Wine prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
