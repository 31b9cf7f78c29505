#!/usr/bin/env bash
# Measures the loopbacks of a private PulseAudio and a private PipeWire (the
# test servers of scripts/pulse-test-server.sh and pipewire-test-server.sh)
# with ressona-measure as a user would: MLS and pulse, 4096 samples, at 48000
# and 22050 Hz, no --delay, 3 passes, RUNS runs per case. A loopback is flat,
# so every run's magnitude over positions 2..M must be flat (within 0.05 dB),
# the analysed stretch must start at the excitation (the MLS response's peak
# at its first position, the pulse where it was played: "aligned" within 2
# samples), and the first pass must hold the excitation (its response peaks
# as high as the last pass's). Prints one line per case and the machine's load.
#
#   server-flatness.sh [BUILD] [RUNS] [LEVEL]   defaults: build 20 100
#   LEVEL: --speaker-level and --mic-level, per cent; "panel" leaves the bars
#   at the panel's half way (and works with a measurer that has no such options).
#   MEASURE=path runs that measurer instead of BUILD's.
set -euo pipefail
build=${1:-build}
runs=${2:-20}
level=${3:-100}
here=$(cd "$(dirname "$0")" && pwd)
measure=${MEASURE:-$(cd "$build" && pwd)/bin/ressona-measure}
command -v jq >/dev/null || { echo "server-flatness: needs jq" >&2; exit 2; }
[[ -x $measure ]] || { echo "server-flatness: no $measure" >&2; exit 2; }
levels=()
[[ $level == panel ]] || levels=(--speaker-level "$level" --mic-level "$level")

dir=$(mktemp -d /tmp/ressona-flatness-XXXXXX)
chmod 700 "$dir"
cleanup() {
  bash "$here/pulse-test-server.sh" stop "$dir" || true
  bash "$here/pipewire-test-server.sh" stop "$dir" || true
  rm -rf "$dir"
}
trap cleanup EXIT
export XDG_RUNTIME_DIR=$dir
unset ALSA_CONFIG_PATH
eval "$(bash "$here/pulse-test-server.sh" start "$dir")"
eval "$(bash "$here/pipewire-test-server.sh" start "$dir")"

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores; levels: $level"
status=0
for server in pulseaudio pipewire; do
  for rate in 48000 22050; do
    for excitation in mls pulse; do
      if [[ $server == pulseaudio ]]; then pcm=ressona_r$rate; else pcm=ressona_pipewire; fi
      flat=0 held=0 aligned=0 failed=0 worst=0 latencies=() offsets=()
      for _ in $(seq 1 "$runs"); do
        if ! "$measure" --device "alsa:$pcm" --rate "$rate" --length 4096 \
             --excitation "$excitation" --passes 3 "${levels[@]}" --json --arrays \
             > "$dir/run.json" 2> "$dir/run.err"; then
          failed=$((failed + 1))
          echo "failed run ($server $rate $excitation):" >&2
          cat "$dir/run.err" >&2
        fi
        # Spread in dB over positions 2..M; the first pass's response against the last's.
        # Where the response peaks against where the excitation starts: 0 for
        # the MLS, the played pulse's index (10) for the pulse; wrapped to +-N/2.
        read -r spread first last latency offset < <(jq -r --arg e "$excitation" '
          (.magnitudeSpectrum[1:] | map(select(. != null))) as $m
          | (if ($m | length) > 0 and ($m | min) > 0
             then 20 * (($m | max) / ($m | min) | log10) else 999 end) as $spread
          | (.impulseResponse | length) as $n
          | ((.impulseResponse | to_entries | max_by(.value | fabs) | .key)
             - (if $e == "mls" then 0 else 10 end)) as $o
          | (if $o > $n / 2 then $o - $n elif $o < -$n / 2 then $o + $n else $o end) as $offset
          | "\($spread) \(.captures[0].impulsePeakCounts // 0) \(.captures[-1].impulsePeakCounts // 0) \(.latencySamples) \($offset)"' \
          "$dir/run.json")
        latencies+=("$latency")
        offsets+=("$offset")
        if ((offset >= -2 && offset <= 2)); then aligned=$((aligned + 1)); fi
        if awk -v s="$spread" 'BEGIN { exit !(s < 0.05) }'; then flat=$((flat + 1)); fi
        if awk -v f="$first" -v l="$last" 'BEGIN { exit !(f >= 0.9 * l && l > 0) }'; then
          held=$((held + 1))
        fi
        worst=$(awk -v a="$worst" -v b="$spread" 'BEGIN { print (b > a ? b : a) }')
      done
      seen=$(printf '%s\n' "${latencies[@]}" | sort -n | uniq | tr '\n' ' ')
      off=$(printf '%s\n' "${offsets[@]}" | sort -n | uniq | tr '\n' ' ')
      printf '%-10s %5s Hz %-5s flat %2d/%d (worst %.4f dB)  aligned %2d/%d  first pass held %2d/%d  failed %d  latency %s offsets %s\n' \
        "$server" "$rate" "$excitation" "$flat" "$runs" "$worst" "$aligned" "$runs" "$held" "$runs" \
        "$failed" "$seen" "$off"
      if ((flat != runs || aligned != runs || held != runs || failed != 0)); then status=1; fi
    done
  done
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
exit $status
