#!/usr/bin/env bash
# Starts the desktop program; without it (or without a display) runs one
# headless measurement of the simulated room instead and says so.
set -euo pipefail
build=${1:-build}
if [[ -x "$build/bin/ressona" && -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
  exec "$build/bin/ressona"
fi
if [[ -x "$build/bin/ressona-measure" ]]; then
  echo "ressona: no display here; running a headless measurement of the simulated room instead."
  exec "$build/bin/ressona-measure" --device sim --json
fi
echo "ressona: the desktop program is not built yet; 'make test' runs what exists."
