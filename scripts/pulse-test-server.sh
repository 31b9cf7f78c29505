#!/usr/bin/env bash
# A private PulseAudio for the tests labelled `audio`: null sinks at the five
# sample rates, reachable only through a socket in the given directory.
#
#   pulse-test-server.sh start DIR   starts it (or finds it running) and prints
#                                    `export ...` lines for the tests to eval
#   pulse-test-server.sh stop DIR    stops the server that `start` left in DIR
#
# Nothing outside DIR changes: the server runs in the foreground of a
# background job with HOME and XDG_RUNTIME_DIR inside DIR, no D-Bus, no
# autospawn. Its ALSA names (`default`; `ressona_rR` per rate R, playing into
# that rate's sink and recording its monitor; `ressona_reference`, a
# two-channel loop at 48000 Hz whose left channel goes through a +6 dB
# peaking section at 1 kHz and whose right one comes back straight;
# `ressona_noserver`, a device whose server is missing) come from a configuration file in DIR that only the
# exported ALSA_CONFIG_PATH names. `start` never fails the caller: without
# pulseaudio installed it prints nothing (the audio tests then skip and say
# why); when an installed server does not come up it explains on stderr and
# still exports its settings, so that the audio tests fail and say so rather
# than skip.
set -uo pipefail

rates=(8000 11025 22050 44100 48000)
default_rate=22050

