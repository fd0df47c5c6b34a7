# Front door: `make` builds the modules, `make demo` runs them in Octave, `make test`
# runs every suite. Each target installs the Debian packages it needs when missing.
JOBS ?= $(shell nproc)
RELEASE := build/release
ASAN := build/asan
WINDOWS := build/windows
MACOS := build/macos
MACOS_ARM64 := build/macos-arm64
ARM64 := build/arm64
FUZZ := build/fuzz
FUZZ_SECONDS ?= 600
FUZZERS := permanent expandTally edgejoin
# `make dist-linux DIST_TARGET=deliverables` builds only what goes into dist/.
DIST_TARGET ?= all

.PHONY: all dist dist-linux dist-windows dist-macos arm64 demo test bench fuzz fuzz-build clean

all: dist

# dist/linux, dist/windows, dist/macos, one archive of each, the Octave package (which
# pkg install compiles for the installing Octave), and dist/SHA256SUMS over them all
# (rewritten after each platform). The Octave build the tests and the demo use stays in
# build/release/octave: a .mex file serves only the Octave that built it.
dist:
	@scripts/install-deps.sh octave
	@scripts/install-deps.sh cross
	@$(MAKE) --no-print-directory dist-linux dist-windows dist-macos

dist-linux:
	cmake -S . -B $(RELEASE) -DMEX_OUTPUT_DIR=$(CURDIR)/dist/linux -DMEX_PACKAGE_DIR=$(CURDIR)/dist \
	      -DMEX_MACOS_DIR=$(CURDIR)/dist/macos \
	      -DMEX_MACOS_BUILD_DIR=$(CURDIR)/$(MACOS) >/dev/null
	cmake --build $(RELEASE) -j $(JOBS) --target $(DIST_TARGET)
	@scripts/sha256sums.sh dist

dist-windows:
	cmake -S . -B $(WINDOWS) --no-warn-unused-cli -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
	      -DMEX_OUTPUT_DIR=$(CURDIR)/dist/windows -DMEX_PACKAGE_DIR=$(CURDIR)/dist >/dev/null
	cmake --build $(WINDOWS) -j $(JOBS) --target $(DIST_TARGET)
	@scripts/sha256sums.sh dist

# Apple Silicon first: the Intel tree packs both kinds of bundle into one archive.
dist-macos:
	cmake -S . -B $(MACOS_ARM64) --no-warn-unused-cli -DCMAKE_TOOLCHAIN_FILE=cmake/macos-arm64.cmake \
	      -DMEX_OUTPUT_DIR=$(CURDIR)/dist/macos >/dev/null
	cmake --build $(MACOS_ARM64) -j $(JOBS) --target $(DIST_TARGET)
	cmake -S . -B $(MACOS) --no-warn-unused-cli -DCMAKE_TOOLCHAIN_FILE=cmake/macos-x86_64.cmake \
	      -DMEX_OUTPUT_DIR=$(CURDIR)/dist/macos -DMEX_PACKAGE_DIR=$(CURDIR)/dist >/dev/null
	cmake --build $(MACOS) -j $(JOBS) --target $(DIST_TARGET)
	@scripts/sha256sums.sh dist

# The stand-in host and the module suites for Linux on AArch64, run under qemu-aarch64
# by their ctest: on the macOS arm64 bundles as shipped (dist-macos first), and on the
# same sources built for Linux (not delivered).
arm64:
	cmake -S . -B $(ARM64) --no-warn-unused-cli -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux.cmake \
	      -DMEX_MACOS_DIR=$(CURDIR)/dist/macos -DMEX_MACOS_BUILD_DIR=$(CURDIR)/$(MACOS_ARM64) \
	      >/dev/null
	cmake --build $(ARM64) -j $(JOBS)

demo:
	@scripts/install-deps.sh octave
	@$(MAKE) --no-print-directory dist-linux
	octave-cli --no-gui --norc --quiet --no-history --path $(RELEASE)/octave examples/demo.m

# A cross toolchain that cannot be installed or build leaves its tree without tests,
# which the summary counts as failed.
test:
	@scripts/install-deps.sh test
	@scripts/install-deps.sh cross || echo "make test: cannot install the cross toolchains"
	@$(MAKE) --no-print-directory dist-linux
	@for t in windows macos; do $(MAKE) --no-print-directory dist-$$t || \
	    rm -f build/$$t/CTestTestfile.cmake build/$$t-arm64/CTestTestfile.cmake; done
	@$(MAKE) --no-print-directory arm64 || rm -f $(ARM64)/CTestTestfile.cmake
	@scripts/octave-chroot.sh make || echo "make test: no chroot of the newest Octave"
	cmake -S . -B $(ASAN) -DMEX_SANITIZE=ON >/dev/null
	cmake --build $(ASAN) -j $(JOBS)
	@$(MAKE) --no-print-directory fuzz-build
	@status=0; scripts/run-tests.sh $(RELEASE) $(ASAN) $(FUZZ) $(WINDOWS) $(MACOS) $(MACOS_ARM64) \
	    $(ARM64) || status=$$?; \
	    WINEPREFIX=$(CURDIR)/$(WINDOWS)/wineprefix /usr/lib/wine/wineserver64 -k 2>/dev/null; \
	    exit $$status

# Speed, side by side: module, plain loops, machine limit, Octave idiom (not a test).
bench:
	@scripts/install-deps.sh bench
	@$(MAKE) --no-print-directory dist
	cmake --build $(RELEASE) -j $(JOBS) --target bench
	bench/run.sh $(RELEASE)

# Mutation run (not a test): each mutant of tests/mutants.txt applied in turn, its
# module rebuilt for its architecture (x86-64: build/release; arm64: the macOS arm64
# bundles and build/arm64) and its suites run; sources and builds restored at the end.
# MUTATE_ARGS="--arch arm64" runs one architecture's part, "--only edgejoin" some
# mutants, "--check" only applies them.
MUTATE_TREES := $(if $(filter arm64,$(MUTATE_ARGS)),,dist-linux) \
                $(if $(filter x86-64,$(MUTATE_ARGS)),,dist-macos arm64)
.PHONY: mutate
mutate:
	@scripts/install-deps.sh test
	@scripts/install-deps.sh cross
	@$(MAKE) --no-print-directory $(MUTATE_TREES)
	scripts/mutate.py --jobs $(JOBS) --release $(RELEASE) --macos-arm64 $(MACOS_ARM64) \
	    --linux-arm64 $(ARM64) $(MUTATE_ARGS)

# The libFuzzer drivers, built by clang. `make test` runs each briefly; `make fuzz
# FUZZ_SECONDS=600` runs each that long, growing its corpus in build/fuzz/fuzz/long/.
fuzz-build:
	cmake -S . -B $(FUZZ) -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
	      -DMEX_FUZZ=ON >/dev/null
	cmake --build $(FUZZ) -j $(JOBS)

fuzz:
	@scripts/install-deps.sh fuzz
	@$(MAKE) --no-print-directory fuzz-build
	@for m in $(FUZZERS); do \
	    fuzz/run-fuzzer.sh $(FUZZ)/fuzz/$${m}_fuzz fuzz/corpus/$$m $(FUZZ)/fuzz/long/$$m \
	        $(FUZZ_SECONDS) || exit 1; \
	done

clean:
	rm -rf build dist
