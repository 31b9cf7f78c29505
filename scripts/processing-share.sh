#!/usr/bin/env bash
# Prints what the program does between two passes (analysis, panel texts, the
# plots' redraws, the drain of the panel's messages, the start of the next
# pass) as a share of the pass itself, measured by ressona-measure on the
# simulated room running in real time. Figures are medians over the passes of
# one run; the plots draw at 1200 x 400 pixels (--size), as a plot window of
# about that size on screen would.
# Build first: cmake --build build
set -euo pipefail
build=${1:-build}
measure="$build/bin/ressona-measure"
command -v jq >/dev/null || { echo "processing-share: needs jq (scripts/install-deps.sh)"; exit 1; }

# length rate passes view
cases=(
  "64 48000 300 standard"
  "2048 22050 30 standard"
  "16384 22050 8 standard"
  "2048 22050 30 waterfall"
  "16384 22050 8 waterfall"
)
for case in "${cases[@]}"; do
  read -r length rate passes view <<<"$case"
  "$measure" --device sim --excitation mls --length "$length" --rate "$rate" \
    --passes "$passes" --view "$view" --json |
    jq -r --arg n "$length" --arg rate "$rate" --arg view "$view" '
      def median: sort | if length % 2 == 1 then .[length / 2 | floor]
                         else (.[length / 2 - 1] + .[length / 2]) / 2 end;
      (.passSeconds | median) as $pass
      | (.processSeconds | median) as $process
      | (.processSeconds | max) as $worst
      | "N=\($n) rate=\($rate) view=\($view) passes=\(.passes)"
        + " pass_ms=\($pass * 1000 * 100 | round / 100)"
        + " between_ms=\($process * 1000 * 100 | round / 100)"
        + " share=\($process / $pass * 10000 | round / 100)%"
        + " worst=\($worst / $pass * 10000 | round / 100)%"'
done
