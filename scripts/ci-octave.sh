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
        # ftpmirror.gnu.org redirects to a mirror picked anew each time, and a stale one
        # answers 404, which curl does not retry: ask it twice more, then GNU's own
        # server. Only a file with the known hash is kept.
        file=octave/windows/octave-$windows_version-w64-installer.exe
        for url in "https://ftpmirror.gnu.org/$file" "https://ftpmirror.gnu.org/$file" \
                   "https://ftpmirror.gnu.org/$file" "https://ftp.gnu.org/gnu/$file" ""; do
            [ -n "$url" ] || { echo "ci-octave: no mirror gave $file" >&2; exit 1; }
            if curl -fsSL --retry 3 -o "$installer" "$url" &&
               echo "$windows_sha256  $installer" | sha256sum -c -; then
                break
            fi
            echo "ci-octave: $url failed, trying the next" >&2
        done
        # The installer's own process, waited for with a time limit (Start-Process -Wait
        # would wait for every process it starts, PowerShell issue 15555), and its exit
        # status; reading Handle first keeps ExitCode once the process has ended.
        powershell -NoProfile -Command "
            \$p = Start-Process -PassThru -FilePath '$(cygpath -w "$installer")' -ArgumentList '/S','/AllUsers'
            \$null = \$p.Handle
            if (-not \$p.WaitForExit(1200000)) {
                Stop-Process -Id \$p.Id -Force
                Write-Output 'ci-octave: the installer still runs after 20 minutes'
                exit 124
            }
            Write-Output ('ci-octave: the installer exited with ' + \$p.ExitCode)
            exit \$p.ExitCode"
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
