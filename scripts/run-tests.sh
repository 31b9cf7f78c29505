#!/usr/bin/env bash
# Runs every test of a build tree through CTest. The tests labelled `audio`
# need sound servers: a private PulseAudio and a private PipeWire are started
# for them and stopped afterwards (scripts/pulse-test-server.sh,
# scripts/pipewire-test-server.sh); nothing else on the machine changes.
set -euo pipefail
build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
runtime=$(mktemp -d /tmp/ressona-test-XXXXXX)
chmod 700 "$runtime"
export XDG_RUNTIME_DIR=$runtime
servers=(pulse-test-server.sh pipewire-test-server.sh)
cleanup() {
  for server in "${servers[@]}"; do
    if [[ -f "$here/$server" ]]; then
      bash "$here/$server" stop "$runtime" || true
    fi
  done
  rm -rf "$runtime"
}
trap cleanup EXIT
for server in "${servers[@]}"; do
  if [[ -f "$here/$server" ]]; then
    # Exports PULSE_SERVER, PIPEWIRE_RUNTIME_DIR, ALSA_CONFIG_PATH ... for the tests.
    eval "$(bash "$here/$server" start "$runtime")"
  fi
done
# The audio tests run first and one at a time, as the other tests would starve
# the sound servers. Each test runs once: a pass that a server spoils is
# caught and played again by the pass itself (audio/pass_check.h), and a test
# that fails has found a fault.
ctest --test-dir "$build" --output-on-failure -L audio -j 1 --timeout 600
ctest --test-dir "$build" --output-on-failure -LE audio -j "$(nproc)" --timeout 600
