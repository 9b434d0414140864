#!/usr/bin/env bash
# Times `korvex-cli export` (copy and re-encode) against cat of the same bytes
# (the I/O limit), ffmpeg's concat copy and ffmpeg's MJPEG re-encode, on
# recordings built for the run, and prints the ratios.
#
#   bench/export/export_bench.sh [BUILD_DIR] [WORK_DIR]
#
# BUILD_DIR defaults to build/bench-export (configured and built here as a
# Release build with the benchmarks on); WORK_DIR to a fresh temporary
# folder, removed at the end (a WORK_DIR given is kept, and its recordings
# are reused by the next run with the same FILES and FRAMES). Needs ffmpeg (apt-get install ffmpeg; it is
# not a build dependency). FILES, FRAMES and RUNS in the environment change
# the input (default 10 files of 1000 frames, 320 x 240) and the number of
# runs per command (the fastest run counts).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build/bench-export}
files=${FILES:-10}
frames=${FRAMES:-1000}
runs=${RUNS:-3}

command -v ffmpeg >/dev/null || { echo "export_bench: ffmpeg is needed (apt-get install ffmpeg)" >&2; exit 1; }

if [ ! -x "$build/bin/korvex-cli" ] || [ ! -x "$build/bin/korvex-bench-make-recordings" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORVEX_BUILD_GUI=OFF \
    -DKORVEX_BUILD_TESTS=OFF -DKORVEX_BUILD_BENCH=ON >/dev/null
  cmake --build "$build" --target korvex-cli korvex-bench-make-recordings >/dev/null
fi
cli=$build/bin/korvex-cli

if [ -n "${2:-}" ]; then
  work=$2
  mkdir -p "$work"
else
  work=$(mktemp -d "${TMPDIR:-/tmp}/korvex-export-bench.XXXXXX")
  trap 'rm -rf "$work"' EXIT
fi

stamp="$work/recordings-$files-$frames"
if [ -f "$stamp" ]; then
  echo "reusing the recordings in $work"
else
  echo "building $files recordings of $frames frames (320 x 240) in $work ..."
  rm -f "$work"/rec*.avi "$work"/recordings-*
  "$build/bin/korvex-bench-make-recordings" "$work" "$files" "$frames"
  touch "$stamp"
fi
inputs=("$work"/rec*.avi)
: >"$work/list.txt"
for f in "${inputs[@]}"; do echo "file '$f'" >>"$work/list.txt"; done
bytes=$(cat "${inputs[@]}" | wc -c)
total_frames=$((files * frames))
echo "input: $bytes bytes, $total_frames frames; $(nproc) cores; fastest of $runs runs"
cat "${inputs[@]}" >/dev/null # into the page cache

# best NAME COMMAND...: runs the command $runs times, writing to $work/out,
# and keeps the fastest wall time (seconds) in times[NAME] and the processor
# time (user + system, all threads) of that run in cpu[NAME]. Processor time
# says more than wall time when other work shares the machine.
declare -A times cpu
TIMEFORMAT='%3R %3U %3S'
best() {
  local name=$1
  shift
  local fastest="" fastest_cpu=""
  for _ in $(seq "$runs"); do
    rm -f "$work/out.avi"
    sync
    local r u s
    read -r r u s < <({ time "$@" 2>/dev/null; } 2>&1)
    if [ -z "$fastest" ] || [ "$(echo "$r < $fastest" | bc -l)" = 1 ]; then
      fastest=$r
      fastest_cpu=$(echo "$u + $s" | bc -l)
    fi
  done
  times[$name]=$fastest
  cpu[$name]=$fastest_cpu
  printf '  %-34s %8.3f s wall %8.3f s processor\n' "$name" "$fastest" "$fastest_cpu"
}

cat_copy() { cat "${inputs[@]}" >"$work/out.avi"; }
cat_sync() { cat "${inputs[@]}" >"$work/out.avi" && sync "$work/out.avi"; }
korvex_copy() { "$cli" export "$work/out.avi" "${inputs[@]}" >/dev/null 2>&1; }
korvex_reencode() { "$cli" export --reencode "$work/out.avi" "${inputs[@]}" >/dev/null 2>&1; }
korvex_reencode1() { "$cli" export --reencode --threads 1 "$work/out.avi" "${inputs[@]}" >/dev/null 2>&1; }
# The same copy with the disk flushes turned into no-ops (a preloaded shim),
# to show how much of the copy's time is the flush that cat does not do.
cat >"$work/nosync.c" <<'SHIM'
#define _GNU_SOURCE
#include <fcntl.h>
int fsync(int fd) { (void)fd; return 0; }
int sync_file_range(int fd, off_t offset, off_t n, unsigned int flags) {
  (void)fd, (void)offset, (void)n, (void)flags;
  return 0;
}
SHIM
cc -shared -fPIC -O2 -o "$work/nosync.so" "$work/nosync.c"
korvex_copy_noflush() { LD_PRELOAD="$work/nosync.so" "$cli" export "$work/out.avi" "${inputs[@]}" >/dev/null 2>&1; }
korvex_start() { "$cli" export --help >/dev/null; }
ff_copy() { ffmpeg -nostdin -v error -y -f concat -safe 0 -i "$work/list.txt" -c copy -f avi "$work/out.avi"; }
ff_mjpeg() {
  local n=$1
  ffmpeg -nostdin -v error -y -threads "$n" -f concat -safe 0 -i "$work/list.txt" \
    -c:v mjpeg -q:v 2 -threads "$n" -filter_threads "$n" -f avi "$work/out.avi"
}
ff_mjpeg1() { ff_mjpeg 1; }
ff_mjpeg2() { ff_mjpeg 2; }

echo "timings:"
best cat cat_copy
best "cat + fsync of the output" cat_sync
best "korvex-cli export (copy)" korvex_copy
best "korvex-cli copy, flushes skipped" korvex_copy_noflush
best "korvex-cli start-up (--help)" korvex_start
best "ffmpeg concat -c copy" ff_copy
best "korvex-cli export --reencode" korvex_reencode
best "korvex-cli export --reencode -t 1" korvex_reencode1
best "ffmpeg MJPEG re-encode, 1 thread" ff_mjpeg1
best "ffmpeg MJPEG re-encode, 2 threads" ff_mjpeg2

# Peak memory of the export (kB of resident memory, from GNU time).
rss() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1; }
rss_base=$(rss "$cli" export --help)
rss_copy=$(rss "$cli" export "$work/out.avi" "${inputs[@]}")
rss_reencode=$(rss "$cli" export --reencode "$work/out.avi" "${inputs[@]}")
largest=$(stat -c %s "${inputs[@]}" | sort -n | tail -1)

