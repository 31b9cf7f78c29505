#!/usr/bin/env bash
# Redraws the plot pictures in docs/ with ressona-measure: an MLS measurement
# of the simulated room (4096 samples at 48000 Hz, 60 passes, so that the plots' automatic
# ranges have settled as they do after a few seconds on screen; the simulated
# card running as fast as it can), drawn at 1200 x 400 pixels on Qt's
# offscreen platform: the time plot and the frequency plot in each of its
# four views, and the decay curves of the room parameters. The simulated room's noise is seeded, so the pictures come out
# the same on every run on a machine with the same fonts.
# Build first: cmake --build build
set -euo pipefail
build=${1:-build}
out=${2:-docs}
measure="$build/bin/ressona-measure"
mkdir -p "$out"
common=(--device sim:room --excitation mls --length 4096 --rate 48000 --passes 60 --instant
        --size 1200x400)
"$measure" "${common[@]}" --view standard --time-png "$out/time-plot.png" \
  --freq-png "$out/freq-standard.png" >/dev/null
for view in phase histogram waterfall; do
  "$measure" "${common[@]}" --view "$view" --freq-png "$out/freq-$view.png" >/dev/null
done
# The room parameters' decay curves: one pass at the longest length, whose
# steady period holds the simulated room's whole decay.
"$measure" --device sim:room --excitation mls --length 16384 --rate 48000 --instant --room \
  --size 1200x400 --decay-png "$out/room-decay.png" >/dev/null
echo "wrote $out/time-plot.png, $out/freq-{standard,phase,histogram,waterfall}.png and $out/room-decay.png"
