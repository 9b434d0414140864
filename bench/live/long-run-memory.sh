#!/usr/bin/env bash
# Whether the window stays flat over a long run, measured from outside it:
# starts `korvex --demo` under a virtual X server on the sample project with
# the detectors drawn over the live pictures (the live/showDetectors
# setting) and the moved-camera check running (it always runs beside the
# live page), and reads VmRSS of /proc/PID/status every INTERVAL seconds
# for MINUTES minutes of real time. The demo device plays its scenes in
# real time, so this is MINUTES of scene time.
#
#   bench/live/long-run-memory.sh [BUILD_DIR] [MINUTES] [INTERVAL] [SHOT.png]
#
# BUILD_DIR defaults to build/release (target korvex), MINUTES to 10 and
# INTERVAL to 30. Prints one line per sample (seconds, resident MB, change
# from the level after warm-up) and then: the level after warm-up (the
# first two minutes, or the first fifth of a shorter run), the largest
# change from it, the least-squares slope of the samples after warm-up and
# the change that slope would give over two hours. Exits 1 when a sample
# after warm-up is more than 10 MB from the level. SHOT.png, when given,
# gets a picture of the screen at the end (to see that the demo played).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build/release}" && pwd)
minutes=${2:-10}
interval=${3:-30}
shot=${4:-}

if [ -z "${KORVEX_LONG_RUN_DISPLAY:-}" ]; then
  export KORVEX_LONG_RUN_DISPLAY=1
  exec xvfb-run -a -s "-screen 0 1600x1000x24" "$0" "$build" "$minutes" "$interval" "$shot"
fi

scratch=$(mktemp -d)
pid=
cleanup() {
  if [ -n "$pid" ] && kill -0 "$pid" 2> /dev/null; then
    kill "$pid"
    wait "$pid" 2> /dev/null || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT

mkdir -p "$scratch/config/korvex" "$scratch/state"
printf '[live]\nshowDetectors=true\n' > "$scratch/config/korvex/korvex.ini"
cp "$root/docs/sample/sample.kvx" "$scratch/sample.kvx"
export XDG_CONFIG_HOME="$scratch/config" XDG_STATE_HOME="$scratch/state" KORVEX_LANG_DIR="$build/bin"
"$build/bin/korvex" --demo "$scratch/sample.kvx" > "$scratch/korvex.log" 2>&1 &
pid=$!

rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status"; }
# User and system CPU seconds of the process (fields 14 and 15 of stat).
cpu_s() { awk -v hz="$(getconf CLK_TCK)" '{ printf "%.1f", ($14 + $15) / hz }' "/proc/$pid/stat"; }

samples="$scratch/samples"
start=$SECONDS
end=$((start + minutes * 60))
next=$start
while :; do
  kill -0 "$pid" 2> /dev/null || { echo "long-run-memory: korvex ended early" >&2; cat "$scratch/korvex.log" >&2; exit 1; }
  now=$SECONDS
  if [ "$now" -ge "$next" ]; then
    echo "$((now - start)) $(rss_kb) $(cpu_s)" >> "$samples"
    next=$((next + interval))
  fi
  [ "$now" -lt "$end" ] || break
  sleep 1
done
if [ -n "$shot" ]; then
  import -window root "$shot"
fi

awk -v minutes="$minutes" '
  { t[NR] = $1; r[NR] = $2 / 1024; c[NR] = $3; n = NR }
  END {
    warm = minutes >= 10 ? 120 : minutes * 60 / 5
    for (i = 1; i <= n && t[i] < warm; ++i) {}
    first = i
    level = r[first]
    printf "%8s %12s %12s %10s\n", "seconds", "resident MB", "change MB", "CPU s"
    worst = 0
    for (i = 1; i <= n; ++i) {
      change = i >= first ? sprintf("%+.1f", r[i] - level) : "(warm-up)"
      printf "%8d %12.1f %12s %10.1f\n", t[i], r[i], change, c[i]
      if (i >= first && (r[i] - level > worst || level - r[i] > worst))
        worst = r[i] > level ? r[i] - level : level - r[i]
    }
    # Least squares over the samples after warm-up.
    m = 0; st = 0; sr = 0; stt = 0; str = 0
    for (i = first; i <= n; ++i) { ++m; st += t[i]; sr += r[i]; stt += t[i] * t[i]; str += t[i] * r[i] }
    slope = (m > 1 && m * stt != st * st) ? (m * str - st * sr) / (m * stt - st * st) : 0
    printf "level after warm-up (%d s): %.1f MB\n", t[first], level
    printf "largest change after warm-up: %.1f MB\n", worst
    printf "slope after warm-up: %+.3f MB per 10 minutes, %+.1f MB over two hours at that rate\n",
           slope * 600, slope * 7200
    exit worst > 10 ? 1 : 0
  }' "$samples"
