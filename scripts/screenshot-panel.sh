#!/usr/bin/env bash
# Writes a picture of the control panel with its start-up settings, drawn by
# Qt's offscreen platform with the fonts of this machine (docs/panel.png unless
# another file is named). Build first: cmake --build build
set -euo pipefail
build=${1:-build}
out=${2:-docs/panel.png}
runtime=$(mktemp -d /tmp/ressona-shot-XXXXXX)
chmod 700 "$runtime"
trap 'rm -rf "$runtime"' EXIT
mkdir -p "$(dirname "$out")"
XDG_RUNTIME_DIR=$runtime QT_QPA_PLATFORM=offscreen "$build/bin/ressona-panel-preview" "$out"
echo "wrote $out"
