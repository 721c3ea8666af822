# Kestra: `make run` plays the demo, `make test` runs every test, `make bench`
# measures the speed.
BUILD_DIR ?= build
BENCH_DIR ?= build-bench
FUZZ_DIR ?= build-fuzz
ASAN_DIR ?= build-asan
TSAN_DIR ?= build-tsan
PORTABLE_DIR ?= build-portable
# Seconds each fuzz target runs under `make fuzz`.
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := cartridge cpu ports config state
CMAKE_FLAGS ?=
NINJA_JOBS ?=
# `make install PREFIX=/usr DESTDIR=/tmp/root` stages a packaged tree.
PREFIX ?= /usr/local
DESTDIR ?=

.PHONY: all deps build test test-portable run bench clean fuzz test-sanitize install icons

all: build

deps:
	@scripts/install-deps

# The program and the tests are asked for explicitly: a build directory once
# configured without them would otherwise keep that and test less.
MAIN_FLAGS := -DCMAKE_BUILD_TYPE=Release -DKESTRA_BUILD_APP=ON -DKESTRA_BUILD_TESTS=ON

build: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja $(MAIN_FLAGS) $(CMAKE_FLAGS) >/dev/null \
	  || cmake -S . -B $(BUILD_DIR) -G Ninja $(MAIN_FLAGS) $(CMAKE_FLAGS)
	@cmake --build $(BUILD_DIR) $(if $(NINJA_JOBS),-j $(NINJA_JOBS))

test: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy \
	  ctest --output-on-failure -j2 --timeout 900

# The programs, desktop entry, icons, metainfo and manual pages under
# $(DESTDIR)$(PREFIX). An installed kestra keeps Kestra.INI in
# $XDG_CONFIG_HOME/kestra.
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD_DIR) --prefix "$(PREFIX)" --strip

# Renders the icon's PNG sizes again after a change to its SVG.
icons:
	@KESTRA_DEPS_ICONS=1 scripts/install-deps
	dist/render-icons

# The whole suite once more over the portable code (KESTRA_PORTABLE: what
# hosts without x86 vector units run), in a build of its own.
test-portable: deps
	@cmake -S . -B $(PORTABLE_DIR) -G Ninja $(MAIN_FLAGS) -DKESTRA_PORTABLE=ON $(CMAKE_FLAGS) >/dev/null \
	  || cmake -S . -B $(PORTABLE_DIR) -G Ninja $(MAIN_FLAGS) -DKESTRA_PORTABLE=ON $(CMAKE_FLAGS)
	@cmake --build $(PORTABLE_DIR) $(if $(NINJA_JOBS),-j $(NINJA_JOBS))
	cd $(PORTABLE_DIR) && QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy \
	  ctest --output-on-failure -j2 --timeout 900

run: build
	@if [ -x $(BUILD_DIR)/bin/kestra ]; then \
	  exec $(BUILD_DIR)/bin/kestra $(BUILD_DIR)/roms/demo.wsc; \
	else \
	  echo "make run: the window program is not built yet (no $(BUILD_DIR)/bin/kestra)." >&2; \
	  exit 1; \
	fi

# A Release build of its own (no window, no tests), five timed runs of the
# benchmark cartridge with their median, then the hot paths' benchmarks.
bench: deps
	@cmake -S . -B $(BENCH_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DKESTRA_BUILD_APP=OFF -DKESTRA_BUILD_TESTS=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BENCH_DIR) $(if $(NINJA_JOBS),-j $(NINJA_JOBS)) --target kestra-headless kestra_bench cart_bench
	@scripts/bench $(BENCH_DIR)

# libFuzzer (clang, with ASan and UBSan) in a build of its own. Each target
# starts from its corpus in fuzz/corpus and keeps what it finds in
# $(FUZZ_DIR)/corpus/<target>; crashes land in $(FUZZ_DIR)/crashes.
fuzz:
	@KESTRA_DEPS_EXTRA=1 scripts/install-deps
	@cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=undefined" \
	  -DKESTRA_FUZZ=ON -DKESTRA_BUILD_TESTS=OFF -DKESTRA_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(FUZZ_DIR) --target $(addsuffix _fuzzer,$(FUZZ_TARGETS))
	@mkdir -p $(FUZZ_DIR)/crashes
	@for t in $(FUZZ_TARGETS); do \
	  mkdir -p $(FUZZ_DIR)/corpus/$$t; \
	  echo "fuzz: $$t for $(FUZZ_SECONDS) s"; \
	  $(FUZZ_DIR)/bin/$${t}_fuzzer -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=4096 \
	    -max_len=$$(case $$t in cartridge) echo 70000;; state) echo 400000;; *) echo 4096;; esac) \
	    -artifact_prefix=$(FUZZ_DIR)/crashes/$$t- -print_final_stats=1 \
	    $(FUZZ_DIR)/corpus/$$t fuzz/corpus/$$t || exit 1; \
	done

# The whole suite under AddressSanitizer + UndefinedBehaviorSanitizer, then
# the threading tests under ThreadSanitizer, each in a build of its own.
test-sanitize: deps
	@cmake -S . -B $(ASAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRA_BUILD_BENCH=OFF \
	  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer" >/dev/null
	@cmake --build $(ASAN_DIR) $(if $(NINJA_JOBS),-j $(NINJA_JOBS))
	cd $(ASAN_DIR) && QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy \
	  ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitizers/lsan.supp \
	  ctest --output-on-failure -j2 --timeout 1800
	@cmake -S . -B $(TSAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRA_BUILD_BENCH=OFF \
	  -DCMAKE_CXX_FLAGS="-fsanitize=thread" >/dev/null
	@cmake --build $(TSAN_DIR) --target app_tests $(if $(NINJA_JOBS),-j $(NINJA_JOBS))
	cd $(TSAN_DIR) && QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy \
	  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1:suppressions=$(CURDIR)/tests/sanitizers/tsan.supp \
	  bin/app_tests --gtest_filter='Threading*:SoundControlPort*:WindowTest.*:PlayTest.*:RunPlayTest.*:HostAudioFade.*:ApplicationTest.*'

clean:
	rm -rf $(BUILD_DIR) $(BENCH_DIR) $(FUZZ_DIR) $(ASAN_DIR) $(TSAN_DIR) $(PORTABLE_DIR)
