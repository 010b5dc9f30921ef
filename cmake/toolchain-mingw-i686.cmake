# Cross build of the 32-bit Windows program with mingw-w64:
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake
# The program is linked statically, so the .exe needs no DLLs beside it.
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# No emulator: a 32-bit Windows program needs a 32-bit capable wine, which
# not every build machine has. Run it on Windows.
