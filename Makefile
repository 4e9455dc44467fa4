# Brevan - the two commands a new user needs: `make run` and `make test`.
# Both install missing build dependencies (Debian 12), configure and build.

BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)

# Debian packages the build and the tests need.
PACKAGES := cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev \
            qt6-base-dev libsdl2-dev z80asm xvfb xauth

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps configure build run test test-fast bench asan clean

all: build

deps:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing; \
	fi

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release

configure: deps $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j $(JOBS)

$(ASAN_BUILD)/CMakeCache.txt:
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBREVAN_SANITIZE=ON -DBREVAN_BENCH=OFF

asan: deps $(ASAN_BUILD)/CMakeCache.txt
	cmake --build $(ASAN_BUILD) -j $(JOBS)

run: build
	@if [ -x $(BUILD)/src/host/brevan ]; then \
	  $(BUILD)/src/host/brevan $(ARGS); \
	else \
	  $(BUILD)/src/emu/brevan-smoke $(ARGS); \
	fi

# The whole suite (slow exercisers included), then the same suite built with
# address and undefined-behaviour sanitizers (the long exercisers skipped there).
test: build asan
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy ctest --output-on-failure -j $(JOBS)
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy \
	  ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS) -LE slow

# Quick loop for developers: the main build without the slow exercisers.
test-fast: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy ctest --output-on-failure -j $(JOBS) -LE slow

bench: build
	$(BUILD)/bench/z80_throughput
	$(BUILD)/bench/machine_throughput

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
