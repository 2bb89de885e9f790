# The two set-up commands: `make run` (the demo) and `make test`.
# Each CTest run writes its results to BUILD/Testing/junit-*.xml;
# scripts/report-skips lists the tests that did not run and why.
BUILD ?= build
JOBS ?= 2
# Warnings are errors in every build these targets (and so CI) make;
# WERROR=OFF builds with warnings only.
WERROR ?= ON

# (tsan: the threaded tests under ThreadSanitizer)
.PHONY: all deps build conky test sanitize tsan run bench bench-build fuzz soak clean windows-deps windows test-windows
.PHONY: dist test-dist install peer-corpus

all: build

deps:
	scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -DKORVO_WERROR=$(WERROR) -DKORVO_TESTS=ON
	cmake --build $(BUILD) -j$(JOBS)

# The Conky module alone: build/conky/korvo.so and korvo.lua beside it, and
# the plug-in build/libkorvo.so.
conky:
	scripts/install-deps conky
	cmake -S . -B $(BUILD) -DKORVO_TESTS=OFF
	cmake --build $(BUILD) -j$(JOBS) --target korvo korvo_conky

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS) --output-junit Testing/junit-test.xml

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize: deps
	cmake -S . -B build-asan -DKORVO_WERROR=$(WERROR) -DCMAKE_BUILD_TYPE=Debug -DKORVO_SANITIZE=ON
	cmake --build build-asan -j$(JOBS)
	ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build-asan --output-on-failure -j$(JOBS) \
	  --output-junit Testing/junit-test.xml

