# Front door: `make` builds the modules, `make demo` runs them in Octave, `make check`
# runs the fast suites of the Linux tree, `make test` every suite. Each target installs
# the Debian packages it needs when missing.
JOBS ?= $(shell nproc)
# The build trees are the presets of CMakePresets.json, each in build/NAME; these names
# are kept for the scripts that take a tree's folder.
RELEASE := build/release
MACOS_ARM64 := build/macos-arm64
ARM64 := build/arm64
FUZZ := build/fuzz
FUZZ_SECONDS ?= 600
# One fuzzer per module, as one module per source.
FUZZERS := $(basename $(notdir $(wildcard modules/*.cpp)))
# `make dist-linux DIST_TARGET=deliverables` builds only what goes into dist/;
# BUILD_TESTING=OFF configures no test, and nothing of the test framework may be found.
DIST_TARGET ?= all
BUILD_TESTING ?= ON

.PHONY: all dist dist-linux dist-windows dist-macos arm64 demo check test bench fuzz fuzz-build clean

all: dist

# tree-NAME configures and builds the preset NAME (its target DIST_TARGET).
tree-%:
	cmake --preset $* -DBUILD_TESTING=$(BUILD_TESTING) \
	    -DCMAKE_DISABLE_FIND_PACKAGE_GTest=$(if $(filter OFF,$(BUILD_TESTING)),ON,OFF) >/dev/null
	cmake --build --preset $* -j $(JOBS) --target $(DIST_TARGET)

# dist/linux, dist/windows, dist/macos, one archive of each, the Octave package (which
# pkg install compiles for the installing Octave), and dist/SHA256SUMS over them all
# (rewritten after each platform). The Octave build the tests and the demo use stays in
# build/release/octave: a .mex file serves only the Octave that built it.
dist:
	@scripts/install-deps.sh octave
	@scripts/install-deps.sh cross
	@$(MAKE) --no-print-directory dist-linux dist-windows dist-macos

dist-linux: tree-release
	@scripts/sha256sums.sh dist

dist-windows: tree-windows
	@scripts/sha256sums.sh dist

# Apple Silicon first: the Intel tree packs both kinds of bundle into one archive.
dist-macos:
	@$(MAKE) --no-print-directory tree-macos-arm64
	@$(MAKE) --no-print-directory tree-macos
	@scripts/sha256sums.sh dist

# The stand-in host and the module suites for Linux on AArch64, run under qemu-aarch64
# by their ctest: on the macOS arm64 bundles as shipped (dist-macos first), and on the
# same sources built for Linux (not delivered).
arm64: tree-arm64

demo:
	@scripts/install-deps.sh octave
	@$(MAKE) --no-print-directory dist-linux
	octave-cli --no-gui --norc --quiet --no-history --path $(RELEASE)/octave examples/demo.m

# The contributor's loop: the Linux tree, then its tests labelled check (the module,
# path and reference suites, the docs checks, Octave 7.3's suites): no emulator, no
# large case, no other tree.
check:
	@scripts/install-deps.sh check
	@$(MAKE) --no-print-directory tree-release
	ctest --preset check

# Every tree (each build preset), then every tree's tests in one ctest
# (scripts/run-tests.sh). The Linux tree first, which all need, then the others two at
# a time (built-NAME, logs in build/NAME.log). A tree that cannot be built (a cross
# toolchain that cannot be installed, or a build error), or a chroot of the newest
# Octave that cannot be made, counts as one failed test in the summary. The chroot is
# made (mostly downloading) while the trees build.
test:
	@scripts/install-deps.sh test
	@scripts/install-deps.sh cross || echo "make test: cannot install the cross toolchains"
	@mkdir -p build; rm -f build/unbuilt; \
	scripts/octave-chroot.sh make >build/octave-chroot.out 2>&1 & chroot=$$!; \
	$(MAKE) --no-print-directory dist-linux || { wait $$chroot; exit 1; }; \
	trees=$$(cmake --build --list-presets | sed -n 's/^ *"\(.*\)"$$/\1/p' | grep -vx release); \
	$(MAKE) --no-print-directory -j 2 $$(for t in $$trees; do echo built-$$t; done); \
	wait $$chroot || echo octave-chroot >>build/unbuilt; cat build/octave-chroot.out; \
	scripts/sha256sums.sh dist; \
	scripts/run-tests.sh --unbuilt "$$(cat build/unbuilt 2>/dev/null | xargs)" release $$trees

# The macOS x86-64 tree packs the arm64 bundles into the one macOS archive.
built-macos: built-macos-arm64
built-%:
	@echo "building build/$*"
	@$(MAKE) --no-print-directory tree-$* DIST_TARGET=all >build/$*.log 2>&1 || \
	    { tail -n 30 build/$*.log; echo "make test: build/$* does not build"; echo $* >>build/unbuilt; }

# Speed, side by side: module, its AVX2 and SSE2 builds (what each path gains), plain
# loops, machine limit, Octave idiom (not a test).
bench:
	@scripts/install-deps.sh bench
	@$(MAKE) --no-print-directory dist
	cmake --build $(RELEASE) -j $(JOBS) --target bench
	bench/run.sh $(RELEASE) AVX2=$(RELEASE)/modules_avx2 SSE2=$(RELEASE)/modules_baseline

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
fuzz-build: tree-fuzz

fuzz:
	@scripts/install-deps.sh fuzz
	@$(MAKE) --no-print-directory fuzz-build
	@for m in $(FUZZERS); do \
	    fuzz/run-fuzzer.sh $(FUZZ)/fuzz/$${m}_fuzz fuzz/corpus/$$m $(FUZZ)/fuzz/long/$$m \
	        $(FUZZ_SECONDS) || exit 1; \
	done

clean:
	rm -rf build dist
