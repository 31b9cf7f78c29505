#!/usr/bin/env bash
# Builds the Debian package (`make package`) and checks it without installing
# it: lintian reports no error and no warning, the package holds what a user
# expects, and in a temporary root unpacked with dpkg-deb -x the measurer runs
# a simulated measurement and man renders both manual pages. lintian's
# informational tags are left: binary-has-unneeded-section (.comment: the
# compiler's name), hardening-no-bindnow and hardening-no-fortify-functions
# (the package is built with the project's flags, the same as the tests).
# Usage: check-package.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
make --no-print-directory package BUILD="$build" >/dev/null
debs=("$build"/package/ressona_*.deb)
((${#debs[@]} == 1)) || { echo "check-package: expected one .deb, found ${#debs[@]}"; exit 1; }
deb=${debs[0]}

# lintian warns that it runs as root (CI does); the tags are what count.
tags=$(lintian --fail-on none "$deb" 2>/dev/null)
if grep -E '^[EW]: ' <<<"$tags"; then
    echo "check-package: lintian reports the errors or warnings above for $deb"
    exit 1
fi

contents=$(dpkg-deb -c "$deb" | awk '{print $NF}')
for path in usr/bin/ressona usr/bin/ressona-measure usr/share/man/man1/ressona.1.gz \
    usr/share/man/man1/ressona-measure.1.gz usr/share/bash-completion/completions/ressona-measure \
    usr/share/applications/ressona.desktop usr/share/icons/hicolor/48x48/apps/ressona.png \
    usr/share/icons/hicolor/256x256/apps/ressona.png \
    usr/share/metainfo/io.github.ressona.Ressona.metainfo.xml usr/share/doc/ressona/copyright; do
    grep -qx "./$path" <<<"$contents" || { echo "check-package: $deb lacks /$path"; exit 1; }
done
if grep -E 'test|bench|fuzz|server|first-frame|panel-preview|ressona-icon' <<<"$contents"; then
    echo "check-package: $deb holds the development files above"
    exit 1
fi

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
summary=$(QT_QPA_PLATFORM=offscreen "$root/usr/bin/ressona-measure" --device sim --instant --json)
[[ $(jq -r '.passes' <<<"$summary") == 1 ]] ||
    { echo "check-package: the unpacked measurer did not report its pass"; exit 1; }
for page in ressona ressona-measure; do
    # man -l renders the page; groff's own warnings (-ww) go to stderr and fail it.
    text=$(MANWIDTH=80 MAN_KEEP_FORMATTING= man -l "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
    [[ -z $text ]] || { echo "check-package: man -l $page.1.gz: $text"; exit 1; }
    MANWIDTH=80 man -l "$root/usr/share/man/man1/$page.1.gz" | grep -q '^EXIT STATUS' ||
        { echo "check-package: $page(1) renders without its EXIT STATUS section"; exit 1; }
done
# The metainfo as installed: its launchable .desktop file must be there too.
appstreamcli validate-tree --no-net "$root" >/dev/null ||
    { appstreamcli validate-tree --no-net "$root"; echo "check-package: the metainfo does not validate"; exit 1; }
echo "check-package: $deb passes lintian, unpacks, measures and shows its manual pages"
