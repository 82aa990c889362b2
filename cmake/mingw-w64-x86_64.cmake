# Cross build for 64-bit Windows with Debian's MinGW-w64 (the -posix variant,
# whose libstdc++ has std::thread and std::jthread). Executables link the C++
# and C runtimes and winpthread statically, so they run without DLLs beside
# them, under Windows or under wine64. Debian carries no Qt for Windows: this
# build has the core, brackwell-cli and their tests only.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

set(BRACKWELL_WITH_QT OFF CACHE BOOL "Build against Qt" FORCE)
set(BRACKWELL_BUILD_BENCH OFF CACHE BOOL "Build the benchmarks" FORCE)

# Tests and test discovery run the executables under wine64, in a prefix of
# this build's own (made at configure time, see the top CMakeLists.txt).
find_program(BRACKWELL_WINE64 wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(BRACKWELL_WINE64 wine64)
if(BRACKWELL_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      env WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix WINEDEBUG=-all ${BRACKWELL_WINE64})
endif()
