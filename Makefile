# Two commands on a fresh machine: `make demo` and `make test`.
BUILD      ?= build
BUILD_SAN  ?= build-san
BUILD_TSAN ?= build-tsan
BUILD_FUZZ ?= build-fuzz
BUILD_BENCH?= build-bench
JOBS       ?= $(shell nproc)

.PHONY: all setup configure build test demo install package sanitize sanitize-thread fuzz bench clean

all: build

setup:
	@scripts/setup

# The tests run with assert() on; the installed programs and the package are
# built without it (NDEBUG), so `make install` and `make package` build BUILD
# again without asserts, and the next `make test` with them.
ASSERTS ?= ON
install package: ASSERTS = OFF

configure:
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDISKWARD_ASSERTS=$(ASSERTS) >/dev/null

# Quiet: a line per target built, the whole output when it fails or warns.
build: configure
	@scripts/build $(BUILD) $(JOBS)

test: setup build
	@ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

demo: setup build
	@scripts/demo $(BUILD)

# Installs the programs, manual pages, desktop entry, icons, completion and
# README under PREFIX (DESTDIR is honoured, as usual).
PREFIX ?= /usr/local
install: build
	@cmake --install $(BUILD) --prefix $(PREFIX)

# The Debian package, built by CPack into $(BUILD)/diskward_VERSION_ARCH.deb.
package: setup build
	@cd $(BUILD) && cpack -G DEB

# The same tests under the address and undefined-behaviour sanitizers.
sanitize: setup
	@cmake -S . -B $(BUILD_SAN) -DDISKWARD_SANITIZE=ON -DDISKWARD_GUI=OFF -DCMAKE_BUILD_TYPE=Debug >/dev/null
	@scripts/build $(BUILD_SAN) $(JOBS)
	@ctest --test-dir $(BUILD_SAN) --output-on-failure -j $(JOBS)

# The engine, copy and compression tests (those that run several threads)
# under the thread sanitizer.
sanitize-thread: setup
	@cmake -S . -B $(BUILD_TSAN) -DDISKWARD_SANITIZE=thread -DDISKWARD_GUI=OFF -DCMAKE_BUILD_TYPE=Debug >/dev/null
	@cmake --build $(BUILD_TSAN) -j $(JOBS) --target diskward test_engine test_media test_sys
	@cd $(BUILD_TSAN)/tests && for t in test_engine test_media test_sys; do ../bin/$$t --gtest_brief=1 || exit 1; done

# libFuzzer targets, built with clang; not part of `make test`.
fuzz: setup
	@CXX=clang++ cmake -S . -B $(BUILD_FUZZ) -DDISKWARD_FUZZ=ON -DDISKWARD_TESTS=OFF -DDISKWARD_GUI=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@scripts/build $(BUILD_FUZZ) $(JOBS)

# Benchmarks, run by hand.
bench: setup
	@cmake -S . -B $(BUILD_BENCH) -DDISKWARD_BENCH=ON -DDISKWARD_TESTS=OFF -DDISKWARD_GUI=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
	@scripts/build $(BUILD_BENCH) $(JOBS)

clean:
	rm -rf $(BUILD) $(BUILD_SAN) $(BUILD_TSAN) $(BUILD_FUZZ) $(BUILD_BENCH)
