#!/bin/sh
# A chroot of Debian's newest suite with its Octave, where the tests run the Octave
# package and build_modules in the newest Octave (a .mex serves only the Octave whose
# headers built it).
#   scripts/octave-chroot.sh make               makes it when missing or outdated
#   scripts/octave-chroot.sh run ITEM... -- CMD  copies the files or folders ITEM into
#                                                a fresh folder there and runs CMD in it
#                                                (exit 77 when there is no chroot)
# It lives outside the build trees (1.5 GB, a minute to make), shared by every tree
# and kept by `make clean`; OCTAVE_CHROOT moves it.
set -eu
root=${OCTAVE_CHROOT:-/var/cache/mexmodules/octave-sid}
suite=sid
include=octave,octave-dev,g++,make
# Root mode without mounts: a container (Docker's defaults) refuses mount and unshare,
# but allows chroot and mknod, which populates /dev. Octave needs no /proc or /sys.
# The mirror is this machine's; its snapshot's Release files may be past Valid-Until.
mirror=$(sed -n 's/^URIs: *//p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -n 1)
mirror=${mirror:-http://deb.debian.org/debian}

lock() { mkdir -p "$(dirname "$root")" && exec 9>"$root.lock" && flock "$@" 9; }

case "${1:-}" in
make)
    set -- --mode=root --variant=apt --include="$include" --skip=chroot/mount \
        --aptopt='Acquire::Check-Valid-Until "false"' "$suite"
    args="$* $mirror"
    lock -x
    if [ -x "$root/usr/bin/octave-cli" ] && [ "$(cat "$root.args" 2>/dev/null)" = "$args" ]; then
        exit 0
    fi
    echo "Making the chroot of Debian $suite's Octave in $root"
    rm -rf "$root" "$root.new" "$root.args" "$root.failed"
    if ! mmdebstrap "$@" "$root.new" "$mirror" >"$root.log" 2>&1; then
        { echo "mmdebstrap $args failed:"; grep -v '^I: ' "$root.log" | tail -n 10; } >"$root.failed"
        cat "$root.failed" >&2
        rm -rf "$root.new"
        exit 1
    fi
    mv "$root.new" "$root"
    echo "$args" >"$root.args"
    chroot "$root" env UCX_LOG_LEVEL=fatal octave-cli --version | head -n 1
    ;;
run)
    shift
    lock -s
    if [ ! -x "$root/usr/bin/octave-cli" ]; then
        echo "skipped: no chroot with Octave at $root (made by scripts/octave-chroot.sh make)"
        cat "$root.failed" 2>/dev/null
        exit 77
    fi
    work=$(mktemp -d "$root/tmp/run.XXXXXX")
    trap 'rm -rf "$work"' EXIT
    while [ $# -gt 0 ] && [ "$1" != "--" ]; do
        cp -r "$1" "$work/"
        shift
    done
    [ $# -gt 1 ] || { echo "usage: $0 run ITEM... -- COMMAND" >&2; exit 2; }
    shift
    inside=${work#"$root"}
    # Temporary files in that folder too, gone with it. Octave there links MPI, whose
    # UCX logs an error on stdout when it finds no /proc.
    # shellcheck disable=SC2016 # expanded inside the chroot
    chroot "$root" /usr/bin/env -i PATH=/usr/bin:/bin HOME="$inside" TMPDIR="$inside" \
        LANG=C.UTF-8 UCX_LOG_LEVEL=fatal sh -c 'cd "$HOME" && exec "$@"' sh "$@"
    ;;
*)
    echo "usage: $0 make | run ITEM... -- COMMAND" >&2
    exit 2
    ;;
esac
