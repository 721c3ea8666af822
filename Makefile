# Kestra: `make run` plays the demo, `make test` runs every test.
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

clean:
	rm -rf $(BUILD_DIR) $(BENCH_DIR)
