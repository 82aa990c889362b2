# Cross build for 64-bit Windows with Debian's MinGW-w64 (the -posix variant,
# whose libstdc++ has std::thread and std::jthread). Executables link the C++
# and C runtimes and winpthread statically, so they run without DLLs beside
# them, under Windows or under wine64. Debian carries no Qt for Windows: this
# build has the core, brackwell-cli and their tests, and also the window when
# BRACKWELL_WINDOWS_QT names a Qt built for MinGW-w64 x86_64 (its install
# prefix; scripts/windows-qt.sh builds one, static, from Debian's Qt sources).
# Qt's host tools (moc, rcc, uic, lrelease) are then this machine's own Qt's,
# which must be of the same version.
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

set(BRACKWELL_WINDOWS_QT "" CACHE PATH "A Qt for MinGW-w64 x86_64 (its prefix): builds the window too")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES BRACKWELL_WINDOWS_QT)
if(BRACKWELL_WINDOWS_QT)
  # The Qt prefix as a root of its own, its lib/cmake as the place of its
  # packages (a prefix below a root would be searched below it again).
  list(PREPEND CMAKE_FIND_ROOT_PATH ${BRACKWELL_WINDOWS_QT})
  list(PREPEND CMAKE_PREFIX_PATH ${BRACKWELL_WINDOWS_QT}/lib/cmake)
  set(QT_HOST_PATH /usr CACHE PATH "The Qt whose tools run on this machine")
  file(GLOB host_qt_cmake_dirs /usr/lib/*/cmake/Qt6HostInfo)
  list(GET host_qt_cmake_dirs 0 host_qt_cmake_dir)
  get_filename_component(host_qt_cmake_dir "${host_qt_cmake_dir}" DIRECTORY)
  set(QT_HOST_PATH_CMAKE_DIR "${host_qt_cmake_dir}" CACHE PATH "The packages of the Qt whose tools run on this machine")
else()
  set(BRACKWELL_WITH_QT OFF CACHE BOOL "Build against Qt" FORCE)
endif()

# Tests and test discovery run the executables under wine64, in a prefix of
# this build's own (made at configure time, see the top CMakeLists.txt).
find_program(BRACKWELL_WINE64 wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(BRACKWELL_WINE64 wine64)
if(BRACKWELL_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      env WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix WINEDEBUG=-all ${BRACKWELL_WINE64})
endif()
