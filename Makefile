# Thin wrapper over the CMake presets: the README's two commands, plus the
# package and the benchmarks. `make run` builds only the program it starts;
# tests build under `make check`, benchmarks under `make bench`.
.PHONY: run check format-check text-check package bench deps build-release build-asan debug fuzz fuzz-smoke clean

JOBS ?= $(shell nproc)

# The sample project, with the simulated device inside the program playing
# on the live page (no hardware needed).
run: deps build-release
	./build/release/bin/korvex --demo docs/sample/sample.kvx

check: deps format-check text-check build-asan
	ctest --preset asan -j $(JOBS)

# The C and C++ files changed since the branch left main, against .clang-format.
format-check: deps
	bash scripts/check-format.sh

# No number literal names a user-visible text (Text(169) and the like).
text-check: deps
	python3 scripts/check-text-ids.py

# build/release/package/korvex_<version>_<arch>.deb
package: deps
	cmake --preset release
	cmake --build --preset release -j $(JOBS) --target korvex_package_files
	cd build/release && cpack --config CPackConfig.cmake

bench: deps
	cmake --preset release
	cmake --build --preset release -j $(JOBS) --target korvex_benchmarks
	bash scripts/bench.sh build/release $(BENCH_ARGS)

deps:
	@bash scripts/install-deps.sh

build-release:
	cmake --preset release
	cmake --build --preset release -j $(JOBS) --target korvex

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
