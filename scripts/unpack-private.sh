#!/usr/bin/env bash
# Unpacks Debian packages into the repository's .cache/PACKAGE folder without
# installing them, for what must not change the whole machine (pipewire-alsa
# would send ALSA's `default` device to PipeWire for every program). Does
# nothing for a package already unpacked there.
#   unpack-private.sh PACKAGE...
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
for pkg in "$@"; do
  target=$repo/.cache/$pkg
  [[ -f $target/.unpacked ]] && continue
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  echo "unpack-private: fetching $pkg" >&2
  (cd "$work" && apt-get download -q "$pkg" >/dev/null 2>&1) || {
    echo "unpack-private: apt-get download $pkg failed" >&2
    exit 1
  }
  rm -rf "$target"
  mkdir -p "$target"
  dpkg-deb -x "$work"/"$pkg"_*.deb "$target"
  touch "$target/.unpacked"
  rm -rf "$work"
  trap - EXIT
done
