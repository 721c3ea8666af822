# Kestra: `make run` plays the demo, `make test` runs every test, `make bench`
# measures the speed.
BUILD_DIR ?= build
BENCH_DIR ?= build-bench
CMAKE_FLAGS ?=
NINJA_JOBS ?=

.PHONY: all deps build test run bench clean

all: build

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) >/dev/null \
	  || cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)
	@cmake --build $(BUILD_DIR) $(if $(NINJA_JOBS),-j $(NINJA_JOBS))

test: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy \
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

clean:
	rm -rf $(BUILD_DIR) $(BENCH_DIR)
