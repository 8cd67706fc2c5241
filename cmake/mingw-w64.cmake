# Cross-build for 64-bit Windows with Debian's mingw-w64 compilers (posix thread model):
#   cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DTR_CONSOLE=OFF
# Only the link and its Windows test are built this way; the programs run under wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TR_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TR_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TR_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TR_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TR_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Self-contained programs: no compiler run-time DLLs to be found next to them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
