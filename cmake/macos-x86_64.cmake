# Cross-build of the macOS x86-64 bundles (.mexmaci64, Intel Macs, macOS 10.13 on).
#   cmake --preset macos (CMakePresets.json)
set(MACOS_ARCH x86_64)
set(MACOS_MIN 10.13)
include(${CMAKE_CURRENT_LIST_DIR}/macos-common.cmake)
