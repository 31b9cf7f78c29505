# Entry points. `make test` and `make run` install what is missing first.
# `make asan` runs the random-use test with fewer actions (RESSONA_RANDOM_ACTIONS,
# 10 000 by default) as the sanitizers slow it down about tenfold.
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja

.PHONY: all deps configure build test run bench asan fuzz clean

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

asan: deps
	@cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DRESSONA_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  RESSONA_RANDOM_ACTIONS=$${RESSONA_RANDOM_ACTIONS:-10000} bash scripts/run-tests.sh $(ASAN_BUILD)

fuzz: deps
	@cmake -S . -B $(FUZZ_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_COMPILER=clang++ -DRESSONA_FUZZ=ON -DBUILD_TESTING=OFF \
	  -DRESSONA_WITH_QT=OFF -DRESSONA_WITH_ALSA=OFF >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@bash scripts/run-fuzz.sh $(FUZZ_BUILD) $${FUZZ_SECONDS:-30}

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
