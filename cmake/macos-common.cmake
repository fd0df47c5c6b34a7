# What both macOS cross-builds share: clang and ld64.lld without a macOS SDK. The
# modules need no system headers or libraries, only clang's own headers and our text
# stubs (.tbd) of the libraries they link. Set MACOS_ARCH and MACOS_MIN before.
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_PROCESSOR ${MACOS_ARCH})
set(CMAKE_OSX_ARCHITECTURES ${MACOS_ARCH})
set(CMAKE_OSX_DEPLOYMENT_TARGET ${MACOS_MIN})
set(MACOS_TRIPLE ${MACOS_ARCH}-apple-macosx${MACOS_MIN})

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

# Freestanding: clang's own headers (stdint.h, immintrin.h, arm_neon.h, ...) and never
# the build machine's; no libraries or start-up files but those a target names.
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
