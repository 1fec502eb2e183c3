# Convenience targets; the build itself is CMake.
BUILD ?= build
MAKEFLAGS += --no-print-directory
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all build run test test-sanitize test-tsan test-valgrind fuzz bench deb clean

all: build

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BUILD) -j$(JOBS)

# Generates the sample log (and its node name map), shows it, checks it,
# summarises it, and shows its first JSON lines and the check as JSON; then
# one record's history, the busiest transactions, and a generated archive
# of six zstd-compressed logs checked as one series, and the history of
# that record in an archive whose file 3 is missing.
# run and test first install what the machine lacks (tools/install-deps.sh).
run:
	@bash tools/install-deps.sh build
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BUILD) -j$(JOBS) --target jrnscan fwgen
	mkdir -p sample
	$(BUILD)/fwgen --seed 1 --tags 400 --map sample/nodes.map -o sample/sample.fwlog
	TZ=UTC $(BUILD)/jrnscan sample/sample.fwlog
	TZ=UTC $(BUILD)/jrnscan --check sample/sample.fwlog
	TZ=UTC $(BUILD)/jrnscan --stats --top 3 sample/sample.fwlog
	TZ=UTC $(BUILD)/jrnscan --json --limit 2 sample/sample.fwlog
	TZ=UTC $(BUILD)/jrnscan --check --json sample/sample.fwlog
	TZ=UTC $(BUILD)/jrnscan --history SHOP.ORDERS:5 -M sample/nodes.map sample/sample.fwlog
	TZ=UTC $(BUILD)/jrnscan --txns --top 3 --by records -M sample/nodes.map sample/sample.fwlog
	rm -rf sample/archive
	$(BUILD)/fwgen --seed 1 --tags 1200 --logs 6 --series sample/archive --compress zstd
	TZ=UTC $(BUILD)/jrnscan --check sample/archive
	rm -rf sample/gapped
	$(BUILD)/fwgen --seed 1 --tags 1200 --logs 6 --series sample/gapped --drop 3
	TZ=UTC $(BUILD)/jrnscan --history SHOP.ORDERS:5 -M sample/nodes.map sample/gapped

test:
	@bash tools/install-deps.sh test
	$(MAKE) build
	cd $(BUILD) && TZ=UTC ctest --output-on-failure --no-tests=error -j$(JOBS)

# The whole suite built with AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize:
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DJRNSCAN_SANITIZE=ON >/dev/null
	cmake --build build-asan -j$(JOBS)
	cd build-asan && TZ=UTC ctest --output-on-failure --no-tests=error -j$(JOBS)

# The tests that drive the reader thread, built with ThreadSanitizer.
test-tsan:
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_FLAGS=-fsanitize=thread -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread >/dev/null
	cmake --build build-tsan -j$(JOBS) --target jrnscan archive_test inputs_test
	cd build-tsan && TSAN_OPTIONS=halt_on_error=1 TZ=UTC \
	  ctest --output-on-failure --no-tests=error -R '^(ArchiveTest|ReadAheadTest|Archives)\.'

# The end-to-end tests with every jrnscan run under valgrind memcheck.
test-valgrind: build
	cd $(BUILD) && JRNSCAN_VALGRIND=1 TZ=UTC ctest --output-on-failure -j$(JOBS) -E 'DamagedFileSweep'

# Fuzzes the whole scan: FUZZ_SECONDS per option set (needs clang).
FUZZ_SECONDS ?= 60
fuzz:
	tests/fuzz/run.sh $(FUZZ_SECONDS)

bench:
	bench/run.sh

# The Debian package $(BUILD)/jrnscan_<version>_<arch>.deb: the binary, the
# man page, the bash completion, the JSON Schema, the SQL recipes and the
# copyright file; the version is the one --version prints.
deb:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BUILD) -j$(JOBS) --target jrnscan jrnscan_schema jrnscan_man
	cd $(BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD) build-asan build-tsan build-fuzz build-bench sample
