# The two set-up commands: `make run` (the demo) and `make test`.
BUILD ?= build
JOBS ?= 2

.PHONY: all deps build test sanitize run bench fuzz soak clean

all: build

deps:
	scripts/install-deps

build: deps
	cmake -S . -B $(BUILD)
	cmake --build $(BUILD) -j$(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DKORVO_SANITIZE=ON
	cmake --build build-asan -j$(JOBS)
	ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build-asan --output-on-failure -j$(JOBS)

run: build
	scripts/demo

bench: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DKORVO_BENCH=ON -DKORVO_TESTS=OFF
	cmake --build build-bench -j$(JOBS)
	scripts/run-benchmarks build-bench

# Each libFuzzer target for FUZZ_SECONDS seconds, with both sanitizers
# (clang); fails on any finding.
FUZZ_SECONDS ?= 60
fuzz: deps
	cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
	  -DCMAKE_CXX_COMPILER=clang++ -DKORVO_FUZZ=ON -DKORVO_TESTS=OFF
	cmake --build build-fuzz -j$(JOBS) --target korvo_fuzz_targets
	scripts/run-fuzz build-fuzz $(FUZZ_SECONDS)

# The long run: 100,000 queries and 1,000 refreshes under LeakSanitizer.
soak: deps
	cmake -S . -B build-soak -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVO_SANITIZE=ON -DKORVO_SOAK=ON
	cmake --build build-soak -j$(JOBS) --target soak_test
	ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build-soak --output-on-failure -L soak -V

clean:
	rm -rf build build-asan build-bench build-fuzz build-soak
