# The two commands a newcomer needs:
#   make demo   builds the client and runs it end to end on the embedded simulator
#   make test   builds with AddressSanitizer + UndefinedBehaviorSanitizer and runs every test
# Both install the Debian packages the project needs first (scripts/install-deps.sh).

JOBS ?= $(shell nproc)
FUZZ_RUNS ?= 100000

.PHONY: demo test deps build-test fuzz bench clean

deps:
	@bash scripts/install-deps.sh

demo: deps
	cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIT_TESTS=OFF -DKIT_BENCH=OFF
	ninja -C build/release -j $(JOBS) demo
	./build/release/tools/demo out/demo

build-test: deps
	cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKIT_SANITIZE=ON -DKIT_BENCH=OFF
	ninja -C build/asan -j $(JOBS)

test: build-test
	cd build/asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS) --timeout 300
	$(MAKE) --no-print-directory fuzz

# Every fuzz target replays its seeds and explores a fixed number of inputs
# from a fixed seed (reproducible).
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DKIT_FUZZ=ON -DKIT_TESTS=OFF -DKIT_BENCH=OFF
	ninja -C build/fuzz -j $(JOBS)
	bash scripts/run-fuzzers.sh build/fuzz/fuzz $(FUZZ_RUNS)

bench: deps
	cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DKIT_TESTS=OFF -DKIT_BENCH=ON
	ninja -C build/bench -j $(JOBS)
	bash scripts/run-benchmarks.sh build/bench/bench

clean:
	rm -rf build out
