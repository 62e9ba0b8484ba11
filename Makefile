# Entry points. Each installs missing Debian packages first, then drives CMake/Ninja.
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
# ccache (when installed) keys on paths relative to the clone, so that a fresh clone elsewhere on the
# same machine hits what an earlier one compiled.
export CCACHE_BASEDIR := $(CURDIR)
export CCACHE_NOHASHDIR := true
export CCACHE_MAXSIZE ?= 20G

.PHONY: deps build test demo install package asan tsan fuzz soak bench format clean

deps:
	@scripts/install-deps.sh

build: deps
	@cmake -S . -B build -G Ninja $(CMAKE_FLAGS) >/dev/null
	@cmake --build build -j $(JOBS)

test: build
	@cd build && ctest --output-on-failure -j $(JOBS)

demo: build
	@build/tools/zqdl/zqdl demo

# Headers, static libraries, CMake package, pkg-config file and zqdl under PREFIX.
PREFIX ?= /usr/local
install: build
	@cmake --install build --prefix $(PREFIX)

# The Debian package of the same (build/zqdatalayerremote-dev_<version>_<arch>.deb).
package: build
	@cd build && cpack -G DEB

# The suite under AddressSanitizer + UndefinedBehaviorSanitizer (clang).
asan: deps
	@cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang \
	  -DCMAKE_CXX_COMPILER=clang++ -DZQ_SANITIZE_ADDRESS=ON -DZQ_BUILD_BENCHMARKS=OFF >/dev/null
	@cmake --build build-asan -j $(JOBS)
	@cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

# The suite under ThreadSanitizer, built with clang so that -Wthread-safety checks the locks too.
tsan: deps
	@cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
	  -DCMAKE_CXX_COMPILER=clang++ -DZQ_SANITIZE_THREAD=ON -DZQ_BUILD_BENCHMARKS=OFF >/dev/null
	@cmake --build build-tsan -j $(JOBS)
	@cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/tests/tsan.supp" \
	  ctest --output-on-failure -j $(JOBS)

# Every libFuzzer target (clang, with ASan + UBSan) for FUZZ_SECONDS seconds each, on a copy of
# its corpus; prints the executions per target. FUZZ_RUNS also stops each target after that many
# inputs (-1, the default, runs for the whole time).
FUZZ_SECONDS ?= 60
FUZZ_RUNS ?= -1
fuzz: deps
	@cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
	  -DCMAKE_CXX_COMPILER=clang++ -DZQ_FUZZ=ON -DZQ_BUILD_BENCHMARKS=OFF >/dev/null
	@cmake --build build-fuzz -j $(JOBS) --target fuzz_targets
	@scripts/run-fuzzers.sh build-fuzz $(FUZZ_SECONDS) $(FUZZ_RUNS)

# The TSan build's concurrent suites again and again for SOAK_SECONDS, then the crash loops a
# hundred times per answer (scripts/soak.sh). Not part of CI.
SOAK_SECONDS ?= 600
soak: deps
	@cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
	  -DCMAKE_CXX_COMPILER=clang++ -DZQ_SANITIZE_THREAD=ON -DZQ_BUILD_BENCHMARKS=OFF >/dev/null
	@cmake --build build-tsan -j $(JOBS)
	@scripts/soak.sh build-tsan $(SOAK_SECONDS)

bench: build
	@mkdir -p build/bench-results
	@for b in build/bench/*_bench; do \
	  $$b --benchmark_out=build/bench-results/$$(basename $$b).json --benchmark_out_format=json; \
	done

format:
	@git ls-files '*.cpp' '*.hpp' | xargs clang-format -i

clean:
	@rm -rf build build-asan build-tsan build-fuzz
