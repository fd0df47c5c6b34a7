# Front door: `make` builds the modules, `make demo` runs them in Octave, `make test`
# runs every suite. Each target installs the Debian packages it needs when missing.
JOBS ?= $(shell nproc)
RELEASE := build/release
ASAN := build/asan

.PHONY: all dist demo test bench clean

all: dist

dist:
	@scripts/install-deps.sh octave
	cmake -S . -B $(RELEASE) -DMEX_OUTPUT_DIR=$(CURDIR)/dist/linux \
	      -DOCTAVE_OUTPUT_DIR=$(CURDIR)/dist/octave >/dev/null
	cmake --build $(RELEASE) -j $(JOBS)

demo: dist
	octave-cli --no-gui --norc --quiet --no-history --path dist/octave examples/demo.m

test:
	@scripts/install-deps.sh test
	@$(MAKE) --no-print-directory dist
	cmake -S . -B $(ASAN) -DMEX_SANITIZE=ON >/dev/null
	cmake --build $(ASAN) -j $(JOBS)
	@scripts/run-tests.sh $(RELEASE) $(ASAN)

# Speed, side by side: module, plain loops, machine limit, Octave idiom (not a test).
bench:
	@scripts/install-deps.sh bench
	@$(MAKE) --no-print-directory dist
	cmake --build $(RELEASE) -j $(JOBS) --target bench
	bench/run.sh $(RELEASE)

clean:
	rm -rf build dist
