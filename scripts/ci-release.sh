#!/bin/sh
# The release job, after every test job passed: checks that the built files came
# through the artifacts unchanged, puts the files the release attaches (the three
# archives, the Octave package, the toolbox file) in one folder with SHA256SUMS over
# exactly those files, and makes the GitHub release of the tag with them. Run again
# after a partly successful publish, it uploads the files to the release that exists,
# replacing any of the same name.
#   scripts/ci-release.sh TAG                (GH_TOKEN and GH_REPO in the environment)
#   scripts/ci-release.sh --dry-run TAG OUT  (everything but gh, into the folder OUT)
# The toolbox file is made only by MATLAB: a dry run without it puts a stand-in of that
# name in OUT, a text file that says what it is, and names it on stderr.
set -eu
cd "$(dirname "$0")/.."
dry_run=false
if [ "${1:-}" = --dry-run ]; then
    dry_run=true
    shift
    [ $# -eq 2 ] || { echo "usage: $0 --dry-run TAG OUT" >&2; exit 2; }
fi
tag=$1
version=$(sed -n 's/^project(mexmodules VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ "$tag" = "v$version" ] || { echo "ci-release: tag $tag is not v$version" >&2; exit 1; }
name=mexmodules-$version
toolbox=$name.mltbx
attached="$name-linux.tar.gz $name-windows.zip $name-macos.zip $name.tar.gz $toolbox"

if $dry_run; then
    out=$2
    rm -rf "$out"
else
    out=$(mktemp -d)
    trap 'rm -rf "$out"' EXIT
fi
mkdir -p "$out"
(cd dist && sha256sum --quiet -c SHA256SUMS)
for f in $attached; do
    if [ -f "dist/$f" ]; then
        cp "dist/$f" "$out/"
    elif $dry_run && [ "$f" = "$toolbox" ]; then
        echo "stand-in for $toolbox, which only MATLAB makes (ci-release.sh --dry-run)" \
            >"$out/$f"
        echo "ci-release: $out/$f is a stand-in: dist/ holds no toolbox file" >&2
    else
        echo "ci-release: dist/$f missing" >&2
        exit 1
    fi
done
scripts/sha256sums.sh "$out"
$dry_run && { echo "ci-release: dry run of $tag in $out: $attached SHA256SUMS"; exit 0; }

cd "$out"
# shellcheck disable=SC2086 # one word per file
if gh release view "$tag" >/dev/null 2>&1; then
    echo "ci-release: release $tag exists: uploading its files again"
    gh release upload "$tag" --clobber $attached SHA256SUMS
else
    gh release create "$tag" --verify-tag --title "mexmodules $version" \
        --notes "Modules for MATLAB (Linux, Windows, Intel and Apple Silicon Macs) and GNU Octave; the MATLAB toolbox file installs all of them. See README.md." \
        $attached SHA256SUMS
fi
