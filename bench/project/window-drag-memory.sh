#!/usr/bin/env bash
# What a detector drag costs the real program in resident memory, measured
# from outside it: starts `korvex` under a virtual X server on the largest
# project the format holds (8 cameras x 32 detectors, written by
# large_project_file --marked), finds camera A's card on a screenshot by its
# flat magenta background, selects detector A1 with a click and drags its
# first corner DRAGS times with xdotool (press, five moves, release; 2
# picture pixels to the right each time), saves with Ctrl+S and reads VmRSS
# of /proc/PID/status before and after.
#
#   bench/project/window-drag-memory.sh [BUILD_DIR] [DRAGS]
#
# BUILD_DIR defaults to build/release and needs the targets korvex and
# large_project_file; DRAGS defaults to 20. Prints the figures and the
# corner's place in the saved file (it moves 2 * DRAGS pixels when every
# drag arrived).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build/release}" && pwd)
drags=${2:-20}

if [ -z "${KORVEX_DRAG_DISPLAY:-}" ]; then
  export KORVEX_DRAG_DISPLAY=1
  exec xvfb-run -a -s "-screen 0 1600x1000x24" "$0" "$build" "$drags"
fi

for tool in xdotool import python3; do
  command -v "$tool" > /dev/null || { echo "window-drag-memory: $tool is missing" >&2; exit 1; }
done

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

rss() { awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status"; }

# Waits until `$@` succeeds, at most $deadline seconds.
until_true() {
  local deadline=$1
  shift
  local end=$((SECONDS + deadline))
  until "$@"; do
    [ "$SECONDS" -lt "$end" ] || return 1
    sleep 0.2
  done
}

"$build/bin/large_project_file" --marked "$scratch/large.kvx"
export XDG_CONFIG_HOME="$scratch/config" XDG_STATE_HOME="$scratch/state" KORVEX_LANG_DIR="$build/bin"
"$build/bin/korvex" "$scratch/large.kvx" > "$scratch/korvex.log" 2>&1 &
pid=$!

window=
find_window() {
  window=$(xdotool search --onlyvisible --pid "$pid" 2> /dev/null | head -n 1)
  [ -n "$window" ]
}
until_true 60 find_window || { echo "window-drag-memory: no window" >&2; exit 1; }
xdotool windowmove "$window" 0 0 windowsize "$window" 1600 1000

# Camera A's card on the screen: "left top zoom" of its magenta pixels.
card=
find_card() {
  import -window root -depth 8 "ppm:$scratch/shot.ppm" 2> /dev/null || return 1
  card=$(python3 - "$scratch/shot.ppm" << 'EOF'
import sys
data = open(sys.argv[1], "rb").read()
# P6 header: magic, width, height, maximum, then the pixels.
fields, at = [], 0
while len(fields) < 4:
    while data[at:at + 1].isspace():
        at += 1
    start = at
    while not data[at:at + 1].isspace():
        at += 1
    fields.append(data[start:at])
at += 1
width, height = int(fields[1]), int(fields[2])
pixels = data[at:]
# Runs of at least 32 magenta pixels: the card's background, not a stray
# pixel of another picture.
run = b"\xff\x00\xff" * 32
left = top = None
right = bottom = -1
for y in range(height):
    row = pixels[y * width * 3:(y + 1) * width * 3]
    x = row.find(run)
    while x != -1 and x % 3:
        x = row.find(run, x + 1)
    if x == -1:
        continue
    last = row.rfind(run)
    while last % 3:
        last = row.rfind(run, 0, last + len(run) - 1)
    top = y if top is None else top
    bottom = y
    left = x // 3 if left is None else min(left, x // 3)
    right = max(right, last // 3 + 31)
if top is None:
    sys.exit(1)
zoom = round((right - left + 1) / 320)
if zoom < 1 or (bottom - top + 1) < 240 * zoom:
    sys.exit(1)
print(left, top, zoom)
EOF
  )
}
until_true 60 find_card || { echo "window-drag-memory: camera A's card is not on the screen" >&2; exit 1; }
read -r left top zoom <<< "$card"

# Picture pixel (x, y) on the screen: the middle of its zoomed square.
sx() { echo $((left + $1 * zoom + zoom / 2)); }
sy() { echo $((top + $1 * zoom + zoom / 2)); }

xdotool mousemove "$(sx 60)" "$(sy 80)" click 1
corner=20
drag() {
  local x0 y0 m
  x0=$(sx "$corner")
  y0=$(sy 40)
  xdotool mousemove "$x0" "$y0" mousedown 1
  for m in 1 2 3 4 5; do
    xdotool mousemove $((x0 + 2 * zoom * m / 5)) "$y0"
  done
  xdotool mouseup 1
  corner=$((corner + 2))
}

# Settled: the same resident size twice a second apart (bounded).
settle() {
  local a b
  b=$(rss)
  for _ in $(seq 1 30); do
    sleep 1
    a=$b
    b=$(rss)
    [ "$a" != "$b" ] || break
  done
  echo "$b"
}

# Two drags first: what the first drag sets up once is not the drags' cost.
drag
drag
start_corner=$corner
before=$(settle)
for _ in $(seq 1 "$drags"); do
  drag
done
saved_before=$(stat -c %Y "$scratch/large.kvx")
xdotool windowactivate --sync "$window" 2> /dev/null || xdotool windowfocus "$window"
xdotool key ctrl+s
saved() { [ "$(stat -c %Y "$scratch/large.kvx")" != "$saved_before" ]; }
until_true 60 saved || echo "window-drag-memory: the project was not saved; the corner below is the old one" >&2
after=$(settle)

read -r cx _ <<< "$("$build/bin/large_project_file" --corner "$scratch/large.kvx")"
echo "drags: $drags (corner x from $start_corner to $cx in the saved file, expected $corner)"
echo "resident before: $before kB"
echo "resident after:  $after kB"
awk -v a="$after" -v b="$before" -v n="$drags" 'BEGIN { printf "per drag: %.1f kB\n", (a - b) / n }'
