# Glintworks: the two commands a new user needs.
#   make run    install what is missing, build, and run the program
#   make test   install what is missing, build, and run every test
# Both do only the work that is outstanding on a second run.
#   make package   build/glintworks_<version>_amd64.deb
#   make arm64     the programs cross-built for 64-bit ARM (Raspberry Pi, ...)
#   make package-arm64   build-arm64/glintworks_<version>_arm64.deb

BUILD      ?= build
WIN_BUILD  ?= build-windows
WEB_BUILD  ?= build-web
ARM_BUILD  ?= build-arm64
# The CPU that qemu emulates for the arm64 tests: a Raspberry Pi 4's, without
# SVE (tests/render.cmake adds qemu's max CPU at three SVE vector lengths,
# and its A64FX).
ARM_TEST_CPU ?= cortex-a72
# puppeteer-core for the browser tests and the page's benchmark, from npm
WEB_TEST_DIR = $(WEB_BUILD)/browser-tests
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
# Seconds each fuzzer runs in `make test`; a long run: make fuzz FUZZ_SECONDS=3600
FUZZ_SECONDS ?= 25
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps deps-run deps-package deps-windows deps-web deps-arm64 arm64 test-arm64 package-arm64 package build build-run build-asan build-fuzz windows web serve-web run test test-web test-web-unit bench-web test-unit test-asan test-windows fuzz bench bench-icount bench-e2e soak format-check include-check clean

all: build

# `make run` installs only what building and running need; everything that
# builds or runs tests installs the test tools too.
deps-run:
	@scripts/install-deps run

# The tools that build and check the Debian package, which `make run` does not need.
deps-package:
	@scripts/install-deps package

# The MinGW-w64 cross build, which neither `make run` nor `make package` needs.
deps-windows:
	@scripts/install-deps windows

# Emscripten, for the WebAssembly build and the browser page.
deps-web:
	@scripts/install-deps web

# The 64-bit ARM cross build: the cross compiler, the arm64 libraries
# (multiarch) and qemu.
deps-arm64:
	@scripts/install-deps arm64

deps:
	@scripts/install-deps test

# A build directory made by `make run` has no tests; the test targets turn
# them on (the program's objects are not rebuilt for that).
$(BUILD)/CMakeCache.txt: | deps-run
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DGLINTWORKS_TESTS=OFF

