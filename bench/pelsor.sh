#!/usr/bin/env bash
# Times the probe as a whole process against a minimal program that only checks its parent and
# writes "null", in one run, and prints the ratios. Goal: time within 1.3x, peak memory within 1.5x.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-2000}
# The preset "programs" builds into build-programs/ unless BUILD_DIR says another folder.
build=${BUILD_DIR:-build-programs}
if [ ! -x "$build/bin/pelsor" ]; then
  cmake --preset programs -B "$build" >/dev/null
  cmake --build "$build" --target pelsor >/dev/null
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cc -O2 -o "$work/spawn_bench" bench/spawn_bench.c
cc -O2 -o "$work/minimal_null" bench/minimal_null.c
"$work/spawn_bench" "$runs" "$work/minimal_null" "$build/bin/pelsor"
