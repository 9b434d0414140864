#!/usr/bin/env bash
# Runs every device operation RUNS times (default 100) against a real
# OpenSSH sshd and a real Dropbear on loopback, with the simulator as the
# device's login shell, and prints failures and times per operation.
# Needs root (it logs in as a dedicated test user). Usage:
#   scripts/measure-real-servers.sh [RUNS] [PRESET]   (PRESET: release by default)
#   scripts/measure-real-servers.sh uploads [RUNS] [PRESET]
# The second form runs an upload loop (default 50 runs) on both servers and
# the simulator with the program folder writable and locked, and says which
# way the program reached each device.
set -euo pipefail
cd "$(dirname "$0")/.."
mode=""
default_runs=100
if [[ "${1:-}" == uploads ]]; then
    mode=uploads
    default_runs=50
    shift
fi
runs="${1:-$default_runs}"
preset="${2:-release}"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j2 --target measure_real_servers korvex-devsim
if [[ -n "$mode" ]]; then
    exec "build/$preset/tests/measure_real_servers" "$mode" "$runs"
fi
exec "build/$preset/tests/measure_real_servers" "$runs"
