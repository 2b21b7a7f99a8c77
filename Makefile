# Front door: `make test` and `make run` install what is missing, configure,
# build and then test or start the window.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps configure build test run bench clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

run: build
	@if [ -x $(BUILD)/vellora ]; then exec $(BUILD)/vellora; \
	else echo "vellora: the window is not built yet; the converter and its tests are"; fi

bench: build
	@cmake --build $(BUILD) --target bench

clean:
	rm -rf $(BUILD)