usage() { echo "usage: $0 start|stop DIR" >&2; exit 2; }
[[ $# -eq 2 ]] || usage
action=$1
dir=$(mkdir -p "$2" && cd "$2" && pwd) || usage
pulse_dir=$dir/pulse
repo=$(cd "$(dirname "$0")/.." && pwd)
socket=$pulse_dir/native
pid_file=$pulse_dir/server.pid

exports() {
  echo "export PULSE_SERVER=unix:$socket"
  echo "export PULSE_CLIENTCONFIG=$pulse_dir/client.conf"
  echo "export ALSA_CONFIG_PATH=/usr/share/alsa/alsa.conf:$pulse_dir/asound.conf"
  # Tells the audio tests that a server was started for them: they must run, not skip.
  echo "export RESSONA_AUDIO_SERVER=1"
}

answering() {
  PULSE_SERVER=unix:$socket PULSE_CLIENTCONFIG=$pulse_dir/client.conf \
    HOME=$pulse_dir/home XDG_RUNTIME_DIR=$pulse_dir/runtime \
    timeout 2 pactl info >/dev/null 2>&1
}

running_pid() {
  [[ -f $pid_file ]] || return 1
  local pid
  pid=$(cat "$pid_file")
  [[ -n $pid ]] && kill -0 "$pid" 2>/dev/null && echo "$pid"
}

# The reference loop's LADSPA plugin, built from tests/tools into DIR where
# a compiler and the LADSPA header are there (the package ladspa-sdk).
build_plugin() {
  local source=$repo/tests/tools/reference_loop_ladspa.cpp
  mkdir -p "$pulse_dir/ladspa"
  [[ -f /usr/include/ladspa.h && -f $source ]] && command -v g++ >/dev/null || return 0
  g++ -std=c++20 -O2 -shared -fPIC -o "$pulse_dir/ladspa/ressona_reference_loop.so" "$source" ||
    echo "pulse-test-server: the reference loop's plugin did not build" >&2
}

write_files() {
  mkdir -p "$pulse_dir/home" "$pulse_dir/runtime"
  chmod 700 "$pulse_dir/runtime"
  build_plugin
  {
    echo "load-module module-native-protocol-unix auth-anonymous=1 socket=$socket"
    # norewinds=1: without it the server rewinds over the start of a freshly
    # written stream and the first samples of a played buffer never arrive.
    for rate in "${rates[@]}"; do
      echo "load-module module-null-sink sink_name=null$rate rate=$rate format=s16le" \
           "channels=1 norewinds=1"
    done
    # The two-channel loop for a timing reference, at 48000 Hz: the LADSPA
    # plugin of tests/tools puts the left channel through a peaking section
    # and passes the right one straight, into a stereo null sink whose
    # monitor is recorded. Only when the plugin could be built.
    if [[ -f $pulse_dir/ladspa/ressona_reference_loop.so ]]; then
      echo "load-module module-null-sink sink_name=nullref rate=48000 format=s16le" \
           "channels=2 channel_map=front-left,front-right norewinds=1"
      echo "load-module module-ladspa-sink sink_name=ressona_ref sink_master=nullref" \
           "plugin=ressona_reference_loop label=ressona_reference_loop channels=2" \
           "channel_map=front-left,front-right"
    fi
    echo "set-default-sink null$default_rate"
    echo "set-default-source null$default_rate.monitor"
  } > "$pulse_dir/server.pa"
  printf 'autospawn = no\ndefault-server = unix:%s\n' "$socket" > "$pulse_dir/client.conf"
  {
    echo 'pcm.!default { type pulse }'
    echo 'ctl.!default { type pulse }'
    # One device per rate that plays into that rate's sink and records its
    # monitor, so a test at any rate needs no change of the server's defaults.
    for rate in "${rates[@]}"; do
      echo "pcm.ressona_r$rate {"
      echo "  type asym"
      echo "  playback.pcm { type pulse device null$rate }"
      echo "  capture.pcm { type pulse device null$rate.monitor }"
      echo "}"
      echo "ctl.ressona_r$rate { type pulse sink null$rate source null$rate.monitor }"
    done
    # The two-channel loop: left through the peaking section, right straight back.
    echo "pcm.ressona_reference {"
    echo "  type asym"
    echo "  playback.pcm { type pulse device ressona_ref }"
    echo "  capture.pcm { type pulse device nullref.monitor }"
    echo "}"
    echo "ctl.ressona_reference { type pulse sink ressona_ref source nullref.monitor }"
    # A device whose server is not there, for the "no driver" error.
    echo "pcm.ressona_noserver { type pulse server \"unix:$pulse_dir/no-such-socket\" }"
  } > "$pulse_dir/asound.conf"
}

start() {
  if running_pid >/dev/null && answering; then
    exports
    return 0
  fi
  if ! command -v pulseaudio >/dev/null || ! command -v pactl >/dev/null; then
    echo "pulse-test-server: pulseaudio/pactl not installed; audio tests will skip" >&2
    return 0
  fi
  stop  # a server left behind that no longer answers
  write_files
  (
    export HOME=$pulse_dir/home XDG_RUNTIME_DIR=$pulse_dir/runtime
    export PULSE_CLIENTCONFIG=$pulse_dir/client.conf LADSPA_PATH=$pulse_dir/ladspa
    unset DBUS_SESSION_BUS_ADDRESS
    exec pulseaudio -n -F "$pulse_dir/server.pa" --daemonize=no --exit-idle-time=-1 \
      --disallow-exit --use-pid-file=no --realtime=no --high-priority=no \
      --log-target=stderr </dev/null >"$pulse_dir/server.log" 2>&1
  ) &
  echo $! > "$pid_file"
  for _ in $(seq 1 100); do
    if answering; then
      exports
      return 0
    fi
    running_pid >/dev/null || break
    sleep 0.05
  done
  echo "pulse-test-server: the server did not come up; the audio tests will fail." >&2
  tail -n 5 "$pulse_dir/server.log" >&2 2>/dev/null || true
  stop
  exports
  return 0
}

stop() {
  local pid
  if pid=$(running_pid); then
    kill "$pid" 2>/dev/null
    for _ in $(seq 1 60); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.05
    done
    kill -9 "$pid" 2>/dev/null || true
  fi
  rm -f "$pid_file"
}

case $action in
  start) start ;;
  stop) stop ;;
  *) usage ;;
esac
