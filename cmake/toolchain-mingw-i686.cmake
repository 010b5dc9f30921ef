# Cross build of the 32-bit Windows program with mingw-w64:
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake
# The program is linked statically, so the .exe needs no DLLs beside it.
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# CTest runs the test programs with Debian's 32-bit wine through the script
# that also works where the kernel runs no 32-bit code (it needs wine32:i386).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/wine/wine32.sh)
