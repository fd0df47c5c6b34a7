#!/bin/sh
# Writes DIR/SHA256SUMS: the SHA-256 of every other file under DIR, by path relative
# to DIR in sorted order, as `sha256sum -c SHA256SUMS` reads it in DIR.
#   scripts/sha256sums.sh dist
set -eu
cd "$1"
tmp=$(mktemp SHA256SUMS.XXXXXX)
find . -type f ! -name 'SHA256SUMS*' | sed 's|^\./||' | LC_ALL=C sort | tr '\n' '\0' |
    xargs -0 -r sha256sum >"$tmp"
chmod 644 "$tmp"
mv "$tmp" SHA256SUMS
