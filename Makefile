# Everyday entry points; CMake does the real work in build/ (release) and build-asan/.
JOBS ?= 2
BUILD ?= build
# An older morvane binary for `make bench` to time the whole-binary jobs against.
BENCH_OLD ?=
# Extra CMake settings, e.g. CMAKE_ARGS=-DMORVANE_WERROR=ON (CI does so).
CMAKE_ARGS ?=
# A subset of the tests, as a ctest -R pattern (empty: every test).
TESTS ?=

.PHONY: all deps demo test bench asan tsan install clean

all:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_ARGS) >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

# What a fresh Debian machine lacks: installed when root, else the one command to run.
deps:
	bash scripts/deps.sh

demo: deps
	$(MAKE) all
	bash scripts/demo.sh $(BUILD)

test: deps
	$(MAKE) all
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) $(if $(TESTS),-R '$(TESTS)')

bench:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DMORVANE_BENCH=ON >/dev/null
	cmake --build $(BUILD) -j $(JOBS)
	bash scripts/bench.sh $(BUILD)
	bash scripts/bench-jobs.sh $(BUILD) $(BENCH_OLD)
	bash scripts/bench-threads.sh $(BUILD)

# The programs and manual pages under CMAKE_INSTALL_PREFIX (default /usr/local), below DESTDIR.
install: all
	DESTDIR=$(DESTDIR) cmake --install $(BUILD)

# The tests of what runs on several threads, under ThreadSanitizer (TSAN_TESTS=. for all).
TSAN_TESTS ?= ThreadCounts|ThreadedInterrupts|StrikesFixture|PrimeSource.Sources|OrdaxThreads|Signals
tsan:
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVANE_TSAN=ON $(CMAKE_ARGS) >/dev/null
	cmake --build build-tsan -j $(JOBS)
	cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	  ctest --output-on-failure -j $(JOBS) -R '$(TSAN_TESTS)'

asan:
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DMORVANE_SANITIZE=ON $(CMAKE_ARGS) >/dev/null
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf build build-asan build-tsan build-fuzz
