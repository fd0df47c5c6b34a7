#!/bin/bash
# The Octave jobs: installs Octave as users of the runner's system do, then installs the
# package file with pkg, loads it and runs the suite on the installed modules
# (tests/matlab/test_package.m).
#   scripts/ci-octave.sh install|test
set -euo pipefail
cd "$(dirname "$0")/.."

# Octave for Windows installs per machine or per user, in a folder named by its version.
windows_octave() {
    local cli
    for cli in "/c/Program Files/GNU Octave"/Octave-*/mingw64/bin/octave-cli.exe \
               "$(cygpath -u "$LOCALAPPDATA")/Programs/GNU Octave"/Octave-*/mingw64/bin/octave-cli.exe; do
        if [ -f "$cli" ]; then echo "$cli"; return 0; fi
    done
    echo "ci-octave: no octave-cli.exe where Octave for Windows installs" >&2
    return 1
}

case "${1:-}:${RUNNER_OS:-}" in
    install:Linux)
        sudo apt-get update -qq
        sudo DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
            octave liboctave-dev >/dev/null ;;
    install:macOS)
        brew install octave ;;
    install:Windows)
        choco install octave --no-progress -y
        windows_octave ;;
    test:*)
        version=$(sed -n 's/^project(mexmodules VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
        here=$PWD
        [ "$RUNNER_OS" = Windows ] && here=$(cygpath -m "$PWD")   # C:/... for Octave
        package=$here/dist/mexmodules-$version.tar.gz
        suite=$here/tests/matlab
        eval="exit (double (test_package ('$package') > 0))"
        if [ "$RUNNER_OS" = Windows ]; then
            cli=$(windows_octave)
            root=${cli%/mingw64/bin/octave-cli.exe}
            # Its MinGW and MSYS tools first, as Octave's own launcher sets them: pkg
            # install runs sh and make, and mkoctfile the MinGW g++.
            PATH="$root/mingw64/bin:$root/usr/bin:$PATH" \
                "$cli" --no-gui --norc --no-history --path "$suite" --eval "$eval"
        else
            octave-cli --version | head -n 1
            mkoctfile --version | head -n 1
            octave-cli --no-gui --norc --no-history --path "$suite" --eval "$eval"
        fi ;;
    *)
        echo "usage: $0 install|test (on a GitHub runner)" >&2
        exit 2 ;;
esac
