# Cross build of the 32-bit Windows program with mingw-w64:
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake
# The program is linked statically, so the .exe needs no DLLs beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(mingw_prefix i686-w64-mingw32)
# The compilers of the win32 thread model: the program then needs nothing
# newer than Windows XP from the system (the POSIX thread model's runtime
# calls GetTickCount64, which came with Vista).
set(CMAKE_C_COMPILER ${mingw_prefix}-gcc-win32)
set(CMAKE_CXX_COMPILER ${mingw_prefix}-g++-win32)
set(CMAKE_RC_COMPILER ${mingw_prefix}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${mingw_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# No emulator: a 32-bit Windows program needs a 32-bit capable wine, which
# not every build machine has. Run it on Windows.
