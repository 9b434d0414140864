#!/usr/bin/env bash
# Runs every device operation RUNS times (default 100) against a real
# OpenSSH sshd and a real Dropbear on loopback, with the simulator as the
# device's login shell, and prints failures and times per operation.
# Needs root (it logs in as a dedicated test user). Usage:
#   scripts/measure-real-servers.sh [RUNS] [PRESET]   (PRESET: release by default)
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-100}"
preset="${2:-release}"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j2 --target measure_real_servers korvex-devsim
exec "build/$preset/tests/measure_real_servers" "$runs"
