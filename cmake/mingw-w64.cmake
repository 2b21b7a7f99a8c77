# Cross-builds the Windows programs with Debian's mingw-w64 (posix threads):
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VELLORA_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VELLORA_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELLORA_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${VELLORA_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VELLORA_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program stands alone: no libstdc++, libgcc or winpthread DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests and helper programs run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)

# -O2 as in the Linux build: at -O3 GCC 12 reports a false -Wrestrict inside
# std::string (GCC bug 105329).
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Flags of release builds")
