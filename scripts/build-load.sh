#!/usr/bin/env bash
# A bounded load like a developer's build beside the measurer: JOBS loops,
# each compiling a few of the project's own sources with the build's
# optimisation over and over (the memory traffic and the scheduling delays of
# a real build, which plain busy loops do not give). It stops after SECONDS,
# or when sent SIGTERM, and takes its compilers with it: each loop runs in a
# process group of its own (job control), stopped as a whole.
# Usage: build-load.sh SECONDS [JOBS]
set -euo pipefail
seconds=${1:?usage: build-load.sh SECONDS [JOBS]}
jobs=${2:-2}
here=$(cd "$(dirname "$0")/.." && pwd)
compiler=${CXX:-c++}
sources=(src/measure/measure_options.cpp src/room/room_analysis.cpp src/analysis/fft.cpp
         src/exchange/response_export.cpp src/eq/eq_fit.cpp)
compile_for_ever() {
  exec </dev/null >/dev/null 2>&1
  for ((;;)); do
    for source in "${sources[@]}"; do
      "$compiler" -std=c++20 -O2 -g -I"$here/src" -c "$here/$source" -o /dev/null || true
    done
  done
}
set -m
loops=()
stop() {
  for loop in "${loops[@]}"; do kill -TERM -- "-$loop" 2>/dev/null || true; done
}
trap stop EXIT
trap 'exit 0' TERM INT
for ((job = 0; job < jobs; job++)); do
  compile_for_ever &
  loops+=("$!")
done
sleep "$seconds" </dev/null >/dev/null 2>&1 &
loops+=("$!")
wait "$!"
