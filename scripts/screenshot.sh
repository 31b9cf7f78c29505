#!/usr/bin/env bash
# Takes a picture of the desktop program's three windows during a measurement
# of the simulated room with the MLS: the program runs on a virtual X screen
# (Xvfb, 1280x1024) with Qt's X11 platform, xdotool clicks "MLS" and "Start"
# on the panel, and xwd takes the whole screen a few seconds later
# (docs/screenshot.png unless another file is named); then "Stop" and "Exit".
# Build first: cmake --build build
set -euo pipefail
build=${1:-build}
out=${2:-docs/screenshot.png}
if [[ -z "${RESSONA_IN_XVFB:-}" ]]; then
  mkdir -p "$(dirname "$out")"
  RESSONA_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$build" "$out"
fi

runtime=$(mktemp -d /tmp/ressona-shot-XXXXXX)
chmod 700 "$runtime"
export XDG_RUNTIME_DIR=$runtime
# An empty ALSA configuration: no device opens, so the program measures the
# simulated room whatever sound hardware the machine has.
: > "$runtime/asound.conf"
export ALSA_CONFIG_PATH=$runtime/asound.conf
program=
cleanup() {
  [[ -n "$program" ]] && kill "$program" 2>/dev/null || true
  rm -rf "$runtime"
}
trap cleanup EXIT

# Centres of "MLS" (221), "Start" (207), "Stop" (208) and "Exit" (1007) in the panel.
mapfile -t centres < <(QT_QPA_PLATFORM=offscreen "$build/bin/ressona-panel-preview" --centre 221 207 208 1007)

QT_QPA_PLATFORM=xcb "$build/bin/ressona" &
program=$!
panel=$(xdotool search --sync --name '^Ressona - acoustic response measurement$' | head -n 1)
xdotool search --sync --name '^Frequency Domain - Ressona$' >/dev/null
sleep 1
click() {  # x y inside the panel
  xdotool mousemove --window "$panel" "$1" "$2" click 1
  sleep 0.3
}
click ${centres[0]}
click ${centres[1]}
sleep 4
# The screen without the empty (black) desktop around the windows.
xwd -root -silent | /usr/bin/convert xwd:- -trim +repage png:"$out"
click ${centres[2]}
click ${centres[3]}
for _ in $(seq 100); do
  kill -0 "$program" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$program" 2>/dev/null; then
  echo "screenshot: ressona did not end after Exit" >&2
  exit 1
fi
status=0
wait "$program" || status=$?
program=
if ((status != 0)); then
  echo "screenshot: ressona ended with status $status" >&2
  exit 1
fi
echo "wrote $out"
