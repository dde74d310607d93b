# SPDX-License-Identifier: GPL-2.0-or-later
# The front door: `make run` starts the client, `make test` runs every test,
# `make package` builds the .deb packages into $(BUILD)/.
BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= 2
DEPS_SET ?= --cross

.PHONY: all deps configure build run test package clean

all: build

deps:
	@scripts/install-deps.sh $(DEPS_SET)

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

configure: deps $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j$(JOBS)

run: build
	scripts/run-demo.sh $(BUILD)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

package: build
	cmake --build $(BUILD) --target package -j$(JOBS)

clean:
	rm -rf $(BUILD)
