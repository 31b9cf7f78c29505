#!/usr/bin/env bash
# Runs the benchmarks of a build tree.
set -euo pipefail
build=${1:-build}
if [[ ! -x "$build/bin/ressona_bench" ]]; then
  echo "no benchmarks built"; exit 0
fi
"$build/bin/ressona_bench" --benchmark_min_time=0.2
