# The two commands users need: `make run` and `make test`. Both install what is missing first.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
CMAKE_COMMON := -G Ninja -DSUNDRAL_WERROR=ON
FUZZ_SECONDS ?= 20

.PHONY: run install test deps build build-asan build-tsan build-fuzz test-normal test-asan test-tsan \
        test-fuzz format-check format bench clean

deps:
	@bash scripts/install-deps.sh

build: deps
	@cmake -S . -B build $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build build -j $(JOBS)

run: build
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	    exec ./build/sundral; \
	else \
	    bash scripts/demo.sh build; \
	fi

# Installs the programs, the desktop entry and the icon below PREFIX (default /usr/local).
PREFIX ?= /usr/local
install: build
	@cmake --install build --prefix "$(PREFIX)"

build-asan: deps
	@cmake -S . -B build-asan $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=Debug -DSUNDRAL_BENCH=OFF \
	    -DSUNDRAL_SANITIZE=address,undefined >/dev/null
	@cmake --build build-asan -j $(JOBS)

# Only the threaded engine and its tests run under ThreadSanitizer.
build-tsan: deps
	@cmake -S . -B build-tsan $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSUNDRAL_GUI=OFF \
	    -DSUNDRAL_BENCH=OFF -DSUNDRAL_SANITIZE=thread -DSUNDRAL_TEST_FILTER='^(engine|mixer|mp3out|waveout|cli|cli_media|wmin|mci|wmaout|wmastream)_' >/dev/null
	@cmake --build build-tsan -j $(JOBS)

build-fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B build-fuzz $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DSUNDRAL_GUI=OFF -DSUNDRAL_TESTS=OFF -DSUNDRAL_BENCH=OFF -DSUNDRAL_FUZZ=ON \
	    -DSUNDRAL_SANITIZE=address,undefined,fuzzer-no-link >/dev/null
	@cmake --build build-fuzz -j $(JOBS)

test-normal: build
	@cd build && ctest --output-on-failure -j $(JOBS)

test-asan: build-asan
	@cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
	    ctest --output-on-failure -j $(JOBS)

test-tsan: build-tsan
	@cd build-tsan && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 ctest --output-on-failure -j $(JOBS)

test-fuzz: build-fuzz
	@bash scripts/run-fuzzers.sh build-fuzz $(FUZZ_SECONDS)

format-check:
	@files=$$(git ls-files '*.cpp' '*.h'); \
	if [ -n "$$files" ]; then clang-format --dry-run --Werror $$files; fi

format:
	@git ls-files '*.cpp' '*.h' | xargs -r clang-format -i

# Everything `make test` runs: the normal suite, the sanitizer suites, the fuzzers, and the format check.
test: format-check test-normal test-asan test-tsan test-fuzz
	@echo "make test: all suites passed"

bench: build
	@bash scripts/run-benchmarks.sh build

clean:
	rm -rf build build-asan build-tsan build-fuzz
