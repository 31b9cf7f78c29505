#!/usr/bin/env bash
# Every option that `ressona-measure --help` names has an entry on the manual
# page (a bold `*--name*` term of its source) and is known to the bash
# completion: offered for its name, followed by a file name, a value or the
# next option as --help says it takes; and neither file has an option that
# --help does not name. Fails naming each such option and the file. Usage: help_options_test.sh MEASURE PAGE.scd COMPLETION
set -uo pipefail
measure=$(realpath -e "$1") page=$(realpath -e "$2") completion=$(realpath -e "$3") || exit 1
here=$(cd "$(dirname "$0")" && pwd)
help=$("$measure" --help) || { echo "FAIL: '$measure --help' failed"; exit 1; }
mapfile -t options < <(grep -oE -- '--[a-z][a-z0-9-]*' <<<"$help" | sort -u)
((${#options[@]} > 10)) || { echo "FAIL: only ${#options[@]} options read from --help"; exit 1; }

# An option takes a value where --help writes one after it: "--save FILE",
# "--cuts LOWER,UPPER", "--size WxH" (one blank, then a capital).
takes() { grep -qE -- "$1 $2" <<<"$help"; }

source "$completion"
source "$here/completion_driver.sh"
probe_dir=$(mktemp -d)
trap 'rm -rf "$probe_dir"' EXIT
touch "$probe_dir/probe-file"
cd "$probe_dir"

not_on_page=() not_completed=() wrong_value=()
for option in "${options[@]}"; do
    grep -qF -- "*$option*" "$page" || not_on_page+=("$option")
    named=$(complete_line "ressona-measure $option")
    grep -qxF -- "$option" <<<"$named" || not_completed+=("$option")
    after=$(complete_line "ressona-measure $option ")
    if takes "$option" 'FILE\b'; then
        grep -qx probe-file <<<"$after" || wrong_value+=("$option (a file name)")
    elif takes "$option" '[A-Z]'; then
        grep -q -- '^--' <<<"$after" && wrong_value+=("$option (a value, not an option)")
    else
        grep -qx -- --help <<<"$after" || wrong_value+=("$option (no value: the next option)")
    fi
done

# The devices --help lists for --device are the ones completed (besides the
# ALSA PCM names, which come from the machine).
help_devices=$(sed -n '/^  --device /,/default:/p' <<<"$help" | grep -oE '\<(sim(:[a-z]+)?|alsa)\>' | sort -u)
completed_devices=$(complete_line "ressona-measure --device " | grep -v '^alsa:' | sort -u)
devices_missing=$(comm -23 <(echo "$help_devices") <(echo "$completed_devices"))
devices_stale=$(comm -13 <(echo "$help_devices") <(echo "$completed_devices"))
devices_off_page=$(for device in $help_devices; do grep -qF -- "*$device*" "$page" || echo "$device"; done)

# And nothing beyond them: an option renamed or dropped must leave both files.
mapfile -t page_terms < <(grep -oE -- '^\*--[a-z][a-z0-9-]*\*' "$page" | tr -d '*' | sort -u)
mapfile -t completed < <(complete_line "ressona-measure --" | sort -u)
stale_page=$(comm -23 <(printf '%s\n' "${page_terms[@]}") <(printf '%s\n' "${options[@]}"))
stale_completion=$(comm -23 <(printf '%s\n' "${completed[@]}") <(printf '%s\n' "${options[@]}"))

failed=0
if [[ -n $devices_missing || -n $devices_stale ]]; then
    echo "FAIL: $completion completes --device other than --help lists:" \
        "missing" ${devices_missing:-nothing}, "not in --help" ${devices_stale:-nothing}
    failed=1
fi
if [[ -n $devices_off_page ]]; then
    echo "FAIL: devices of 'ressona-measure --help' missing from $page:" $devices_off_page
    failed=1
fi
if [[ -n $stale_page ]]; then
    echo "FAIL: $page has entries for options 'ressona-measure --help' does not name:" $stale_page
    failed=1
fi
if [[ -n $stale_completion ]]; then
    echo "FAIL: $completion offers options 'ressona-measure --help' does not name:" $stale_completion
    failed=1
fi
if ((${#not_on_page[@]})); then
    echo "FAIL: options of 'ressona-measure --help' missing from $page: ${not_on_page[*]}"
    failed=1
fi
if ((${#not_completed[@]})); then
    echo "FAIL: options of 'ressona-measure --help' missing from $completion: ${not_completed[*]}"
    failed=1
fi
if ((${#wrong_value[@]})); then
    echo "FAIL: $completion completes after these options other than --help says:"
    printf '  %s\n' "${wrong_value[@]}"
    failed=1
fi
((failed)) || echo "ok: ${#options[@]} options on the page and in the completion"
exit $failed
