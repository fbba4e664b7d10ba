# Set-up and everyday commands. `make run` and `make test` install whatever
# Debian packages are missing, configure and build, then run or test.
BUILD_DIR ?= build
SANITIZE_DIR ?= build-asan
TSAN_DIR ?= build-tsan
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

# The sanitizer build: every finding ends the process (no recovery), and
# ends it with SIGABRT, so that the command-line tests, which run the binary
# and check its exit status, see a signal rather than an ordinary status 1.
SANITIZE = -fsanitize=address,undefined -fno-sanitize-recover=all
SANITIZE_ENV = ASAN_OPTIONS=abort_on_error=1:detect_leaks=1:check_initialization_order=1 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:abort_on_error=1

# The thread sanitizer build runs the tests that use threads (in the test
# binary itself and through the executable), so that a data race fails; it
# builds those two binaries alone.
TSAN = -fsanitize=thread
TSAN_ENV = TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
THREAD_TESTS = 'RunInOrder|ThreadedEstimates|SeededReports|StopSignals|Journal|Decompose.HardParts'

.PHONY: run test build deps deps-program clean test-sanitizers test-threads fuzz-smoke

deps:
	sh scripts/install-deps

deps-program:
	sh scripts/install-deps --program

# The program alone (tintara, and tintara-mpi where MPI is installed): no
# test, benchmark, tool or Python module is built. Then two examples: the
# 3x3 grid, counted exactly by its blocks, and the 8x8 torus, one block too
# wide for that, estimated by splitting in a few seconds.
run: deps-program
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release -DTINTARA_TESTS=OFF -DTINTARA_BENCHMARKS=OFF
	cmake --build $(BUILD_DIR) -j $(JOBS) --target program
	$(BUILD_DIR)/tintara --problem examples/3x3_grid.txt --colors 3
	$(BUILD_DIR)/tintara --problem examples/torus_8x8.txt --colors 3

# Everything: the program, the tools, the tests, the benchmarks and the
# Python module (build/python).
build: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release -DTINTARA_TESTS=ON -DTINTARA_BENCHMARKS=ON \
		-DTINTARA_PYTHON_MODULE=ON
	cmake --build $(BUILD_DIR) -j $(JOBS)

# The suite, then the same suite built with AddressSanitizer and
# UndefinedBehaviorSanitizer, then a short fixed-seed run of the reader fuzzer.
test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)
	$(MAKE) --no-print-directory test-sanitizers test-threads fuzz-smoke

# Debug keeps the asserts; -O1 keeps the statistical tests quick enough.
# The MPI executable and its tests run in the Release pass only: Open MPI
# leaks at exit, which LeakSanitizer would report. The Python module
# (python/) runs in the Release pass only too: an extension built with
# AddressSanitizer loads only into an interpreter started with the
# sanitizer's runtime preloaded, whose own allocations LeakSanitizer would
# then report. The stop it asks for on Ctrl-C is covered in both sanitizer
# builds by the C++ tests of tests/stop_request_test.cpp.
# Instrumented code makes g++ 12 report uninitialised reads inside the
# standard library's own regex engine that do not happen; that one warning is
# off in this build only.
test-sanitizers: deps
	cmake -S . -B $(SANITIZE_DIR) -DCMAKE_BUILD_TYPE=Debug -DTINTARA_BENCHMARKS=OFF -DTINTARA_MPI=OFF \
		-DTINTARA_PYTHON_MODULE=OFF \
		-DCMAKE_CXX_FLAGS="-O1 -fno-omit-frame-pointer -Wno-maybe-uninitialized $(SANITIZE)" \
		-DCMAKE_EXE_LINKER_FLAGS="$(SANITIZE)"
	cmake --build $(SANITIZE_DIR) -j $(JOBS)
	$(SANITIZE_ENV) ctest --test-dir $(SANITIZE_DIR) --output-on-failure -j $(JOBS)

test-threads: deps
	cmake -S . -B $(TSAN_DIR) -DCMAKE_BUILD_TYPE=Debug -DTINTARA_BENCHMARKS=OFF -DTINTARA_MPI=OFF \
		-DTINTARA_PYTHON_MODULE=OFF \
		-DCMAKE_CXX_FLAGS="-O1 -g $(TSAN)" -DCMAKE_EXE_LINKER_FLAGS="$(TSAN)"
	cmake --build $(TSAN_DIR) -j $(JOBS) --target tintara tintara_tests
	$(TSAN_ENV) ctest --test-dir $(TSAN_DIR) --output-on-failure -j $(JOBS) -R $(THREAD_TESTS)

fuzz-smoke: deps
	sh scripts/fuzz-reader --smoke

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(TSAN_DIR) build-fuzz