ratio() { echo "scale=2; $1 / $2" | bc -l; }
fps() { echo "scale=0; $total_frames / $1" | bc -l; }
echo "ratios (lower is faster for time ratios):"
echo "  copy / cat:                          $(ratio "${times[korvex-cli export (copy)]}" "${times[cat]}")  (target <= 1.3)"
echo "  copy / (cat + fsync):                $(ratio "${times[korvex-cli export (copy)]}" "${times[cat + fsync of the output]}")  (target <= 1.0)"
echo "  copy with flushes skipped / cat:     $(ratio "${times[korvex-cli copy, flushes skipped]}" "${times[cat]}")"
echo "  ffmpeg concat copy / cat:            $(ratio "${times[ffmpeg concat -c copy]}" "${times[cat]}")"
echo "  copy / ffmpeg concat copy:           $(ratio "${times[korvex-cli export (copy)]}" "${times[ffmpeg concat -c copy]}")  (target <= 0.9)"
echo "re-encode throughput (frames/s):"
echo "  korvex-cli, all cores:               $(fps "${times[korvex-cli export --reencode]}")"
echo "  korvex-cli, 1 thread:                $(fps "${times[korvex-cli export --reencode -t 1]}")"
echo "  ffmpeg, 1 thread:                    $(fps "${times[ffmpeg MJPEG re-encode, 1 thread]}")"
echo "  ffmpeg, 2 threads:                   $(fps "${times[ffmpeg MJPEG re-encode, 2 threads]}")"
echo "  korvex-cli / ffmpeg 2 threads:       $(ratio "${times[ffmpeg MJPEG re-encode, 2 threads]}" "${times[korvex-cli export --reencode]}")  (target >= 2)"
echo "re-encode processor time per frame (microseconds, all threads):"
echo "  korvex-cli, all cores:               $(echo "scale=0; ${cpu[korvex-cli export --reencode]} * 1000000 / $total_frames" | bc -l)"
echo "  korvex-cli, 1 thread:                $(echo "scale=0; ${cpu[korvex-cli export --reencode -t 1]} * 1000000 / $total_frames" | bc -l)"
echo "  ffmpeg, 1 thread:                    $(echo "scale=0; ${cpu[ffmpeg MJPEG re-encode, 1 thread]} * 1000000 / $total_frames" | bc -l)"
echo "  ffmpeg, 2 threads:                   $(echo "scale=0; ${cpu[ffmpeg MJPEG re-encode, 2 threads]} * 1000000 / $total_frames" | bc -l)"
echo "peak resident memory:"
echo "  largest input file:                  $((largest / 1024)) kB; index: $((total_frames * 16 / 1024)) kB"
echo "  korvex-cli export --help (baseline): $rss_base kB"
echo "  korvex-cli export (copy):            $rss_copy kB (+$((rss_copy - rss_base)) kB over the baseline)"
echo "  korvex-cli export --reencode:        $rss_reencode kB (+$((rss_reencode - rss_base)) kB over the baseline)"
