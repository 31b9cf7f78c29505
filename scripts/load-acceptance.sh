#!/usr/bin/env bash
# Measures a flat loopback through each private sound server many times, with
# and without a two-job build beside (scripts/build-load.sh), as a user
# would: 4096 samples at 48000 Hz, 3 passes, full levels, no record delay.
# Prints per server, excitation and load: the runs right (exit 0, magnitude
# spread under 0.05 dB), those of them with a pass played again, those
# refused (exit 1, Error 4), those wrong (exit 0, spread over 0.05 dB: must
# be none) and the largest spread of a run given as fine.
# With `normal` the measurer runs without CAP_SYS_NICE (capsh), so that its
# device threads stay under the normal policy where RLIMIT_RTPRIO is 0: the
# figures without realtime scheduling.
# Usage: load-acceptance.sh [BUILD_DIR] [RUNS] [realtime|normal]
#        (defaults: build 20 realtime)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
runs=${2:-20}
scheduling=${3:-realtime}
as_asked=()
if [[ $scheduling == normal ]]; then
  command -v capsh >/dev/null || { echo "load-acceptance: normal needs capsh (libcap2-bin)"; exit 1; }
  as_asked=(capsh --drop=cap_sys_nice --)
fi
here=$(cd "$(dirname "$0")" && pwd)
measure="$build/bin/ressona-measure"
runtime=$(mktemp -d /tmp/ressona-acceptance-XXXXXX)
chmod 700 "$runtime"
export XDG_RUNTIME_DIR=$runtime
load_pid=
cleanup() {
  [[ -n "$load_pid" ]] && kill -TERM "$load_pid" 2>/dev/null || true
  bash "$here/pulse-test-server.sh" stop "$runtime" || true
  bash "$here/pipewire-test-server.sh" stop "$runtime" || true
  rm -rf "$runtime"
}
trap cleanup EXIT
eval "$(bash "$here/pulse-test-server.sh" start "$runtime")"
eval "$(bash "$here/pipewire-test-server.sh" start "$runtime")"

# capsh runs a shell command; the measurer's arguments need no quoting.
run_as_asked() {
  if ((${#as_asked[@]})); then "${as_asked[@]}" -c "$*"; else "$@"; fi
}

# One run: "<status> <spread dB> <passes replayed> <error number or 0>".
measure_once() {
  local pcm=$1 excitation=$2 json status=0
  json=$(run_as_asked "$measure" --device "alsa:$pcm" --rate 48000 --length 4096 --excitation "$excitation" \
    --passes 3 --speaker-level 100 --mic-level 100 --arrays --json 2>/dev/null) || status=$?
  jq -r --arg status "$status" '
    [ $status,
      (if (.magnitudeSpectrum | length) > 1
       then (.magnitudeSpectrum[1:] | (max / min) | log10 * 20 * 10000 | round / 10000)
       else 999 end),
      .passesReplayed,
      ((.errors[0].number) // 0) ] | @tsv' <<<"$json"
}

echo "load-acceptance: $runs runs each, device threads: $(run_as_asked "$measure" --device alsa:ressona_pipewire --passes 1 --json 2>/dev/null | jq -c .device.thread)"
printf '%-10s %-6s %-5s %5s %8s %7s %5s %10s\n' server signal load right replayed refused wrong worst_dB
for load in off on; do
  if [[ $load == on ]]; then
    bash "$here/build-load.sh" 3600 2 &
    load_pid=$!
    sleep 5  # the compilers under way
  fi
  for server in PulseAudio:ressona_r48000 PipeWire:ressona_pipewire; do
    for excitation in mls pulse; do
      right=0 replayed=0 refused=0 wrong=0 worst=0
      for ((run = 0; run < runs; run++)); do
        read -r status spread replays error < <(measure_once "${server#*:}" "$excitation")
        if [[ $status == 0 ]]; then
          if awk -v s="$spread" 'BEGIN { exit !(s < 0.05) }'; then
            right=$((right + 1))
            ((replays == 0)) || replayed=$((replayed + 1))
          else
            wrong=$((wrong + 1))
          fi
          worst=$(awk -v a="$worst" -v b="$spread" 'BEGIN { print (b > a ? b : a) }')
        elif [[ $error == 4 ]]; then
          refused=$((refused + 1))
        else
          echo "load-acceptance: ${server%%:*} $excitation run $run exited $status (error $error)" >&2
        fi
      done
      printf '%-10s %-6s %-5s %5d %8d %7d %5d %10s\n' "${server%%:*}" "$excitation" "$load" \
        "$right" "$replayed" "$refused" "$wrong" "$worst"
    done
  done
  if [[ -n "$load_pid" ]]; then
    kill -TERM "$load_pid" 2>/dev/null || true
    wait "$load_pid" 2>/dev/null || true
    load_pid=
  fi
done
