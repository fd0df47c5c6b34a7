# Cross-build of the macOS arm64 bundles (.mexmaca64, Apple Silicon, macOS 11 on). The
# linker signs each bundle ad hoc, as Apple Silicon runs no unsigned code.
#   cmake --preset macos-arm64 (CMakePresets.json)
set(MACOS_ARCH arm64)
set(MACOS_MIN 11.0)
include(${CMAKE_CURRENT_LIST_DIR}/macos-common.cmake)
