# Front door: `make test` and `make run` install what is missing, configure,
# build and then test or start the window.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

FUZZ_SECONDS ?= 60
# 0 lets libFuzzer pick a fresh seed each run; CI fixes one so that its runs repeat.
FUZZ_SEED ?= 0

.PHONY: all deps run-deps package-deps configure run-configure build run-build test run bench install package \
  sanitize fuzz check-builds clean windows windows-test

# Where `make install` puts Vellora; DESTDIR= stages it elsewhere.
PREFIX ?= /usr/local

all: build

deps:
	@scripts/install-deps.sh test

run-deps:
	@scripts/install-deps.sh run

package-deps:
	@scripts/install-deps.sh package

CONFIGURE = cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_INSTALL_PREFIX=$(PREFIX) $(CMAKE_FLAGS) >/dev/null

# The same build directory serves both: each says which parts it wants.
configure: deps
	@$(CONFIGURE) -DVELLORA_BUILD_TESTS=ON -DVELLORA_BUILD_BENCH=ON

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# The window and vellora-cli alone, with only what running them needs installed.
run-configure: run-deps
	@$(CONFIGURE) -DVELLORA_BUILD_TESTS=OFF -DVELLORA_BUILD_BENCH=OFF

run-build: run-configure
	@cmake --build $(BUILD) -j $(JOBS)

install: run-build
	@DESTDIR=$(DESTDIR) cmake --install $(BUILD)

# vellora_VERSION_amd64.deb in $(BUILD)
package: package-deps run-build
	@cd $(BUILD) && cpack -G DEB

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

run: run-build
	@exec $(BUILD)/vellora

bench: build
	@cmake --build $(BUILD) --target bench

# The whole test suite again, built with AddressSanitizer and UBSan.
sanitize: deps
	@cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELLORA_SANITIZE=ON \
	  -DVELLORA_BUILD_BENCH=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build build-asan -j $(JOBS)
	@cd build-asan && ctest --output-on-failure -j $(JOBS)

# Every format's scan and plan (header_fuzz), then the FLAC plan alone
# (flac_fuzz), under libFuzzer for FUZZ_SECONDS each, from the seed corpus.
fuzz: deps
	@cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	  -DVELLORA_FUZZ=ON -DVELLORA_BUILD_BENCH=OFF >/dev/null
	@cmake --build build-fuzz --target header_fuzz flac_fuzz
	@mkdir -p build-fuzz/corpus build-fuzz/flac-corpus
	@build-fuzz/tests/fuzz/header_fuzz -max_total_time=$(FUZZ_SECONDS) -seed=$(FUZZ_SEED) -print_final_stats=1 \
	  build-fuzz/corpus tests/fuzz/corpus
	@build-fuzz/tests/fuzz/flac_fuzz -max_total_time=$(FUZZ_SECONDS) -seed=$(FUZZ_SEED) -print_final_stats=1 \
	  build-fuzz/flac-corpus tests/fuzz/corpus

# The Windows programs and installer, cross-built with mingw-w64 into
# build-windows/, and their tests under Wine.
windows:
	@scripts/install-deps.sh windows
	@cmake -S . -B build-windows -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake $(CMAKE_FLAGS) >/dev/null
	@cmake --build build-windows -j $(JOBS)
	@cd build-windows && cpack >/dev/null && echo "build-windows/$$(ls Vellora-*-win64.exe)"

windows-test: windows
	@cd build-windows && ctest --output-on-failure -j $(JOBS)

# Builds that must stay free of warnings too: g++ at -O3 (Release) and clang.
check-builds: deps
	@cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELLORA_WERROR=ON \
	  -DVELLORA_BUILD_BENCH=OFF >/dev/null
	@cmake --build build-release -j $(JOBS)
	@cmake -S . -B build-clang -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	  -DVELLORA_WERROR=ON -DVELLORA_BUILD_BENCH=OFF >/dev/null
	@cmake --build build-clang -j $(JOBS)

clean:
	rm -rf $(BUILD) build-asan build-fuzz build-release build-clang build-windows
