#!/usr/bin/env bash
# Checks that every #include "folder/file.h" under src/ points down the layers
# (or stays within its own layer), bottom first:
#
#   state        the settings record and the handles and records every part shares
#   resources    dialog templates, texts, ids and artwork: data, nothing above state
#   platform     service interfaces (clock, wave, mixer, messages, dialog, canvas,
#                memory), then the simulated backend, then the ALSA and Qt backends
#   signals, analysis, storage
#   response     the measured transfer function, the one result every method takes
#   exchange, audio, plots, room and eq
#   sweep        the exponential sweep, and its pass: a wave service that plays it
#                and finds its latency with the audio layer's estimate
#   level        the sound level meter and the calibrator, on the room's band filters
#   control      the panel, the measurement cycle, start-up and shutdown
#   desktop      the desktop program's Qt wiring
#   measure, app the headless measurer, then the executables' mains
#
# Usage: check-layers.sh [SRC_DIR]     (default: the project's src/)
#        check-layers.sh --self-test   (plants an upward include in a copy; must fail)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

check() {
  local src=$1
  (cd "$src" && find . -name '*.h' -o -name '*.cpp' | sed 's|^\./||' | sort |
    xargs grep -H '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"]*/' /dev/null || true) |
  awk -v src="$src" '
    function layer(folder) {
      if (folder == "state") return 0
      if (folder == "resources") return 1
      if (folder ~ /^platform\/(clock|wave|mixer|messages|dialog|canvas|memory)$/) return 2
      if (folder == "platform/sim") return 3
      if (folder == "platform/alsa" || folder == "platform/qt") return 4
      if (folder == "signals") return 5
      if (folder == "analysis") return 6
      if (folder == "storage") return 7
      if (folder == "response") return 8
      if (folder ~ /^(exchange|audio|plots|room|eq)$/) return 9
      if (folder == "sweep") return 10
      if (folder == "level") return 11
      if (folder == "control") return 12
      if (folder == "desktop") return 13
      if (folder == "measure") return 14
      if (folder == "app") return 15
      return -1
    }
    # The platform services are one layer of several folders.
    function group(folder) { return layer(folder) == 2 ? "platform-services" : folder }
    function dir(path) { sub(/\/[^\/]*$/, "", path); return path }
    {
      split($0, part, ":")
      file = part[1]
      match($0, /"[^"]*"/)
      included = substr($0, RSTART + 1, RLENGTH - 2)
      from = dir(file); to = dir(included)
      if (!(to in ours)) ours[to] = system("test -d \"" src "/" to "\"") == 0
      if (!ours[to]) next  # a header of another library
      if (layer(from) < 0) { bad[from " is in no layer (add it to scripts/check-layers.sh)"]; next }
      if (layer(to) < 0) { bad[file " includes " included ", which is in no layer"]; next }
      if (group(to) != group(from) && layer(to) >= layer(from))
        bad[file " includes " included ", which is not below " from]
    }
    END {
      n = 0
      for (line in bad) { print "layers: " line; n++ }
      if (n > 0) { print "layers: " n " include(s) point the wrong way"; exit 1 }
      print "layers: every include points down"
    }'
}

if [[ ${1:-} == --self-test ]]; then
  copy=$(mktemp -d)
  trap 'rm -rf "$copy"' EXIT
  cp -r "$here/../src" "$copy/src"
  echo '#include "control/program.h"' >> "$copy/src/state/measurement_state.h"
  if check "$copy/src" >/dev/null; then
    echo "layers: the planted upward include was not found"
    exit 1
  fi
  echo "layers: the planted upward include was found"
  exit 0
fi
check "${1:-$here/../src}"
