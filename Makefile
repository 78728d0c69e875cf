# Thin wrapper over CMake presets. Each target first installs what is missing.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
ifneq ($(shell command -v ccache 2>/dev/null),)
export CMAKE_CXX_COMPILER_LAUNCHER ?= ccache
endif
# CI builds with warnings as errors.
WERROR := $(if $(CI),-DVELQUIN_WERROR=ON,)
FUZZ_SECONDS ?= 10

.PHONY: all deps build run test test-dev test-asan format-check fuzz bench package clean

all: build

deps:
	@scripts/deps.sh

build: deps
	@cmake --preset dev $(WERROR) >/dev/null
	@cmake --build --preset dev -j $(JOBS)

run: build
	./build/dev/velquin

# Every test: the formatting check, short fuzz runs (when clang is present), the suite under the
# address and undefined-behaviour sanitizers, then the suite in the normal build.
test: deps format-check fuzz test-asan test-dev

# The C++ files changed since FORMAT_BASE (a commit or branch) follow .clang-format; every tracked
# C++ file when FORMAT_BASE is unset.
format-check: deps
	@scripts/check-format.sh $(FORMAT_BASE)

test-dev: build
	@QT_QPA_PLATFORM=offscreen ctest --preset dev -j $(JOBS)

test-asan: deps
	@cmake --preset asan $(WERROR) >/dev/null
	@cmake --build --preset asan -j $(JOBS)
	@QT_QPA_PLATFORM=offscreen ctest --preset asan -j $(JOBS)

fuzz: deps
	@scripts/fuzz.sh $(FUZZ_SECONDS)

bench: deps
	@cmake --preset release >/dev/null
	@cmake --build --preset release -j $(JOBS)
	./build/release/bench/velquin_bench

# A Debian package in build/package, checked with lintian.
package: deps
	@cmake --preset package >/dev/null
	@cmake --build --preset package -j $(JOBS)
	@cd build/package && cpack -G DEB
	@lintian --fail-on error build/package/velquin_*.deb

clean:
	rm -rf build
