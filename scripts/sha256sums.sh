#!/bin/sh
# Writes DIR/SHA256SUMS: the SHA-256 of every other file at the top of DIR, in sorted
# order, as `sha256sum -c SHA256SUMS` reads it in DIR. The top of dist/ holds what a
# release attaches (the archives and the Octave package; the release adds the toolbox
# file); the loose files of dist/linux, dist/windows and dist/macos are in the archives
# and are not listed, so the file checks in a folder of downloaded release files.
#   scripts/sha256sums.sh dist
set -eu
cd "$1"
tmp=$(mktemp SHA256SUMS.XXXXXX)
find . -maxdepth 1 -type f ! -name 'SHA256SUMS*' | sed 's|^\./||' | LC_ALL=C sort |
    tr '\n' '\0' | xargs -0 -r sha256sum >"$tmp"
chmod 644 "$tmp"
mv "$tmp" SHA256SUMS
