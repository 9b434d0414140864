#!/usr/bin/env bash
# Runs every fuzz target for a fixed time on its seed corpus (copied, so the
# tree is not changed), with a per-input time cap, FUZZ_JOBS targets at a
# time; reports each target's runs and coverage, and the log of any target
# that found something. Not part of `make check`.
#
#   scripts/fuzz-smoke.sh [SECONDS] [TARGET...]
#     SECONDS per target (default 20; FUZZ_SECONDS too), FUZZ_JOBS (default 2),
#     FUZZ_KEEP=DIR keeps the logs and grown corpora in DIR.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-${FUZZ_SECONDS:-20}}
shift || true
jobs=${FUZZ_JOBS:-2}
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

if [ -n "${FUZZ_KEEP:-}" ]; then
  work=$FUZZ_KEEP
  mkdir -p "$work"
else
  work=$(mktemp -d "${TMPDIR:-/tmp}/korvex-fuzz-smoke.XXXXXX")
  trap 'rm -rf "$work"' EXIT
fi

# One target: prints nothing, leaves NAME.log and NAME.status in $work.
run_one() {
  local name=$1 seeds=$2; shift 2
  local options=("$@")
  local exe leaks=1
  exe=$(find "$bin" "$root/build/fuzz" -maxdepth 3 -type f -name "$name" -perm -u+x 2>/dev/null | head -n1)
  if [ -z "$exe" ]; then
    echo "not built" >"$work/$name.log"
    echo 1 >"$work/$name.status"
    return
  fi
  mkdir -p "$work/$name"
  case " ${options[*]} " in *" -detect_leaks=0 "*) leaks=0 ;; esac
  local rc=0
  (cd "$work" && ASAN_OPTIONS="detect_leaks=$leaks${ASAN_OPTIONS:+:$ASAN_OPTIONS}" \
      "$exe" "$work/$name" "$root/$seeds" -max_total_time="$seconds" -timeout=10 \
      -rss_limit_mb=4096 -print_final_stats=1 "${options[@]}" >"$work/$name.log" 2>&1) || rc=$?
  echo $rc >"$work/$name.status"
}

wanted=" $* "
names=()
for entry in "${targets[@]}"; do
  read -r name seeds options <<<"$entry"
  if [ $# -gt 0 ] && [[ "$wanted" != *" $name "* ]]; then continue; fi
  names+=("$name")
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  echo "== $name ($seconds s)"
  # shellcheck disable=SC2086
  run_one "$name" "$seeds" $options &
done
wait

status=0
for name in "${names[@]}"; do
  runs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$work/$name.log" | grep -o '[0-9]*$' || true)
  cov=$(grep -o 'cov: [0-9]*' "$work/$name.log" | tail -n1 | grep -o '[0-9]*$' || true)
  if [ "$(cat "$work/$name.status")" != 0 ]; then
    echo "fuzz-smoke: $name found a problem (or did not run):" >&2
    tail -n 40 "$work/$name.log" >&2
    status=1
  else
    printf '%-22s runs %-10s cov %s\n' "$name" "${runs:-?}" "${cov:-?}"
  fi
done
exit $status
