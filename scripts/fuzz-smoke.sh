#!/usr/bin/env bash
# Runs every fuzz target for a short fixed time on its seed corpus (copied,
# so the tree is not changed), with a per-input time cap; stops at the first
# finding. Not part of `make check`.
#
#   scripts/fuzz-smoke.sh [SECONDS]     (default 20 per target; FUZZ_SECONDS too)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-${FUZZ_SECONDS:-20}}
bin=$root/build/fuzz/bin
[ -d "$bin" ] || bin=$root/build/fuzz

# target  seed folder  extra options (the known-hosts target leaves leak
# checks off: the SSH library keeps some of its crypto allocations).
targets=(
  "fuzz_project_file     fuzz/files/corpus/project          -max_len=65536"
  "fuzz_read_item        fuzz/files/corpus/item             -max_len=4096"
  "fuzz_load_bmp         fuzz/files/corpus/bmp              -max_len=240000"
  "fuzz_avi              fuzz/export/corpus                 -max_len=65536"
  "raster_fuzz           fuzz/raster/corpus/raster          -max_len=256"
  "live_stream_fuzzer    fuzz/live/corpus/live_stream       -max_len=200000"
  "fuzz_announcement     fuzz/devicelink/corpus/announcement -max_len=1024"
  "fuzz_factory_record   fuzz/devicelink/corpus/factory_record -max_len=1024"
  "fuzz_device_output    fuzz/devicelink/corpus/device_output -max_len=4096"
  "fuzz_known_hosts      fuzz/devicelink/corpus/known_hosts  -max_len=8192 -detect_leaks=0"
  "fuzz_string_table     fuzz/framework/corpus/string_table  -max_len=8192"
  "formula_fuzz          fuzz/composer/corpus/formula        -max_len=4096"
)

work=$(mktemp -d "${TMPDIR:-/tmp}/korvex-fuzz-smoke.XXXXXX")
trap 'rm -rf "$work"' EXIT
status=0
for entry in "${targets[@]}"; do
  read -r name seeds options <<<"$entry"
  exe=$(find "$bin" "$root/build/fuzz" -maxdepth 3 -type f -name "$name" -perm -u+x 2>/dev/null | head -n1)
  if [ -z "$exe" ]; then
    echo "fuzz-smoke: $name is not built" >&2
    status=1
    continue
  fi
  mkdir -p "$work/$name"
  echo "== $name ($seconds s)"
  leaks=1
  case " $options " in *" -detect_leaks=0 "*) leaks=0 ;; esac
  if ! (cd "$work" && ASAN_OPTIONS="detect_leaks=$leaks${ASAN_OPTIONS:+:$ASAN_OPTIONS}" \
        "$exe" "$work/$name" "$root/$seeds" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=4096 -print_final_stats=1 $options 2>"$work/$name.log"); then
    echo "fuzz-smoke: $name found a problem:" >&2
    tail -n 40 "$work/$name.log" >&2
    status=1
  fi
  grep -E 'stat::number_of_executed_units|cov:' "$work/$name.log" | tail -n 2 || true
done
exit $status
