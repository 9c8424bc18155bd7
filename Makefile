# make        build build/Pictaro.exe (x86), build-x64/Pictaro.exe (x64) and their tests
# make run    run the viewer under Wine (on a virtual display when there is none)
# make test   run every test on each architecture this host can run
# make bench  run the benchmarks on each architecture this host can run
# make dist   build the release archives dist/Pictaro-<version>-win32.zip and -win64.zip
# ARCH=x86 or ARCH=x64 limits run, test and bench to one architecture;
# CTEST_ARGS passes arguments to CTest (make test CTEST_ARGS="-R Zoom").
# Each target first installs whatever Debian packages are missing.

ARCH ?= all
JOBS ?= $(shell nproc)
export ARCH

.PHONY: all deps x86 x64 run test bench dist clean

all: x86 x64

deps:
	@tools/install-deps.sh

x86: deps
	@test -f build/CMakeCache.txt || \
	  cmake -S . -B build -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release
	cmake --build build -j $(JOBS)

x64: deps
	@test -f build-x64/CMakeCache.txt || \
	  cmake -S . -B build-x64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release
	cmake --build build-x64 -j $(JOBS)

run: all
	tools/run-viewer.sh

test: all
	tools/run-tests.sh $(CTEST_ARGS)

bench: all
	tools/run-bench.sh

dist: deps
	tools/make-dist.sh

clean:
	rm -rf build build-x64 dist
