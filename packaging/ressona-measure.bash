# bash completion for ressona-measure: option names, the values of the options
# that take one of a few, the ALSA PCM names for --device, file names for the
# options that name a file. Stands alone (no helper of the bash-completion
# package is needed), so `source` loads it into any bash.

# Options that take no value.
_ressona_measure_flags="--instant --frequency-domain --hanning --third-octave
  --artificial --fix-db --mic --line --capture --subtract --room --json
  --arrays --distortion --help --views --export-spl --combine-align --combine-align-level
  --eq --eq-shelves --eq-verify"
# Options whose value names a file.
_ressona_measure_files="--read --save --export-wav --export-frd --export-csv
  --calibration --ir-wav --decay-png --time-png --freq-png --distortion-png
  --phase-png --etc-png --combine --eq-target --eq-pipewire --eq-camilladsp
  --eq-apo --eq-png --calibrator-wav --sensitivity --spl-wav --spl-log"
# Options that take some other value.
_ressona_measure_values="--device --reference --passes --rate --length --excitation
  --sweep-from --sweep-to --sweep-samples --sweep-level --tone --average --delay
  --cuts --db --hz --shift --steps --waterfall-start --view --speaker-level
  --mic-level --line-level --size --combine-average --eq-range --eq-filters
  --eq-max-boost --eq-q --calibrator-seconds --calibrator-db --spl-meter --spl-interval"

# The choices for an option's value, one a line; nothing for a free value.
_ressona_measure_choices() {
    case $1 in
    --excitation) printf '%s\n' pulse mls noise silence sweep sine square logsweep ;;
    --view) printf '%s\n' standard phase histogram waterfall ;;
    --reference) printf '%s\n' left right ;;
    --combine-average) printf '%s\n' rms db vector ;;
    --rate) printf '%s\n' 8000 11025 22050 44100 48000 ;;
    --length) printf '%s\n' 64 128 256 512 1024 2048 4096 8192 16384 ;;
    --sweep-samples) printf '%s\n' 16384 32768 65536 131072 262144 524288 1048576 ;;
    --device)
        printf '%s\n' sim sim:room sim:loopback sim:distortion sim:slips sim:modes sim:hall sim:filter alsa
        # The PCM names ALSA lists stand at the start of their lines.
        if type -P aplay >/dev/null; then
            aplay -L 2>/dev/null | sed -n 's/^\([^[:space:]]\{1,\}\)$/alsa:\1/p'
        fi
        ;;
    esac
}

_ressona_measure() {
    # bash splits words at colons and equals signs (sim:loopback is three
    # words, alsa:hw:CARD=PCH,DEV=0 nine): glue the pieces of the current word
    # back together, and find the word before it.
    local i=$COMP_CWORD
    local cur=${COMP_WORDS[i]}
    while ((i > 1)) && [[ $cur == [:=]* || ${COMP_WORDS[i - 1]} == [:=] ]]; do
        cur=${COMP_WORDS[i - 1]}$cur
        ((i--))
    done
    local prev=${COMP_WORDS[i - 1]}
    COMPREPLY=()

    # --combine takes file names up to the next option.
    local j=$((i - 1))
    while ((j > 1)) && [[ ${COMP_WORDS[j]} != -* ]]; do ((j--)); done
    if [[ " ${_ressona_measure_files//$'\n'/ } " == *" $prev "* ||
        (${COMP_WORDS[j]} == --combine && $cur != -*) ]]; then
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
        return 0
    fi
    local candidates
    if [[ " ${_ressona_measure_values//$'\n'/ } " == *" $prev "* ]]; then
        candidates=$(_ressona_measure_choices "$prev")
    elif [[ $cur == -* || -z $cur ]]; then
        candidates=$(printf '%s\n' $_ressona_measure_flags $_ressona_measure_files \
            $_ressona_measure_values | sort)
    fi
    [[ -n $candidates ]] || return 0
    mapfile -t COMPREPLY < <(compgen -W "$candidates" -- "$cur")
    # bash replaces only the part of the word after its last colon or equals sign.
    if [[ $cur == *[:=]* ]]; then
        local typed=${cur%"${cur##*[:=]}"}
        COMPREPLY=("${COMPREPLY[@]#"$typed"}")
    fi
    return 0
}
complete -F _ressona_measure ressona-measure
