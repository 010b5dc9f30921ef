# Cross build of the same sources as a 64-bit Windows program, which runs
# under wine64 on a 64-bit Linux host:
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-x86_64.cmake
# CTest runs the test programs through wine64 (set WINEPREFIX to a prefix of
# your own; WINEDEBUG=-all keeps the output clean).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# wine64 is not on PATH in Debian's packaging; look in its library directory too.
find_program(WINE64_PROGRAM NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(WINE64_PROGRAM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE64_PROGRAM})
endif()
