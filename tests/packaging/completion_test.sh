#!/usr/bin/env bash
# The bash completion of ressona-measure, driven as bash drives it on a TAB:
# option names, the choices of --excitation, --view and --device (with the
# PCM names ALSA lists, here from a stand-in aplay), a value split at colons,
# file names. Usage: completion_test.sh COMPLETION
set -uo pipefail
completion=$(realpath -e "$1") || exit 1
here=$(cd "$(dirname "$0")" && pwd)
source "$completion"
source "$here/completion_driver.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin" "$work/files"
# aplay -L prints each PCM name at the start of a line, its description indented.
cat >"$work/bin/aplay" <<'APLAY'
#!/bin/sh
printf 'default\n    Default ALSA Output\nhw:CARD=Test,DEV=0\n    Test card\n'
APLAY
chmod +x "$work/bin/aplay"
PATH=$work/bin:$PATH
touch "$work/files/room.frd" "$work/files/room.rsn" "$work/files/mic.txt"
cd "$work/files"

failures=0
# expect LINE EXPECTED...: the candidates for LINE are exactly EXPECTED, in any order.
expect() {
    local line=$1
    shift
    local got wanted
    got=$(complete_line "$line" | sort | tr '\n' ' ')
    wanted=$(printf '%s\n' "$@" | sed '/^$/d' | sort | tr '\n' ' ')
    if [[ $got != "$wanted" ]]; then
        echo "FAIL: '$line<TAB>' gave [${got% }], expected [${wanted% }]"
        failures=$((failures + 1))
    fi
}

expect "ressona-measure --exc" --excitation
expect "ressona-measure --excitation " pulse mls noise silence sweep sine square logsweep
expect "ressona-measure --excitation lo" logsweep
expect "ressona-measure --view " standard phase histogram waterfall
expect "ressona-measure --rate 4" 44100 48000
# The simulated cards are checked against --help by help_options_test.sh.
offered=$(complete_line "ressona-measure --device ")
for device in sim sim:loopback alsa alsa:default alsa:hw:CARD=Test,DEV=0; do
    if ! grep -qxF -- "$device" <<<"$offered"; then
        echo "FAIL: 'ressona-measure --device <TAB>' does not offer $device:" $offered
        failures=$((failures + 1))
    fi
done
# bash replaces only what follows the word's last colon or equals sign.
expect "ressona-measure --device sim:l" loopback
expect "ressona-measure --device alsa:hw:CARD=Test,DEV=" 0
expect "ressona-measure --read room." room.frd room.rsn
expect "ressona-measure --calibration m" mic.txt
expect "ressona-measure --passes " ""
expect "ressona-measure --combine room.frd room." room.frd room.rsn
expect "ressona-measure --combine room.frd --js" --json
expect "ressona-measure --device sim --passes 3 --ins" --instant
expect "ressona-measure --sweep-" --sweep-from --sweep-to --sweep-samples --sweep-level

((failures)) || echo "ok: the completion offers options, choices and files"
((failures == 0))
