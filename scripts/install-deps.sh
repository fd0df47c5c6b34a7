#!/bin/sh
# Installs the Debian packages a target needs, only those missing.
#   scripts/install-deps.sh build|octave|check|test|cross|fuzz|bench|mca
set -eu
build="cmake g++ make binutils zip"
octave="octave-cli:octave octave-dev"
# make check: the Linux tree's GoogleTest suites, the docs checks, Octave's suites.
check="googletest libgtest-dev python3"
# mmdebstrap makes the chroot of Debian's newest Octave (scripts/octave-chroot.sh).
test="$check unzip valgrind gawk shellcheck npm:npm mmdebstrap"
# The parallel package's parcellfun and servers, and ip for the servers' namespaces
# (tests/parallel/).
test="$test octave-parallel iproute2"
# Windows (mingw-w64, run under Wine), macOS (clang, ld64.lld, llvm-objdump) and
# Linux AArch64 (run under qemu-aarch64) builds.
cross="g++-mingw-w64-x86-64-posix wine64 wine clang-16 lld-16 llvm-16
       g++-aarch64-linux-gnu qemu-user"
fuzz="clang-14 libclang-rt-14-dev llvm-14"
bench="gnuplot:gnuplot-nox octave-parallel"
# bench/mca.sh: llvm-mca's static estimates of the kernels.
mca="python3 clang-16 llvm-16"

case "${1:-build}" in
    build) wanted="$build" ;;
    octave) wanted="$build $octave" ;;
    check) wanted="$build $octave $check" ;;
    test) wanted="$build $octave $test $fuzz" ;;
    cross) wanted="$cross" ;;
    fuzz) wanted="$build $fuzz" ;;
    bench) wanted="$build $octave $bench" ;;
    mca) wanted="$mca" ;;
    *) echo "usage: $0 build|octave|check|test|cross|fuzz|bench|mca" >&2; exit 2 ;;
esac

# A word is either a package, or command:package for a package known by its command.
missing=""
for w in $wanted; do
    case "$w" in
        *:*) command -v "${w%%:*}" >/dev/null 2>&1 || missing="$missing ${w#*:}" ;;
        *) dpkg-query -W -f='${Status}' "$w" 2>/dev/null | grep -q 'ok installed' ||
               missing="$missing $w" ;;
    esac
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update -qq
# shellcheck disable=SC2086 # one word per package
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing >/dev/null
