# Glintworks: the two commands a new user needs.
#   make run    install what is missing, build, and run the program
#   make test   install what is missing, build, and run every test
# Both do only the work that is outstanding on a second run.

BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
# Seconds each fuzzer runs in `make test`; a long run: make fuzz FUZZ_SECONDS=3600
FUZZ_SECONDS ?= 25
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps build build-asan build-fuzz run test test-unit test-asan fuzz bench bench-icount bench-e2e soak clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release

$(ASAN_BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGLINTWORKS_SANITIZE=ON

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

build-asan: deps $(ASAN_BUILD)/CMakeCache.txt
	cmake --build $(ASAN_BUILD) -j $(JOBS)

$(FUZZ_BUILD)/CMakeCache.txt: | deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGLINTWORKS_FUZZ=ON

build-fuzz: deps $(FUZZ_BUILD)/CMakeCache.txt
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_messages fuzz_blit

run: build
	scripts/run $(BUILD)

test: test-unit test-asan fuzz

test-unit: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

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
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
