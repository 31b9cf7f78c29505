#!/usr/bin/env bash
# Installs the Debian packages listed in scripts/packages.txt that are not
# installed yet, and unpacks those listed as "unpack NAME" into .cache/NAME
# (scripts/unpack-private.sh) when they are not there yet. Idempotent: does
# nothing (and needs no network) when all are there.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
missing=()
unpack=()
while read -r first second; do
  [[ -z "$first" || "$first" == \#* ]] && continue
  if [[ "$first" == unpack ]]; then
    [[ -f "$repo/.cache/$second/.unpacked" ]] || unpack+=("$second")
    continue
  fi
  status=$(dpkg-query -W -f='${Status}' "$first" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$first")
done < "$here/packages.txt"
if ((${#missing[@]} == 0 && ${#unpack[@]} == 0)); then
  exit 0
fi
sudo_cmd=()
[[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
if ((${#missing[@]} > 0)); then
  echo "install-deps: installing ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
if ((${#unpack[@]} > 0)); then
  echo "install-deps: unpacking ${unpack[*]} into .cache"
  # apt-get download needs the package lists, which a fresh machine may lack.
  bash "$here/unpack-private.sh" "${unpack[@]}" ||
    { "${sudo_cmd[@]}" apt-get update -qq && bash "$here/unpack-private.sh" "${unpack[@]}"; }
fi
