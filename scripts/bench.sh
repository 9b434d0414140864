#!/usr/bin/env bash
# Runs every Google Benchmark program of a build (make bench):
#   scripts/bench.sh BUILD_DIR [benchmark options...]
# The list comes from BUILD_DIR/bench/programs.txt, written by bench/CMakeLists.txt.
set -euo pipefail
build=${1:?usage: scripts/bench.sh BUILD_DIR [options]}
shift
list=$build/bench/programs.txt
[ -f "$list" ] || { echo "bench: $list is missing (configure with KORVEX_BUILD_BENCH=ON)" >&2; exit 1; }
status=0
while IFS= read -r program; do
  [ -n "$program" ] || continue
  echo "== $(basename "$program")"
  "$program" "$@" || status=1
done < "$list"
exit $status
