# The flags of every build of a module, in one place: CMake (cmake/MexModule.cmake),
# the Octave package's Makefile (which includes this file), build_modules.m and
# bench/mca.sh read them from here.
#
# Every build, the hosts' own (mkoctfile, MATLAB's mex) included: each double
# operation rounded by itself, and no stack protector, whose check calls into the C
# library.
MEX_FLAGS = -O3 -ffp-contract=off -fno-stack-protector
# Where we link the module ourselves: no exceptions or RTTI, which would need the C++
# runtime's; unwind tables for every function, since host errors unwind through the
# module's frames and clang targeting macOS emits none without being asked.
MEX_LINKED_FLAGS = -fno-exceptions -fno-rtti -funwind-tables
# The dialect, for the builds CMake does not make (CMake sets its own): Apple's clang
# defaults to an older one than the sources need.
MEX_STD_FLAG = -std=c++17
# Windows (MinGW-w64 GCC): aligned vector moves assembled as unaligned ones. GCC may
# spill 32- and 64-byte vectors to the stack with aligned moves, and Windows aligns the
# stack to 16 bytes only (GCC bug 54412). Needs binutils 2.38 or later; build_modules.m
# and the Octave package's Makefile pass it where the assembler accepts it.
MEX_WINDOWS_FLAGS = -Wa,-muse-unaligned-vector-move
