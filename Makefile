# Brevan - the two commands a new user needs: `make run` and `make test`.
# Both install missing build dependencies (Debian 12), configure and build.

BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
# make fuzz: seconds per target, or a fixed number of runs when FUZZ_RUNS is set;
# FUZZ_TARGETS picks some of them (names without _fuzz).
FUZZ_TIME  ?= 60
FUZZ_RUNS  ?=
FUZZ_TARGETS ?=
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
# make install: where to (DESTDIR, when set, is put in front of it).
PREFIX     ?= /usr/local

# Debian packages the build and the tests need.
PACKAGES := cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev \
            qt6-base-dev qt6-translations-l10n libsdl2-dev z80asm xvfb xauth \
            desktop-file-utils shared-mime-info groff-base cpmtools z80dasm
# Only `make fuzz` needs these.
FUZZ_PACKAGES := clang libclang-rt-14-dev

# ccache, when the machine has it, makes rebuilds in several trees cheap.
LAUNCHER := $(shell command -v ccache >/dev/null 2>&1 && echo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps fuzz-deps install-packages configure build run test test-fast bench asan fuzz clean \
        install uninstall

all: build

deps:
	@$(MAKE) --no-print-directory install-packages WANT="$(PACKAGES)"

fuzz-deps:
	@$(MAKE) --no-print-directory install-packages WANT="$(PACKAGES) $(FUZZ_PACKAGES)"

install-packages:
	@missing=""; for p in $(WANT); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing; \
	fi

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(LAUNCHER)

configure: deps $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j $(JOBS)

$(ASAN_BUILD)/CMakeCache.txt:
	cmake -S . -B $(ASAN_BUILD) $(LAUNCHER) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBREVAN_SANITIZE=ON -DBREVAN_BENCH=OFF

asan: deps $(ASAN_BUILD)/CMakeCache.txt
	cmake --build $(ASAN_BUILD) -j $(JOBS)

run: build
	@if [ -x $(BUILD)/src/host/brevan ]; then \
	  $(BUILD)/src/host/brevan $(ARGS); \
	else \
	  $(BUILD)/src/core/brevan-smoke $(ARGS); \
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

# libFuzzer targets (clang), each run on a copy of its seed corpus from tests/fuzz/.
$(FUZZ_BUILD)/CMakeCache.txt:
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) $(LAUNCHER) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBREVAN_FUZZ=ON

fuzz: fuzz-deps $(FUZZ_BUILD)/CMakeCache.txt
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@set -e; for f in $(FUZZ_BUILD)/tests/fuzz/*_fuzz; do \
	  name=$$(basename $$f _fuzz); \
	  if [ -n "$(FUZZ_TARGETS)" ] && ! echo " $(FUZZ_TARGETS) " | grep -q " $$name "; then continue; fi; \
	  work=$(FUZZ_BUILD)/corpus/$$name; mkdir -p $$work; \
	  if [ -d tests/fuzz/$$name ]; then cp -n tests/fuzz/$$name/* $$work/ 2>/dev/null || true; fi; \
	  if [ -n "$(FUZZ_RUNS)" ]; then limit="-runs=$(FUZZ_RUNS)"; else limit="-max_total_time=$(FUZZ_TIME)"; fi; \
	  echo "== $$name"; \
	  $$f $$limit -max_len=65536 -print_final_stats=1 -artifact_prefix=$(FUZZ_BUILD)/crash-$$name- $$work 2>&1 \
	    | grep -E 'stat::number_of_executed_units|Done|ERROR|SUMMARY' || true; \
	  if ls $(FUZZ_BUILD)/crash-$$name-* >/dev/null 2>&1; then echo "finding: $$(ls $(FUZZ_BUILD)/crash-$$name-*)"; exit 1; fi; \
	done

# The program, its help text, menu entry, icons, MIME types and manual page.
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# Removes what the last `make install` wrote (its manifest in the build folder).
uninstall:
	DESTDIR="$(DESTDIR)" cmake -DMANIFEST=$(CURDIR)/$(BUILD)/install_manifest.txt -P desktop/uninstall.cmake

bench: build
	$(BUILD)/bench/z80_throughput
	$(BUILD)/bench/machine_throughput
	$(BUILD)/bench/rewind_memory

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
