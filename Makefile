# Convenience targets; the build itself is CMake.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all build run test clean

all: build

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BUILD) -j$(JOBS)

# Generates the sample log (and its node name map) and shows it.
run: build
	mkdir -p sample
	$(BUILD)/fwgen --seed 1 --tags 400 --map sample/nodes.map -o sample/sample.fwlog
	TZ=UTC $(BUILD)/jrnscan sample/sample.fwlog

test: build
	cd $(BUILD) && TZ=UTC ctest --output-on-failure -j$(JOBS)

clean:
	rm -rf $(BUILD) sample
