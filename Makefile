# The two commands a newcomer needs:
#   make demo   builds the client and runs it end to end on the embedded simulator
#   make test   builds with AddressSanitizer + UndefinedBehaviorSanitizer, runs every test and
#               every fuzz target
# Both install the Debian packages the project needs first (scripts/install-deps.sh).

JOBS ?= $(shell nproc)
FUZZ_RUNS ?= 100000

.PHONY: demo test deps build-test fuzz bench bench-build play clean

deps:
	@bash scripts/install-deps.sh

# The browser engine draws on a display: the main job and the tests run
# under a virtual X server (Xvfb, with Mesa's software GL).
XVFB = xvfb-run -a -s "-screen 0 1280x1024x24"

demo: deps
	cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIT_TESTS=OFF -DKIT_BENCH=OFF
	ninja -C build/release -j $(JOBS) demo gameclient simulator
	$(XVFB) ./build/release/tools/demo out/demo

# One clang tree serves the tests and the fuzz targets: AddressSanitizer and
# UndefinedBehaviorSanitizer everywhere, libFuzzer instrumentation on the
# libraries, optimised a little so that the fuzzers get through their runs.
# The benchmark programs are built there too (not run), so that one that
# stops building is seen by the tests' build.
SANITIZE_TREE = build/sanitize

build-test: deps
	CC=clang CXX=clang++ cmake -S . -B $(SANITIZE_TREE) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_C_FLAGS_DEBUG="-g -O1" -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
	  -DKIT_SANITIZE=ON -DKIT_FUZZ=ON -DKIT_BENCH=ON
	ninja -C $(SANITIZE_TREE) -j $(JOBS)

# The engine tests (label "engine") find the display xvfb-run gives; the
# sanitizers instrument only the client's process (WebKit's own processes
# are Debian's), and LeakSanitizer reads the engine's known allocations from
# scripts/lsan-suppressions.txt.
test: build-test
	cd $(SANITIZE_TREE) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  $(XVFB) ctest --output-on-failure -j $(JOBS) --timeout 300
	FUZZ_JOBS=$(JOBS) bash scripts/run-fuzzers.sh $(SANITIZE_TREE)/fuzz $(FUZZ_RUNS)

# Every fuzz target replays its seeds and explores a fixed number of inputs
# from a fixed seed (reproducible).
fuzz: build-test
	FUZZ_JOBS=$(JOBS) bash scripts/run-fuzzers.sh $(SANITIZE_TREE)/fuzz $(FUZZ_RUNS)

# Every benchmark program, five repetitions each (under the virtual X
# server, for the client window's rows), then one table of every ratio
# against its peer with its goal (scripts/run-benchmarks.sh).
# BENCH_FLAGS go to every program, e.g. BENCH_FLAGS=--benchmark_min_time=0.05.
BENCH_FLAGS ?=
bench: bench-build
	$(XVFB) bash scripts/run-benchmarks.sh build/bench/bench $(BENCH_FLAGS)

# Every benchmark program built in a release tree of its own, none run.
bench-build: deps
	cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DKIT_TESTS=OFF -DKIT_BENCH=ON
	ninja -C build/bench -j $(JOBS) benchmarks

# A person's session: the simulator, and the client in a window of the
# desktop (needs a display) against it. DEVICE picks another device
# profile, e.g. DEVICE=notched812x375.
DEVICE ?= phone375x667
play: deps
	cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIT_TESTS=OFF -DKIT_BENCH=OFF
	ninja -C build/release -j $(JOBS) gameclient simulator
	bash scripts/play.sh build/release/bin $(DEVICE)

clean:
	rm -rf build out
