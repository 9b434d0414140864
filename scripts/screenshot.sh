#!/usr/bin/env bash
# Starts the Korvex window under a virtual X server with a sample project
# (four camera cards, detectors of every kind, background pictures) and saves
# screenshots to docs/screenshots/, then opens the device windows against the
# device simulator and saves one picture of each. The sample project itself is written to
# docs/sample/ so it can be opened in Korvex.
#   scripts/screenshot.sh [build folder]   (default: build/release)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/release}"
if [ ! -d "$build" ]; then
  cmake --preset release -S "$root"
  build="$root/build/release"
fi
cmake --build "$build" --target korvex_screenshots korvex_composer_screenshots korvex_session_screenshots \
  korvex_device_screenshots korvex_project_tools_screenshots korvex_live_site_screenshots \
  korvex_site_day_screenshots korvex_languages
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0}"
export KORVEX_LANG_DIR="$build/bin"
xvfb-run -a -s "-screen 0 1600x1000x24" \
  "$build/tools/korvex_screenshots" "$root/docs/screenshots" "$root/docs/sample"
# The composer window, with formulas typed into the sample project.
xvfb-run -a -s "-screen 0 1600x1000x24" \
  "$build/tools/korvex_composer_screenshots" "$root/docs/screenshots" "$root/docs/sample/sample.kvx"
# The recent-projects menu and the recovery question, with settings and
# recovery copies of their own.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
XDG_CONFIG_HOME="$scratch/config" XDG_STATE_HOME="$scratch/state" xvfb-run -a -s "-screen 0 1600x1000x24" \
  "$build/tools/korvex_session_screenshots" "$root/docs/screenshots" "$scratch"
# The device windows, filled from the in-process device simulator.
xvfb-run -a -s "-screen 0 1600x1000x24" \
  "$build/tools/korvex_device_screenshots" "$root/docs/screenshots"
# Any picture as a background, the comparison pane and the report's camera
# page (rendered from the PDF the program writes).
XDG_CONFIG_HOME="$scratch/config" XDG_STATE_HOME="$scratch/state" xvfb-run -a -s "-screen 0 1600x1000x24" \
  "$build/tools/korvex_project_tools_screenshots" "$root/docs/screenshots" "$root/docs/sample/sample.kvx" "$scratch"
pdftoppm -png -r 100 -f 2 -l 2 -x 0 -y 0 -W 827 -H 560 -singlefile "$scratch/report.pdf" "$root/docs/screenshots/report-camera"
# The live page's site checks: detectors over the demo device's pictures and
# a camera that has moved, on the sample project (read, not rewritten).
XDG_CONFIG_HOME="$scratch/config-live" xvfb-run -a -s "-screen 0 1600x1000x24" \
  "$build/tools/korvex_live_site_screenshots" "$root/docs/screenshots" "$root/docs/sample/sample.kvx"
# A site day on the demo device: the restart question, the live page while
# the device restarts, connected again, kept programs, devices used before
# and saved recordings (settings and folders of its own).
xvfb-run -a -s "-screen 0 1600x1000x24" \
  "$build/tools/korvex_site_day_screenshots" "$root/docs/screenshots" "$root/docs/sample/sample.kvx"
