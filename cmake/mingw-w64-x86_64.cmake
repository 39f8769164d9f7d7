# Cross-building for 64-bit Windows with Debian's mingw-w64 (POSIX thread model, for std::thread).
# CELLVANE_WINDOWS_PREFIX names the folder that holds the Windows builds of SDL, Highway and
# googletest (scripts/build-windows makes it).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# GCC for Windows does not align the stack to more than 16 bytes, yet may spill 32- and 64-byte
# vector registers with aligned moves to stack slots it believes aligned: on Windows such a move
# faults. The assembler writes every aligned vector move as its unaligned twin, which is as fast on
# aligned data and cannot fault.
set(CMAKE_C_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")
set(CMAKE_CXX_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 $ENV{CELLVANE_WINDOWS_PREFIX} ${CELLVANE_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Windows programs run under Wine on this machine (test discovery, the icon tool).
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
