# Cross-build for Windows x86-64 with Debian's mingw-w64 (POSIX thread model).
#   cmake --preset windows (CMakePresets.json)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)
find_program(MINGW_DLLTOOL ${MINGW_TRIPLE}-dlltool REQUIRED)
find_program(MINGW_OBJDUMP ${MINGW_TRIPLE}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The GCC runtime (libgcc, libstdc++, winpthread) is linked into every binary, so that
# nothing but the system's own DLLs and ours has to be found at run time.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Windows programs built here run under Wine, in a prefix of the build tree's own so
# that nothing depends on the user's home; the tests keep its server up meanwhile.
find_program(WINE64 wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
find_program(WINESERVER NAMES wineserver64 wineserver PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
set(WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")
if(WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/env "WINEPREFIX=${WINEPREFIX}" WINEDEBUG=-all ${WINE64})
endif()
