# Entry points. `make test` and `make run` install what is missing first.
# `make asan` runs the random-use test with fewer actions (RESSONA_RANDOM_ACTIONS,
# 10 000 by default) as the sanitizers slow it down about tenfold.
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja

.PHONY: all deps configure build test run bench package asan asan-short fuzz clean

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@bash scripts/run-tests.sh $(BUILD)

run: build
	@bash scripts/run-program.sh $(BUILD)

bench: build
	@bash scripts/run-bench.sh $(BUILD)

# The Debian package: the programs and their files from the build tree,
# written to $(BUILD)/package/ressona_VERSION_ARCH.deb (packaging/).
package: configure
	@cmake --build $(BUILD) -j $(JOBS) --target ressona-package-contents
	@rm -f $(BUILD)/package/*.deb
	@cd $(BUILD) && cpack -B package >/dev/null
	@ls $(BUILD)/package/*.deb

asan: deps
	@cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DRESSONA_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  RESSONA_RANDOM_ACTIONS=$${RESSONA_RANDOM_ACTIONS:-10000} bash scripts/run-tests.sh $(ASAN_BUILD)

# What CI runs under the sanitizers: the unit and sim tests (the simulated
# card drives the same pass, analysis and storage code as a real one) with a
# short random-use run, so the step fits the run's time budget (README, "CI").
# Only what those tests run is built: their two binaries and the measurer
# (the GUI and audio tests' binaries are most of a full build's time).
asan-short: deps
	@cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DRESSONA_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS) --target ressona_unit_tests ressona_sim_tests ressona-measure
	@QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  RESSONA_RANDOM_ACTIONS=$${RESSONA_RANDOM_ACTIONS:-2000} \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -L '^(unit|sim)$$' -j $(JOBS) --timeout 900

# -O1 with line tables: what libFuzzer's own guide builds with, and about half
# the compile time of -O2 -g for the same findings.
fuzz: deps
	@cmake -S . -B $(FUZZ_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" \
	  -DCMAKE_CXX_COMPILER=clang++ -DRESSONA_FUZZ=ON -DBUILD_TESTING=OFF \
	  -DRESSONA_WITH_QT=OFF -DRESSONA_WITH_ALSA=OFF >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@FUZZ_TOTAL_SECONDS=$${FUZZ_TOTAL_SECONDS:-} bash scripts/run-fuzz.sh $(FUZZ_BUILD) $${FUZZ_SECONDS:-30}

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
