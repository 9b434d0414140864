# Thin wrapper over the CMake presets: the README's two commands.
.PHONY: run check deps build-release build-asan debug fuzz fuzz-smoke bench clean

JOBS ?= $(shell nproc)

run: deps build-release
	./build/release/bin/korvex

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

# Every fuzz target for FUZZ_SECONDS (default 20) on its seed corpus.
fuzz-smoke: fuzz
	bash scripts/fuzz-smoke.sh $(FUZZ_SECONDS)

clean:
	rm -rf build
