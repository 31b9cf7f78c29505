#!/usr/bin/env bash
# A private PipeWire for the tests labelled `audio`: a null sink (the default
# sink) whose output comes straight back through a loopback into a source of
# its own (the default source), so that the speakers' and the recording's
# volumes are two controls as on a card; linked by a private WirePlumber,
# reachable only through a socket in the given directory.
#
#   pipewire-test-server.sh start DIR   starts it (or finds it running) and
#                                       prints `export ...` lines to eval
#   pipewire-test-server.sh stop DIR    stops what `start` left in DIR
#   pipewire-test-server.sh insert DIR FILE
#                                       runs the filter-chain drop-in FILE (the
#                                       measurer's --eq-pipewire) in front of
#                                       the room modes
#   pipewire-test-server.sh convolve DIR WAV
#                                       runs a filter-chain convolver with the
#                                       impulse response WAV (mono, at the
#                                       rate it is measured at) in front of
#                                       the loopback: a room with a known
#                                       response
#   pipewire-test-server.sh remove DIR  ends what `insert` and `convolve` started
#
# Nothing outside DIR changes: the daemon and the session manager run without
# systemd and D-Bus, with HOME, XDG_RUNTIME_DIR and their configuration inside
# DIR. The ALSA plugin comes from the pipewire-alsa package, installed or
# only unpacked into the repository's .cache/pipewire-alsa (installing it
# would send ALSA's `default` to PipeWire for the whole machine); a private
# ALSA configuration, named only by the exported ALSA_CONFIG_PATH (added to
# whatever it already holds), gives the devices `pipewire` and
# `ressona_pipewire` (both the loopback), `ressona_modes` (the loopback through
# four room modes, a filter-chain sink), `ressona_eq` (the sink "Ressona EQ"
# while `insert` runs it, then the modes), `ressona_room` (the loopback through
# the convolver while `convolve` runs it), `ressona_pw_reference` (a two-channel
# loop: left through a +6 dB peaking section at 1 kHz, right without it, both
# through a 20 kHz low-pass, for a timing reference) and `ressona_pw_noserver` (a server that is not there).
# The graph follows the stream's rate (no resampling at
# 8000, 11025, 22050, 44100 and 48000 Hz). `start` never fails the caller: without
# pipewire it prints nothing (the PipeWire cases skip and say why); when an
# installed server does not come up it says so on stderr and still exports its
# settings, so that the tests fail rather than skip.
set -uo pipefail

