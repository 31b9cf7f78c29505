#!/usr/bin/env bash
# Takes a picture of the desktop program's three windows during a measurement
# of the simulated room with the MLS: the program runs on a virtual X screen
# (Xvfb, 1280x1024) with Qt's X11 platform, xdotool clicks "MLS" and "Start"
# on the panel and moves the pointer over the frequency plot for its
# read-out, and xwd takes the whole screen (docs/screenshot.png unless another
# file is named). Build first: cmake --build build
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
plot=$(xdotool search --sync --name '^Frequency Domain - Ressona$' | head -n 1)
sleep 1
click() {  # x y inside the panel
  xdotool mousemove --window "$panel" "$1" "$2" click 1
  sleep 0.3
}
click ${centres[0]}
click ${centres[1]}
sleep 4
# The read-out under the pointer, at 1 kHz or so on the frequency plot.
xdotool mousemove --window "$plot" 560 120
sleep 0.5
xwd -root -silent | /usr/bin/convert xwd:- png:"$out"
click ${centres[2]}
click ${centres[3]}
wait "$program"
program=
echo "wrote $out"
