# make        build build/Pictaro.exe and the tests
# make run    run the viewer under Wine (on a virtual display when there is none)
# make test   run every test
# make bench  run the benchmarks
# Each target first installs whatever Debian packages are missing.

BUILD ?= build
export PICTARO_BUILD_DIR := $(abspath $(BUILD))
JOBS  ?= $(shell nproc)

.PHONY: all deps configure run test bench clean

all: configure
	cmake --build $(BUILD) -j $(JOBS)

deps:
	@tools/install-deps.sh

configure: deps
	@test -f $(BUILD)/CMakeCache.txt || \
	  cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release

run: all
	tools/run-viewer.sh

test: all
	tools/run-tests.sh

bench: all
	tools/run-bench.sh

clean:
	rm -rf $(BUILD)