$(ASAN_BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGLINTWORKS_SANITIZE=ON

build: deps $(BUILD)/CMakeCache.txt
	cmake -S . -B $(BUILD) -DGLINTWORKS_TESTS=ON >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

build-run: deps-run $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target glintworks

# Windows x86-64 .exe files, cross-built with MinGW-w64:
# $(WIN_BUILD)/app/glintworks.exe and $(WIN_BUILD)/tools/glintworks-snapshot.exe.
# Made without tests, as for `make run`; test-windows turns them on.
$(WIN_BUILD)/CMakeCache.txt: | deps-windows
	cmake -S . -B $(WIN_BUILD) -DCMAKE_BUILD_TYPE=Release -DGLINTWORKS_TESTS=OFF \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake

windows: deps-windows $(WIN_BUILD)/CMakeCache.txt
	cmake --build $(WIN_BUILD) -j $(JOBS)

# 64-bit ARM Linux (Debian's arm64) programs, cross-built:
# $(ARM_BUILD)/app/glintworks and $(ARM_BUILD)/tools/glintworks-snapshot.
# Made without tests, as for `make run`; test-arm64 turns them on.
$(ARM_BUILD)/CMakeCache.txt: | deps-arm64
	cmake -S . -B $(ARM_BUILD) -DCMAKE_BUILD_TYPE=Release -DGLINTWORKS_TESTS=OFF \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake

arm64: deps-arm64 $(ARM_BUILD)/CMakeCache.txt
	cmake --build $(ARM_BUILD) -j $(JOBS)

# The arm64 build's tests under qemu-user (tests/CMakeLists.txt says which
# cannot run there and why), the package's included.
test-arm64: deps $(ARM_BUILD)/CMakeCache.txt
	cmake -S . -B $(ARM_BUILD) -DGLINTWORKS_TESTS=ON >/dev/null
	cmake --build $(ARM_BUILD) -j $(JOBS)
	cd $(ARM_BUILD) && QEMU_CPU=$(ARM_TEST_CPU) ctest --output-on-failure -j $(JOBS)

# The Debian package for arm64, its dependencies read from the arm64 libraries.
package-arm64: deps-arm64 $(ARM_BUILD)/CMakeCache.txt
	cmake --build $(ARM_BUILD) -j $(JOBS)
	cd $(ARM_BUILD) && cpack -G DEB

# The program as a web page: $(WEB_BUILD)/app/glintworks.html with its .js
# and .wasm. Made without tests, as for `make run`; test-web turns them on.
$(WEB_BUILD)/CMakeCache.txt: | deps-web
	cmake -S . -B $(WEB_BUILD) -DCMAKE_BUILD_TYPE=Release -DGLINTWORKS_TESTS=OFF \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/emscripten.cmake

web: deps-web $(WEB_BUILD)/CMakeCache.txt
	cmake --build $(WEB_BUILD) -j $(JOBS) --target glintworks

# The page on http://127.0.0.1:$(PORT)/ for a person to open (Ctrl+C ends).
PORT ?= 8080
serve-web: web
	scripts/serve-web $(WEB_BUILD)/app $(PORT)

# The scene's and the renderer's tests compiled to WebAssembly and run under
# node: the renderer's WebAssembly SIMD target and its portable one, each held
# to the tracer byte for byte. GoogleTest is built from Debian's sources, which
# the test tools bring (deps).
test-web-unit: deps $(WEB_BUILD)/CMakeCache.txt
	cmake -S . -B $(WEB_BUILD) -DGLINTWORKS_TESTS=ON >/dev/null
	cmake --build $(WEB_BUILD) -j $(JOBS) --target glintworks_scene_tests glintworks_render_tests
	cd $(WEB_BUILD) && ctest --output-on-failure -j $(JOBS) -L unit

# Frame times of the WebAssembly build under node, per SIMD target, beside
# the literal loop's and the native SSE4 target's, with their ratios; then
# the page's own frame rate in headless chromium. The benchmarks are built
# with the tests (deps).
bench-web: build $(WEB_BUILD)/CMakeCache.txt $(WEB_TEST_DIR)/node_modules/.package-lock.json
	cmake -S . -B $(WEB_BUILD) -DGLINTWORKS_TESTS=ON >/dev/null
	cmake --build $(WEB_BUILD) -j $(JOBS) --target glintworks_frame_times glintworks_frames glintworks_frame_pair glintworks
	scripts/bench-web $(WEB_BUILD) $(BUILD)

build-asan: deps $(ASAN_BUILD)/CMakeCache.txt
	cmake --build $(ASAN_BUILD) -j $(JOBS)

$(FUZZ_BUILD)/CMakeCache.txt: | deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGLINTWORKS_FUZZ=ON

build-fuzz: deps $(FUZZ_BUILD)/CMakeCache.txt
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_messages fuzz_blit

run: build-run
	scripts/run $(BUILD)

test: format-check include-check test-unit test-windows test-web test-arm64 test-asan fuzz

# Every C++ file laid out as .clang-format says.
format-check: deps
	scripts/format-check

# No two units (a header and its sources) include each other, directly or
# through others.
include-check:
	scripts/include-check

test-unit: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The Windows build under wine in a private Xvfb, held to the Linux build
# (GLINTWORKS_LINUX_BUILD), whose snapshot tool draws the expected pictures.
# The build folder's wine prefix (about 20 s, nearly all of it waiting) is made
# in the background while the cross build runs; the tests wait for it.
test-windows: build $(WIN_BUILD)/CMakeCache.txt
	@bash tests/windows/wine_prefix.sh $(abspath $(WIN_BUILD))/wineprefix >/dev/null 2>&1 &
	cmake -S . -B $(WIN_BUILD) -DGLINTWORKS_TESTS=ON -DGLINTWORKS_LINUX_BUILD=$(abspath $(BUILD)) >/dev/null
	cmake --build $(WIN_BUILD) -j $(JOBS)
	cd $(WIN_BUILD) && ctest --output-on-failure -j $(JOBS)

# The web page in headless chromium and Firefox ESR, and in chromium at two
# device pixels per CSS pixel, held to the Linux snapshot tool's pictures
# (tests/web/browser_test.js); 35 to 75 s on two shared cores.
# puppeteer-core, which drives the browsers, comes from npm at the version
# the lock file names; no package's install script runs (puppeteer-core
# needs none: the browsers are Debian's).
$(WEB_TEST_DIR)/node_modules/.package-lock.json: tests/web/package.json tests/web/package-lock.json | deps
	mkdir -p $(WEB_TEST_DIR)
	cp tests/web/package.json tests/web/package-lock.json $(WEB_TEST_DIR)/
	cd $(WEB_TEST_DIR) && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error

test-web: test-web-unit build web $(WEB_TEST_DIR)/node_modules/.package-lock.json
	NODE_PATH=$(abspath $(WEB_TEST_DIR))/node_modules timeout 300 \
	  node tests/web/browser_test.js $(WEB_BUILD)/app $(BUILD)/tools/glintworks-snapshot $(WEB_TEST_DIR)/work

# The unit tests again, under AddressSanitizer and UndefinedBehaviorSanitizer;
# any report fails the run.
test-asan: build-asan
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS) -L unit

# Both fuzzers for FUZZ_SECONDS each, starting from the committed seed corpora
# (new finds go to $(FUZZ_BUILD)/corpus-*, not into the tree).
fuzz: build-fuzz
	scripts/fuzz $(FUZZ_BUILD) $(FUZZ_SECONDS)

# The Debian package, with its dependencies found by dpkg-shlibdeps.
package: deps-package $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && cpack -G DEB

soak: build
	scripts/soak $(BUILD)

bench: build
	scripts/bench $(BUILD)

# Instructions per frame under valgrind, which the machine's load does not move.
bench-icount: build
	scripts/bench-icount $(BUILD)

# The real program in a virtual X server for ten seconds, its window SIZE
# (default 1920x1080), beside the frame benchmark at that size.
SIZE ?= 1920x1080
bench-e2e: build
	SIZE=$(SIZE) scripts/bench-e2e $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(WIN_BUILD) $(WEB_BUILD) $(ARM_BUILD)