# The tests that run threads (download workers, the log, the test
# servers), under ThreadSanitizer.
TSAN_TESTS = background_downloads_test abi_background_test hostile_server_test abi_hostile_servers_test abi_disk_cache_test
tsan: deps
	cmake -S . -B build-tsan -DKORVO_WERROR=$(WERROR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVO_TSAN=ON
	cmake --build build-tsan -j$(JOBS) --target korvo $(TSAN_TESTS)
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" ctest --test-dir build-tsan --output-on-failure -j$(JOBS) \
	  --output-junit Testing/junit-test.xml \
	  -R '^(BackgroundDownloadsTest|BackgroundAbiTest|HostileServerTest|HostileServersTest|DiskCacheAbiTest)\.'

# The demo needs the plug-in and korvo-host (and, for scripts/demo --conky,
# the Conky module), not the test programs: `make test` builds those.
run:
	scripts/install-deps run
	cmake -S . -B $(BUILD) -DKORVO_WERROR=$(WERROR) -DKORVO_TESTS=OFF
	cmake --build $(BUILD) -j$(JOBS) --target korvo korvo-host
	scripts/demo

bench: bench-build
	scripts/run-benchmarks build-bench

# The benchmark programs built, not run (CI builds them so that none rots).
bench-build: deps
	cmake -S . -B build-bench -DKORVO_WERROR=$(WERROR) -DCMAKE_BUILD_TYPE=Release -DKORVO_BENCH=ON -DKORVO_TESTS=OFF
	cmake --build build-bench -j$(JOBS)

# Each libFuzzer target for FUZZ_SECONDS seconds, with both sanitizers
# (clang); fails on any finding.
FUZZ_SECONDS ?= 60
fuzz: deps
	cmake -S . -B build-fuzz -DKORVO_WERROR=$(WERROR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
	  -DCMAKE_CXX_COMPILER=clang++ -DKORVO_FUZZ=ON -DKORVO_TESTS=OFF
	cmake --build build-fuzz -j$(JOBS) --target korvo_fuzz_targets
	scripts/run-fuzz build-fuzz $(FUZZ_SECONDS)

# The long run: 100,000 queries and 1,000 refreshes under LeakSanitizer.
soak: deps
	cmake -S . -B build-soak -DKORVO_WERROR=$(WERROR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVO_SANITIZE=ON -DKORVO_SOAK=ON
	cmake --build build-soak -j$(JOBS) --target soak_test
	ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build-soak --output-on-failure -L soak -V

# The Windows library, cross-compiled with mingw-w64: build-win32/korvo.dll
# and build-win64/korvo.dll (with korvo-host.exe beside each), and their
# tests under Wine. Installs its own packages (scripts/install-windows-deps)
# and TinyXML's Debian sources (scripts/fetch-tinyxml-source).
WIN_TOOLCHAIN_32 = -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake
WIN_TOOLCHAIN_64 = -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake
windows-deps:
	scripts/install-windows-deps
	scripts/fetch-tinyxml-source >/dev/null

windows: windows-deps
	cmake -S . -B build-win32 -DKORVO_WERROR=$(WERROR) $(WIN_TOOLCHAIN_32)
	cmake --build build-win32 -j$(JOBS) --target korvo korvo-host
	cmake -S . -B build-win64 -DKORVO_WERROR=$(WERROR) $(WIN_TOOLCHAIN_64)
	cmake --build build-win64 -j$(JOBS) --target korvo korvo-host

# The 32-bit tests run where the kernel can run 32-bit programs; elsewhere
# scripts/run-windows-tests says they are skipped and checks only the
# 32-bit build's files.
test-windows: windows
	scripts/run-windows-tests build-win32 build-win64

# What users download, named with the project's version V (project() in
# CMakeLists.txt), into dist/: korvo-V-windows-x86.zip and
# korvo-V-windows-x64.zip (korvo.dll, Korvo.ini, INSTALL.txt),
# korvo-V-linux-x86_64.tar.gz (with install.sh) and korvo_V_amd64.deb
# (cmake/packaging.cmake, scripts/make-dist). Builds the plug-ins, korvo-host
# and the Conky module; no test program.
dist: windows
	scripts/install-deps dist
	cmake -S . -B $(BUILD) -DKORVO_WERROR=$(WERROR) -DKORVO_TESTS=OFF
	cmake --build $(BUILD) -j$(JOBS) --target korvo korvo-host korvo_conky
	scripts/make-dist $(BUILD) build-win32 build-win64 dist

# The packages as a user meets them (tests/dist): each zip unpacked and
# loaded from its folder by korvo-host.exe under Wine (the x86 one where
# the kernel runs 32-bit programs); the tarball's install.sh with a scratch
# HOME, then Conky in console mode with the command it printed; the .deb
# installed with dpkg, korvo-host --version from PATH, removed. As root.
test-dist: dist
	scripts/install-deps
	cmake -S . -B $(BUILD) -DKORVO_WERROR=$(WERROR) -DKORVO_TESTS=ON
	cmake --build $(BUILD) -j$(JOBS) --target dist_test
	scripts/run-dist-tests $(BUILD)

# The plug-in, korvo-host and the Conky module installed under PREFIX (the
# same files as the .deb); each user then runs korvo-setup once.
PREFIX ?= /usr/local
install:
	scripts/install-deps run
	cmake -S . -B $(BUILD) -DKORVO_WERROR=$(WERROR) -DKORVO_TESTS=OFF
	cmake --build $(BUILD) -j$(JOBS) --target korvo korvo-host korvo_conky
	cmake --install $(BUILD) --prefix $(PREFIX) --strip

# The peer corpus check (docs/peer-corpus.md): Korvo's texts against the
# test expectations of the feed parser feedparser. Run by hand, never by
# make test or CI: the corpus is fetched (pinned, checked by sha256) into
# build-peers/ unless PEER_CORPUS names an unpacked tests/ folder. Prints a
# table per folder and per field; the checks that do not agree go to
# build-peers/failures.txt, and the figures to build-peers/figures.json,
# which the next run compares against.
PEER_CORPUS ?=
peer-corpus:
	cmake -S . -B build-peers/build -DKORVO_WERROR=$(WERROR) -DKORVO_TESTS=OFF -DKORVO_TOOLS=ON >/dev/null
	cmake --build build-peers/build -j$(JOBS) --target korvo-peer-corpus >/dev/null
	corpus="$(PEER_CORPUS)"; [ -n "$$corpus" ] || corpus=$$(tools/peer-corpus/fetch-corpus build-peers) && \
	python3 tools/peer-corpus/peer_corpus.py --corpus "$$corpus" \
	  --driver build-peers/build/tools/peer-corpus/korvo-peer-corpus \
	  --failures build-peers/failures.txt --against build-peers/figures.json --save build-peers/figures.json

clean:
	rm -rf build build-asan build-tsan build-bench build-fuzz build-soak
	rm -rf build-win32 build-win64 build-win-src build-win-wine dist
