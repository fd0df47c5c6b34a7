# Cross-build of the macOS x86-64 bundles with clang and ld64.lld, without a macOS SDK:
# the modules need no system headers or libraries, only clang's own headers and our
# text stubs (.tbd) of the libraries they link.
#   cmake -S . -B build/macos -DCMAKE_TOOLCHAIN_FILE=cmake/macos-x86_64.cmake
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_OSX_ARCHITECTURES x86_64)
set(CMAKE_OSX_DEPLOYMENT_TARGET 10.13)
set(MACOS_TRIPLE x86_64-apple-macosx10.13)

# LLVM 16: ld64.lld 14 ends the unwind index at the last entry written, so the last
# functions sharing one encoding are left without unwind entries.
find_program(CMAKE_C_COMPILER NAMES clang-16 REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES clang++-16 REQUIRED)
find_program(MACOS_LINKER NAMES ld64.lld-16 REQUIRED)
find_program(CMAKE_AR NAMES llvm-ar-16)
find_program(CMAKE_RANLIB NAMES llvm-ranlib-16)
find_program(LLVM_OBJDUMP NAMES llvm-objdump-16)
set(CMAKE_C_COMPILER_TARGET ${MACOS_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${MACOS_TRIPLE})

# Freestanding: clang's own headers (stdint.h, immintrin.h, ...) and never the build
# machine's; no libraries or start-up files but those a target names.
set(CMAKE_C_FLAGS_INIT "-ffreestanding -nostdlibinc")
set(CMAKE_CXX_FLAGS_INIT "-ffreestanding -nostdlibinc -nostdinc++")
# ld64.lld takes the platform and minimum OS from -platform_version, which clang passes
# for linkers of ld64's version 520 on.
set(MACOS_LINK_FLAGS "--ld-path=${MACOS_LINKER} -mlinker-version=711 -nostdlib \
-Wno-unused-command-line-argument")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${MACOS_LINK_FLAGS}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${MACOS_LINK_FLAGS}")
# Nothing can be linked into an executable without an SDK, so the compiler checks
# build a static library instead.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
