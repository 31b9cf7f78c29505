#!/usr/bin/env bash
# Times the desktop program from launch until both plot windows have shown
# their first picture (build/bin/ressona-first-frame, on the simulated room),
# RUNS times (default 11) on a virtual X screen (Xvfb 1280x1024, Qt's X11
# platform), and prints every run and the median in milliseconds.
# Build first: cmake --build build
set -euo pipefail
build=${1:-build}
runs=${RUNS:-11}
if [[ -z "${RESSONA_IN_XVFB:-}" ]]; then
  RESSONA_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$build"
fi
runtime=$(mktemp -d /tmp/ressona-time-XXXXXX)
chmod 700 "$runtime"
trap 'rm -rf "$runtime"' EXIT
export XDG_RUNTIME_DIR=$runtime QT_QPA_PLATFORM=xcb
times=()
for ((i = 0; i < runs; i++)); do
  line=$("$build/bin/ressona-first-frame" "$EPOCHREALTIME")
  echo "$line"
  times+=("$(sed -E 's/.*"first_frame_ms": ([0-9.]+).*/\1/' <<<"$line")")
done
printf '%s\n' "${times[@]}" | sort -n | awk '{ v[NR] = $1 } END { printf "median first frame: %.1f ms over %d runs\n", v[int((NR + 1) / 2)], NR }'