usage() { echo "usage: $0 start|stop|remove DIR, $0 insert DIR FILE, $0 convolve DIR WAV" >&2; exit 2; }
[[ $# -eq 2 || ($# -eq 3 && ($1 == insert || $1 == convolve)) ]] || usage
action=$1
file=${3:-}
[[ ($action != insert && $action != convolve) || -f $file ]] || usage
[[ -z $file ]] || file=$(cd "$(dirname "$file")" && echo "$(pwd)/$(basename "$file")")
dir=$(mkdir -p "$2" && cd "$2" && pwd) || usage
repo=$(cd "$(dirname "$0")/.." && pwd)
pw_dir=$dir/pipewire
runtime=$pw_dir/runtime
sink=ressona_loop
source=ressona_return
modes=ressona_modes
room=ressona_room
reference=ressona_reference
multiarch=$(gcc -dumpmachine 2>/dev/null || echo x86_64-linux-gnu)
plugin_subdir=usr/lib/$multiarch/alsa-lib

exports() {
  echo "export PIPEWIRE_RUNTIME_DIR=$runtime"
  echo "export PIPEWIRE_REMOTE=pipewire-0"
  # shellcheck disable=SC2016  # expanded where the lines are evaluated
  echo 'export ALSA_CONFIG_PATH=${ALSA_CONFIG_PATH:-/usr/share/alsa/alsa.conf}:'"$pw_dir/asound.conf"
  # Tells the audio tests that this server was started for them: they must run, not skip.
  echo "export RESSONA_PIPEWIRE_SERVER=1"
}

in_env() {
  env HOME="$pw_dir/home" XDG_RUNTIME_DIR="$runtime" PIPEWIRE_RUNTIME_DIR="$runtime" \
    PIPEWIRE_REMOTE=pipewire-0 DBUS_SESSION_BUS_ADDRESS= DBUS_SYSTEM_BUS_ADDRESS=/dev/null "$@"
}

# Ready once the session manager has made the sink and the return the defaults.
ready() {
  local defaults
  defaults=$(in_env timeout 2 pw-metadata -n default 0 2>/dev/null) || return 1
  grep -q "default.audio.sink.*\"$sink\"" <<<"$defaults" &&
    grep -q "default.audio.source.*\"$source\"" <<<"$defaults"
}

pid_of() {
  local file=$pw_dir/$1.pid pid
  [[ -f $file ]] || return 1
  pid=$(cat "$file")
  [[ -n $pid ]] && kill -0 "$pid" 2>/dev/null && echo "$pid"
}

# The directory holding libasound_module_pcm_pipewire.so, unpacking the
# package into the repository's cache when it is neither installed nor there.
plugin_dir() {
  local d
  for d in "/$plugin_subdir" "$repo/.cache/pipewire-alsa/$plugin_subdir"; do
    [[ -f $d/libasound_module_pcm_pipewire.so ]] && { echo "$d"; return 0; }
  done
  bash "$repo/scripts/unpack-private.sh" pipewire-alsa >&2 || return 1
  d=$repo/.cache/pipewire-alsa/$plugin_subdir
  [[ -f $d/libasound_module_pcm_pipewire.so ]] && echo "$d"
}

write_files() {
  local plugins=$1
  mkdir -p "$pw_dir/home" "$runtime" "$pw_dir/config" "$pw_dir/wireplumber"
  chmod 700 "$runtime"
  cat > "$pw_dir/config/pipewire.conf" <<EOF
context.properties = {
    core.daemon = true
    core.name = pipewire-0
    support.dbus = false
    link.max-buffers = 16
    default.clock.rate = 48000
    default.clock.allowed-rates = [ 8000 11025 22050 44100 48000 ]
    default.clock.min-quantum = 16
}
context.spa-libs = {
    audio.convert.* = audioconvert/libspa-audioconvert
    support.* = support/libspa-support
}
context.modules = [
    # Realtime threads where allowed: without them a loaded machine now and
    # then misses a graph cycle.
    { name = libpipewire-module-rt args = { nice.level = -11 } flags = [ ifexists nofail ] }
    { name = libpipewire-module-protocol-native }
    { name = libpipewire-module-metadata }
    { name = libpipewire-module-spa-node-factory }
    { name = libpipewire-module-client-node }
    { name = libpipewire-module-client-device }
    { name = libpipewire-module-access }
    { name = libpipewire-module-adapter }
    { name = libpipewire-module-link-factory }
    { name = libpipewire-module-session-manager }
    # What the sink plays comes back through a source of its own, so that the
    # output's and the input's volumes are two controls, as on a card.
    { name = libpipewire-module-loopback
        args = {
            node.description = "Ressona loopback return"
            audio.position = [ MONO ]
            capture.props = { node.name = ${source}_in stream.capture.sink = true
                              target.object = $sink node.passive = true
                              node.dont-reconnect = true }
            playback.props = { node.name = $source media.class = Audio/Source
                               node.description = "Ressona loopback return"
                               priority.session = 3000 }
        }
    }
    # A room to correct: the four modes of sim:modes (audio EQ cookbook
    # peaking sections) in front of the loopback sink, as a sink of its own
    # that is never the default.
    { name = libpipewire-module-filter-chain
        args = {
            node.description = "Ressona room modes"
            filter.graph = {
                nodes = [
                    { type = builtin name = m1 label = bq_peaking control = { "Freq" = 45.0 "Q" = 5.0 "Gain" = 8.0 } }
                    { type = builtin name = m2 label = bq_peaking control = { "Freq" = 90.0 "Q" = 4.0 "Gain" = 6.0 } }
                    { type = builtin name = m3 label = bq_peaking control = { "Freq" = 150.0 "Q" = 3.0 "Gain" = -6.0 } }
                    { type = builtin name = m4 label = bq_peaking control = { "Freq" = 210.0 "Q" = 6.0 "Gain" = 4.0 } }
                ]
                links = [
                    { output = "m1:Out" input = "m2:In" }
                    { output = "m2:Out" input = "m3:In" }
                    { output = "m3:Out" input = "m4:In" }
                ]
            }
            audio.channels = 1
            audio.position = [ MONO ]
            capture.props = { node.name = $modes media.class = Audio/Sink priority.session = 100 }
            playback.props = { node.name = ${modes}_out node.passive = true
                               node.target = $sink target.object = $sink
                               node.dont-reconnect = true }
        }
    }
    # A two-channel loop for a timing reference: what is played into
    # $reference goes to the left channel through a peaking section (the
    # audio EQ cookbook's: +6 dB at 1 kHz, Q 1) and to the right one
    # without it, into a stereo sink that comes back through a source of its
    # own. Both go through the same low-pass at 20 kHz, as a real card's
    # cable loop band-limits its reference (its converters' filters): the
    # reference is no copy of the codes, and the left over the right is the
    # section alone.
    { name = libpipewire-module-filter-chain
        args = {
            node.description = "Ressona reference loop"
            filter.graph = {
                nodes = [
                    { type = builtin name = eq label = bq_peaking control = { "Freq" = 1000.0 "Q" = 1.0 "Gain" = 6.0 } }
                    { type = builtin name = band label = bq_lowpass control = { "Freq" = 20000.0 "Q" = 0.7071 } }
                    { type = builtin name = wire label = bq_lowpass control = { "Freq" = 20000.0 "Q" = 0.7071 } }
                ]
                links = [ { output = "eq:Out" input = "band:In" } ]
                inputs = [ "eq:In" "wire:In" ]
                outputs = [ "band:Out" "wire:Out" ]
            }
            audio.channels = 2
            audio.position = [ FL FR ]
            capture.props = { node.name = $reference media.class = Audio/Sink priority.session = 100 }
            playback.props = { node.name = ${reference}_out node.passive = true
                               node.target = ${reference}_loop target.object = ${reference}_loop
                               node.dont-reconnect = true }
        }
    }
    { name = libpipewire-module-loopback
        args = {
            node.description = "Ressona reference return"
            audio.position = [ FL FR ]
            capture.props = { node.name = ${reference}_return_in stream.capture.sink = true
                              target.object = ${reference}_loop node.passive = true
                              node.dont-reconnect = true }
            playback.props = { node.name = ${reference}_return media.class = Audio/Source
                               node.description = "Ressona reference return"
                               priority.session = 100 }
        }
    }
]
context.objects = [
    { factory = adapter
        args = { factory.name = support.null-audio-sink node.name = ${reference}_loop
                 node.description = "Ressona reference loop" media.class = Audio/Sink
                 audio.position = [ FL FR ] object.linger = true
                 priority.session = 100 } }
    { factory = spa-node-factory
        args = { factory.name = support.node.driver node.name = Dummy-Driver
                 node.group = pipewire.dummy priority.driver = 20000 } }
    { factory = adapter
        args = { factory.name = support.null-audio-sink node.name = $sink
                 node.description = "Ressona loopback" media.class = Audio/Sink
                 audio.position = [ MONO ] node.driver = true object.linger = true
                 # The sink's volume acts on what its monitor passes on.
                 monitor.channel-volumes = true
                 priority.driver = 30000 priority.session = 3000 } }
]
EOF
  cat > "$pw_dir/wireplumber/wireplumber.conf" <<EOF
context.properties = {
    log.level = 2
    wireplumber.script-engine = lua-scripting
    support.dbus = false
}
context.spa-libs = {
    audio.convert.* = audioconvert/libspa-audioconvert
    support.* = support/libspa-support
}
context.modules = [
    { name = libpipewire-module-protocol-native }
    { name = libpipewire-module-client-node }
    { name = libpipewire-module-client-device }
    { name = libpipewire-module-adapter }
    { name = libpipewire-module-metadata }
    { name = libpipewire-module-session-manager }
]
wireplumber.components = [
    { name = libwireplumber-module-lua-scripting, type = module }
    { name = ressona.lua, type = config/lua }
]
EOF
  # Only what links streams to the default nodes; nothing is stored.
  cat > "$pw_dir/wireplumber/ressona.lua" <<'EOF'
local policy = { ["move"] = true, ["follow"] = true, ["filter.forward-format"] = false,
                 ["audio.no-dsp"] = false, ["duck.level"] = 0.3 }
local function module(name, args)
  return { "libwireplumber-module-" .. name, type = "module", args = args }
end
components = {
  module("metadata"),
  { "access/access-default.lua", type = "script/lua", args = { rules = {} } },
  module("default-nodes", { ["use-persistent-storage"] = false }),
  module("si-node"),
  module("si-audio-adapter"),
  module("si-standard-link"),
  module("si-audio-endpoint"),
  module("default-nodes-api"),
  module("mixer-api"),
  { "create-item.lua", type = "script/lua", args = policy },
  { "policy-node.lua", type = "script/lua", args = policy },
}
EOF
  sed -e "s|@PLUGINS@|$plugins|g" -e "s|@RUNTIME@|$runtime|g" > "$pw_dir/asound.conf" <<'EOF'
pcm_type.pipewire { lib "@PLUGINS@/libasound_module_pcm_pipewire.so" }
ctl_type.pipewire { lib "@PLUGINS@/libasound_module_ctl_pipewire.so" }
pcm.pipewire { type pipewire server "pipewire-0" playback_node "-1" capture_node "-1"
               hint { show on description "PipeWire (private test server)" } }
ctl.pipewire { type pipewire server "pipewire-0" }
pcm.ressona_pipewire { type pipewire server "pipewire-0" playback_node "-1" capture_node "-1" }
ctl.ressona_pipewire { type pipewire server "pipewire-0" }
# The room modes in front of the loopback, and the equaliser that `insert`
# puts in front of them (its sink is the one the measurer's drop-in makes).
pcm.ressona_modes { type pipewire server "pipewire-0" playback_node "ressona_modes" capture_node "-1" }
ctl.ressona_modes { type pipewire server "pipewire-0" }
pcm.ressona_eq { type pipewire server "pipewire-0" playback_node "ressona_eq" capture_node "-1" }
ctl.ressona_eq { type pipewire server "pipewire-0" }
# The loopback through the convolver that `convolve` runs.
pcm.ressona_room { type pipewire server "pipewire-0" playback_node "ressona_room" capture_node "-1" }
ctl.ressona_room { type pipewire server "pipewire-0" }
# The two-channel loop: left through the peaking section, right without it.
pcm.ressona_pw_reference { type pipewire server "pipewire-0" playback_node "ressona_reference"
                        capture_node "ressona_reference_return" }
ctl.ressona_pw_reference { type pipewire server "pipewire-0" }
# A device whose server is not there, for the "no driver" error.
pcm.ressona_pw_noserver { type pipewire server "ressona-no-such-server" }
EOF
}

start_process() {
  local name=$1
  shift
  (
    cd "$pw_dir" || exit 1
    exec env HOME="$pw_dir/home" XDG_RUNTIME_DIR="$runtime" PIPEWIRE_RUNTIME_DIR="$runtime" \
      PIPEWIRE_REMOTE=pipewire-0 DBUS_SESSION_BUS_ADDRESS= DBUS_SYSTEM_BUS_ADDRESS=/dev/null \
      PIPEWIRE_CONFIG_DIR="$pw_dir/config" WIREPLUMBER_CONFIG_DIR="$pw_dir/wireplumber" \
      "$@" </dev/null >"$pw_dir/$name.log" 2>&1
  ) &
  echo $! > "$pw_dir/$name.pid"
}

start() {
  if pid_of pipewire >/dev/null && pid_of wireplumber >/dev/null && ready; then
    exports
    return 0
  fi
  if ! command -v pipewire >/dev/null || ! command -v wireplumber >/dev/null ||
     ! command -v pw-metadata >/dev/null; then
    echo "pipewire-test-server: pipewire/wireplumber not installed; its tests will skip" >&2
    return 0
  fi
  stop  # whatever was left behind and no longer answers
  local plugins
  if ! plugins=$(plugin_dir); then
    echo "pipewire-test-server: no PipeWire ALSA plugin (pipewire-alsa); its tests will fail" >&2
    plugins=/nonexistent
  fi
  write_files "$plugins"
  start_process pipewire pipewire
  for _ in $(seq 1 100); do
    [[ -S $runtime/pipewire-0 ]] && break
    pid_of pipewire >/dev/null || break
    sleep 0.02
  done
  start_process wireplumber wireplumber
  for _ in $(seq 1 150); do
    if ready; then
      exports
      return 0
    fi
    pid_of pipewire >/dev/null && pid_of wireplumber >/dev/null || break
    sleep 0.02
  done
  echo "pipewire-test-server: the server did not come up; its tests will fail." >&2
  tail -n 5 "$pw_dir/pipewire.log" "$pw_dir/wireplumber.log" >&2 2>/dev/null || true
  stop
  exports
  return 0
}

stop_one() {
  local pid
  if pid=$(pid_of "$1"); then
    kill "$pid" 2>/dev/null
    for _ in $(seq 1 60); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.05
    done
    kill -9 "$pid" 2>/dev/null || true
  fi
  rm -f "$pw_dir/$1.pid"
}

# The id of the node named $1, or nothing.
node_id() {
  in_env pw-cli ls Node 2>/dev/null |
    awk -v name="\"$1\"" '$1 == "id" { id = $2; sub(",", "", id) }
                          $1 == "node.name" && $3 == name { print id; exit }'
}

# Whether node $1's ports feed node $2 and nothing else.
linked_only() {
  in_env pw-link -l 2>/dev/null |
    awk -v from="$1:" -v to="$2:" '
      /^[^ \t]/ { mine = index($0, from) == 1 }
      mine && $1 == "|->" { if (index($2, to) == 1) found = 1; else other = 1 }
      END { exit !(found && !other) }'
}

# A client instance's configuration: what a filter chain needs, then the
# modules given.
client_config() {
  cat <<EOF
context.properties = { support.dbus = false }
context.spa-libs = {
    audio.convert.* = audioconvert/libspa-audioconvert
    support.* = support/libspa-support
}
context.modules = [
    { name = libpipewire-module-rt args = { nice.level = -11 } flags = [ ifexists nofail ] }
    { name = libpipewire-module-protocol-native }
    { name = libpipewire-module-client-node }
    { name = libpipewire-module-adapter }
$1
]
EOF
}

# Starts the client instance NAME of pipewire on the configuration CONF in
# the folder CONF_DIR.
start_client() {
  local name=$1 conf_dir=$2 conf=$3
  (
    cd "$pw_dir" || exit 1
    exec env HOME="$pw_dir/home" XDG_RUNTIME_DIR="$runtime" PIPEWIRE_RUNTIME_DIR="$runtime" \
      PIPEWIRE_REMOTE=pipewire-0 DBUS_SESSION_BUS_ADDRESS= DBUS_SYSTEM_BUS_ADDRESS=/dev/null \
      PIPEWIRE_CONFIG_DIR="$conf_dir" pipewire -c "$conf" </dev/null >"$pw_dir/$name.log" 2>&1
  ) &
  echo $! > "$pw_dir/$name.pid"
}

# Runs the filter-chain drop-in FILE, unchanged, in a client instance of
# pipewire of its own (as pipewire.conf.d would in a user's daemon), and
# plays its output into the room modes instead of the default sink, as a
# user would move it; fails unless it is in place within a few seconds.
insert() {
  local file=$1 eq_dir=$pw_dir/eq id=
  pid_of pipewire >/dev/null || { echo "pipewire-test-server: no server in $dir" >&2; return 1; }
  remove_eq
  rm -rf "$eq_dir"
  mkdir -p "$eq_dir/ressona-eq.conf.d"
  cp "$file" "$eq_dir/ressona-eq.conf.d/" || return 1
  client_config "" > "$eq_dir/ressona-eq.conf"
  start_client eq "$eq_dir" ressona-eq.conf
  for _ in $(seq 1 100); do
    pid_of eq >/dev/null || break
    if [[ -z $id ]]; then
      id=$(node_id ressona_eq.output)
      [[ -n $id && -n $(node_id ressona_eq) ]] || { id=; sleep 0.05; continue; }
      echo "$id" > "$pw_dir/eq.node"
      in_env pw-metadata -n default "$id" target.object "$modes" >/dev/null || break
    fi
    linked_only ressona_eq.output "$modes" && return 0
    sleep 0.05
  done
  echo "pipewire-test-server: the filter chain of $file did not come up in front of $modes" >&2
  tail -n 5 "$pw_dir/eq.log" >&2 2>/dev/null
  remove_eq
  return 1
}

# Runs PipeWire's convolver on the impulse response in the WAV file, as a
# sink of its own that plays into the loopback (never the default sink), in a
# client instance of pipewire (the convolver reads its file once, when it
# loads); fails unless it is in place within a few seconds. The convolver
# does not resample: the file's rate is the rate it is right for.
convolve() {
  local wav=$1 room_dir=$pw_dir/room
  pid_of pipewire >/dev/null || { echo "pipewire-test-server: no server in $dir" >&2; return 1; }
  stop_one room
  rm -rf "$room_dir"
  mkdir -p "$room_dir"
  client_config "    { name = libpipewire-module-filter-chain
        args = {
            node.description = \"Ressona room\"
            filter.graph = {
                nodes = [
                    { type = builtin name = room label = convolver config = { filename = \"$wav\" } }
                ]
            }
            audio.channels = 1
            audio.position = [ MONO ]
            capture.props = { node.name = $room media.class = Audio/Sink priority.session = 100 }
            playback.props = { node.name = ${room}_out node.passive = true
                               node.target = $sink target.object = $sink
                               node.dont-reconnect = true }
        }
    }" > "$room_dir/ressona-room.conf"
  start_client room "$room_dir" ressona-room.conf
  for _ in $(seq 1 100); do
    pid_of room >/dev/null || break
    [[ -n $(node_id "$room") ]] && linked_only "${room}_out" "$sink" && return 0
    sleep 0.05
  done
  echo "pipewire-test-server: the convolver of $wav did not come up in front of $sink" >&2
  tail -n 5 "$pw_dir/room.log" >&2 2>/dev/null
  stop_one room
  return 1
}

# Ends what `insert` started, and forgets where its output was moved (node
# ids are used again).
remove_eq() {
  if [[ -f $pw_dir/eq.node ]]; then
    in_env pw-metadata -n default -d "$(cat "$pw_dir/eq.node")" target.object >/dev/null 2>&1
    rm -f "$pw_dir/eq.node"
  fi
  stop_one eq
}

# Ends what `insert` and `convolve` started.
remove() {
  remove_eq
  stop_one room
}

stop() {
  remove
  stop_one wireplumber
  stop_one pipewire
}

case $action in
  start) start ;;
  stop) stop ;;
  insert) insert "$file" ;;
  convolve) convolve "$file" ;;
  remove) remove ;;
  *) usage ;;
esac
