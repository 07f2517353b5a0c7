# make run    installs what is missing, builds, plugs in a simulated amplifier, opens the panel
# make test   the whole suite: plain build, AddressSanitizer+UBSan build, ThreadSanitizer run
# make bench  the benchmarks
# make package        the Debian package build/package/ampbench_<version>_<arch>.deb
# make package-check  the package, checked by lintian and run unpacked
# make screenshots  the window pictures in docs/ taken anew (look at them before committing)
# make format formats every C++ source with .clang-format; make test checks it
PROGRAM ?= quorvex
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -G Ninja -DAMP_WERROR=ON

.PHONY: all deps build run test test-plain test-asan test-tsan test-windows bench package package-check screenshots format format-check clean

all: build

deps:
	@./scripts/install-deps

build/plain/build.ninja: | deps
	cmake -S . -B build/plain $(CMAKE_FLAGS)

build: deps build/plain/build.ninja
	cmake --build build/plain -j $(JOBS)

run: build
	./scripts/run-panel $(PROGRAM)

test: format-check build
	$(MAKE) test-plain test-asan test-tsan test-windows

test-plain:
	ctest --test-dir build/plain --output-on-failure -j $(JOBS)

test-asan: deps
	cmake -S . -B build/asan $(CMAKE_FLAGS) -DAMP_SANITIZE=address,undefined
	cmake --build build/asan -j $(JOBS)
	ctest --test-dir build/asan --output-on-failure -j $(JOBS) -LE e2e

test-tsan: deps
	cmake -S . -B build/tsan $(CMAKE_FLAGS) -DAMP_SANITIZE=thread
	cmake --build build/tsan -j $(JOBS) --target amp_threads_tests
	ctest --test-dir build/tsan --output-on-failure -j $(JOBS) -L threads

test-windows: deps
	./scripts/check-windows-build

bench: build
	./scripts/run-bench

package: deps
	JOBS=$(JOBS) ./scripts/build-package

package-check: deps
	./scripts/install-deps --package
	JOBS=$(JOBS) ./scripts/build-package --check

screenshots: build
	./scripts/take-screenshots

format: deps
	./scripts/check-format --fix

format-check: deps
	./scripts/check-format

clean:
	rm -rf build
