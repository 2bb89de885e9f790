# The two set-up commands: `make run` (the demo) and `make test`.
BUILD ?= build
JOBS ?= 2

.PHONY: all deps build test sanitize run bench clean

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

clean:
	rm -rf build build-asan build-bench
