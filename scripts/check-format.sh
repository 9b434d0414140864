#!/usr/bin/env bash
# Checks that the C and C++ files changed on this branch are laid out as
# .clang-format says: the files changed since the branch left main (or since
# the commit named by KORVEX_FORMAT_BASE), uncommitted and new files included.
# Prints the files that differ and fails; on main itself it checks only
# what is not committed yet. Needs no network.
set -euo pipefail
cd "$(dirname "$0")/.."

if ! git rev-parse --git-dir >/dev/null 2>&1; then
  echo "check-format: not a git checkout, nothing to compare with" >&2
  exit 0
fi

base=${KORVEX_FORMAT_BASE:-}
if [ -z "$base" ]; then
  for ref in main origin/main; do
    if git rev-parse --verify -q "$ref^{commit}" >/dev/null; then
      # A shallow clone may not reach the fork point: then nothing is checked.
      base=$(git merge-base HEAD "$ref" 2>/dev/null || true)
      break
    fi
  done
fi
if [ -z "$base" ]; then
  echo "check-format: no main branch to compare with, nothing checked" >&2
  exit 0
fi

patterns=('*.cpp' '*.h' '*.c' ':!*.pb.c' ':!*.pb.h')
mapfile -t files < <({
  git diff --name-only --diff-filter=ACMR "$base" -- "${patterns[@]}"
  git ls-files --others --exclude-standard -- "${patterns[@]}"
} | sort -u)

unformatted=()
for f in "${files[@]}"; do
  if ! clang-format --dry-run --Werror "$f" >/dev/null 2>&1; then
    unformatted+=("$f")
  fi
done

if [ ${#unformatted[@]} -ne 0 ]; then
  echo "check-format: these files are not laid out as .clang-format says" >&2
  echo "(clang-format -i FILE rewrites one):" >&2
  printf '  %s\n' "${unformatted[@]}" >&2
  exit 1
fi
echo "check-format: ${#files[@]} changed file(s) laid out as .clang-format says"
