# SPDX-License-Identifier: GPL-2.0-or-later
# The front door: `make run` starts the client, `make test` runs every test,
# `make package` builds the .deb packages into $(BUILD)/.
# `make test-asan` and `make test-tsan` run every test in a sanitizer build
# of its own (build-asan, build-tsan); any report fails its test.
BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= 2
DEPS_SET ?= --cross

CMAKE_ARGS ?=

.PHONY: all deps configure build run test test-asan test-tsan package clean

all: build

deps:
	@scripts/install-deps.sh $(DEPS_SET)

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_ARGS)

configure: deps $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j$(JOBS)

run: build
	scripts/run-demo.sh $(BUILD)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

package: build
	cmake --build $(BUILD) --target package -j$(JOBS)

test-asan:
	@$(MAKE) --no-print-directory test BUILD=build-asan CMAKE_ARGS=-DVELMORANT_SANITIZE=address,undefined

test-tsan:
	@$(MAKE) --no-print-directory test BUILD=build-tsan CMAKE_ARGS=-DVELMORANT_SANITIZE=thread

clean:
	rm -rf $(BUILD)
