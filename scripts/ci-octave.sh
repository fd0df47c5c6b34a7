#!/bin/bash
# The Octave jobs: installs Octave as users of the runner's system do, then installs the
# package file with pkg, loads it and runs the suite on the installed modules
# (tests/matlab/test_package.m).
#   scripts/ci-octave.sh install|test
set -euo pipefail
cd "$(dirname "$0")/.."

# Octave for Windows: its own installer, run unattended (/S, with /AllUsers as its
# multi-user setup requires for a silent install); the same file and hash that
# winget's GNU.Octave manifest names.
windows_version=11.3.0
windows_sha256=251db7f300e6a1227bb11d029b97c489fded9d0618eae106fa704b5b641a8aa3
windows_root="/c/Program Files/GNU Octave/Octave-$windows_version"

# Octave for Windows with what its launcher (octave-launch.exe, octave.bat) sets before
# it starts Octave: pkg install runs MSYS's sh and make, and mkoctfile the bundled
# MinGW g++. The launcher itself would not pass on Octave's exit status.
windows_octave() {
    local root
    root=$(cygpath -w "$windows_root")
    MSYSTEM=MINGW64 MSYSPATH="$root\\usr" MXE_ROOT="$root" TERM=cygwin GS=gs.exe \
        HOME="$USERPROFILE" PATH="$windows_root/mingw64/bin:$windows_root/usr/bin:$PATH" \
        "$windows_root/mingw64/bin/octave-cli.exe" "$@"
}

case "${1:-}:${RUNNER_OS:-}" in
    install:Linux)
        # octave-dev brings mkoctfile (liboctave-dev, its old name, is gone from
        # Ubuntu 24.04 on).
        sudo apt-get update -qq
        sudo DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
            octave octave-dev >/dev/null ;;
    install:macOS)
        brew install octave ;;
    install:Windows)
        installer="$RUNNER_TEMP/octave-$windows_version-w64-installer.exe"
        curl -fsSL --retry 3 -o "$installer" \
            "https://ftpmirror.gnu.org/octave/windows/octave-$windows_version-w64-installer.exe"
        echo "$windows_sha256  $installer" | sha256sum -c -
        # Start-Process -Wait returns when the installer has finished.
        powershell -NoProfile -Command \
            "Start-Process -Wait -FilePath '$(cygpath -w "$installer")' -ArgumentList '/S','/AllUsers'"
        [ -f "$windows_root/mingw64/bin/octave-cli.exe" ] ||
            { echo "ci-octave: no octave-cli.exe in $windows_root" >&2; exit 1; } ;;
    test:*)
        version=$(sed -n 's/^project(mexmodules VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
        here=$PWD
        octave="octave-cli"
        if [ "$RUNNER_OS" = Windows ]; then
            here=$(cygpath -m "$PWD")   # C:/... for Octave
            octave=windows_octave
        else
            mkoctfile --version | head -n 1
        fi
        "$octave" --version | head -n 1
        "$octave" --no-gui --norc --no-history --path "$here/tests/matlab" --eval \
            "exit (double (test_package ('$here/dist/mexmodules-$version.tar.gz') > 0))" ;;
    *)
        echo "usage: $0 install|test (on a GitHub runner)" >&2
        exit 2 ;;
esac
