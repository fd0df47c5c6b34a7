# Cross-build for Linux on AArch64 with Debian's g++-aarch64-linux-gnu, to run the
# module suites on arm64 code: programs run under qemu-aarch64 (Debian's qemu-user),
# which takes the AArch64 C and C++ runtime from /usr/aarch64-linux-gnu.
#   cmake --preset arm64 (CMakePresets.json)
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(ARM64_TRIPLE aarch64-linux-gnu)

set(CMAKE_C_COMPILER ${ARM64_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${ARM64_TRIPLE}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${ARM64_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(QEMU_AARCH64 qemu-aarch64 NO_CMAKE_FIND_ROOT_PATH)
if(QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QEMU_AARCH64} -L /usr/${ARM64_TRIPLE})
endif()
