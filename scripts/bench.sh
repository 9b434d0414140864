#!/usr/bin/env bash
# Runs every Google Benchmark program of a build (make bench):
#   scripts/bench.sh BUILD_DIR [benchmark options...]
# The list comes from BUILD_DIR/bench/programs.txt, written by bench/CMakeLists.txt.
# Each program's results also go to BUILD_DIR/bench/results/<program>.json;
# the run ends with the figures of bench/goals.tsv beside their goals.
set -euo pipefail
build=${1:?usage: scripts/bench.sh BUILD_DIR [options]}
shift
here=$(cd "$(dirname "$0")" && pwd)
list=$build/bench/programs.txt
[ -f "$list" ] || { echo "bench: $list is missing (configure with KORVEX_BUILD_BENCH=ON)" >&2; exit 1; }
results=$build/bench/results
rm -rf "$results"
mkdir -p "$results"
status=0
while IFS= read -r program; do
  [ -n "$program" ] || continue
  name=$(basename "$program")
  echo "== $name"
  "$program" --benchmark_out="$results/$name.json" --benchmark_out_format=json "$@" || status=1
done < "$list"
shopt -s nullglob
awk -f "$here/bench-table.awk" "$here/../bench/goals.tsv" "$results"/*.json
exit $status
