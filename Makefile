# Thin wrapper over CMake presets. Each target first installs what is missing.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
ifneq ($(shell command -v ccache 2>/dev/null),)
export CMAKE_CXX_COMPILER_LAUNCHER ?= ccache
endif

.PHONY: all deps build run test test-dev bench clean

all: build

deps:
	@scripts/deps.sh

build: deps
	@cmake --preset dev $(if $(CI),-DVELQUIN_WERROR=ON,) >/dev/null
	@cmake --build --preset dev -j $(JOBS)

run: build
	./build/dev/velquin

# Every test on the offscreen platform.
test: build
	@QT_QPA_PLATFORM=offscreen ctest --preset dev -j $(JOBS)

bench: deps
	@cmake --preset release >/dev/null
	@cmake --build --preset release -j $(JOBS)
	./build/release/bench/velquin_bench

clean:
	rm -rf build
