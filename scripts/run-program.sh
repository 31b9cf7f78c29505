#!/usr/bin/env bash
# Starts the desktop program; without it (or without a display) runs one
# headless MLS measurement of the simulated room instead, says so, and leaves
# pictures of both plots in build/pictures/.
set -euo pipefail
build=${1:-build}
if [[ -x "$build/bin/ressona" && -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
  exec "$build/bin/ressona"
fi
if [[ -x "$build/bin/ressona-measure" ]]; then
  pictures="$build/pictures"
  mkdir -p "$pictures"
  echo "ressona: no display here; running a headless measurement of the simulated room instead."
  "$build/bin/ressona-measure" --device sim --excitation mls --passes 3 --json \
    --time-png "$pictures/time-plot.png" --freq-png "$pictures/freq-plot.png"
  echo "ressona: pictures of the plots: $pictures/time-plot.png and $pictures/freq-plot.png"
  exit 0
fi
echo "ressona: the desktop program is not built yet; 'make test' runs what exists."
