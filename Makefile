# Thin wrapper over the CMake presets: the README's two commands.
.PHONY: run check deps build-release build-asan debug fuzz bench clean

JOBS ?= $(shell nproc)

# The sample project, with the simulated device inside the program playing
# on the live page (no hardware needed).
run: deps build-release
	./build/release/bin/korvex --demo docs/sample/sample.kvx

check: deps build-asan
	ctest --preset asan -j $(JOBS)

deps:
	@bash scripts/install-deps.sh

build-release:
	cmake --preset release
	cmake --build --preset release -j $(JOBS)

build-asan:
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)

debug: deps
	cmake --preset debug
	cmake --build --preset debug -j $(JOBS)

fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS)

clean:
	rm -rf build
