#!/usr/bin/env bash
# Runs every test of a build tree through CTest. The tests labelled `audio`
# need a sound server: a private PulseAudio is started for them and stopped
# afterwards (scripts/pulse-test-server.sh); nothing else on the machine changes.
set -euo pipefail
build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
runtime=$(mktemp -d /tmp/ressona-test-XXXXXX)
chmod 700 "$runtime"
export XDG_RUNTIME_DIR=$runtime
cleanup() {
  if [[ -f "$here/pulse-test-server.sh" ]]; then
    bash "$here/pulse-test-server.sh" stop "$runtime" || true
  fi
  rm -rf "$runtime"
}
trap cleanup EXIT
if [[ -f "$here/pulse-test-server.sh" ]]; then
  # Exports PULSE_SERVER, PULSE_CLIENTCONFIG, ALSA_CONFIG_PATH ... for the tests.
  eval "$(bash "$here/pulse-test-server.sh" start "$runtime")"
fi
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 600
