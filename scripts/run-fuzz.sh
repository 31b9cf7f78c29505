#!/usr/bin/env bash
# Runs each libFuzzer target of a fuzz build for the given number of seconds,
# starting from the seeds in fuzz/corpus/<target>/.
set -euo pipefail
build=$(cd "${1:-build-fuzz}" && pwd)  # absolute: each target runs in its own directory
seconds=${2:-30}
here=$(cd "$(dirname "$0")/.." && pwd)
shopt -s nullglob
targets=("$build"/bin/*_fuzz)
# A total budget (FUZZ_TOTAL_SECONDS) is shared out evenly, at least a second
# each, so that a new target does not lengthen the run.
if [[ -n "${FUZZ_TOTAL_SECONDS:-}" && ${#targets[@]} -gt 0 ]]; then
  seconds=$(( FUZZ_TOTAL_SECONDS / ${#targets[@]} ))
  (( seconds >= 1 )) || seconds=1
fi
for target in "${targets[@]}"; do
  name=$(basename "$target")
  work=$(mktemp -d)
  seeds=("$here/fuzz/corpus/$name")
  [[ -d "${seeds[0]}" ]] || seeds=()
  echo "fuzz: $name for ${seconds}s"
  (cd "$work" && "$target" -max_total_time="$seconds" -print_final_stats=1 "$work" "${seeds[@]}" 2>&1 | tail -n 12)
  rm -rf "$work"
done
