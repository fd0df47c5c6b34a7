# Front door: `make` builds the modules, `make demo` runs them in Octave, `make test`
# runs every suite. Each target installs the Debian packages it needs when missing.
JOBS ?= $(shell nproc)
RELEASE := build/release
ASAN := build/asan
FUZZ := build/fuzz
FUZZ_SECONDS ?= 600
FUZZERS := permanent expandTally edgejoin

.PHONY: all dist demo test fuzz fuzz-build clean

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
	@$(MAKE) --no-print-directory fuzz-build
	@scripts/run-tests.sh $(RELEASE) $(ASAN) $(FUZZ)

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
