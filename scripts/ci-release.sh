#!/bin/sh
# The release job, after every test job passed: checks that the built files came
# through the artifacts unchanged, rewrites dist/SHA256SUMS over dist/ with the toolbox
# file in it, and makes the GitHub release of the tag with the archives, the Octave
# package, the toolbox file and SHA256SUMS.
#   scripts/ci-release.sh TAG   (GH_TOKEN and GH_REPO in the environment)
set -eu
cd "$(dirname "$0")/.."
tag=$1
version=$(sed -n 's/^project(mexmodules VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ "$tag" = "v$version" ] || { echo "ci-release: tag $tag is not v$version" >&2; exit 1; }
name=dist/mexmodules-$version
files="$name-linux.tar.gz $name-windows.zip $name-macos.zip
       $name.tar.gz $name.mltbx"
for f in $files; do
    [ -f "$f" ] || { echo "ci-release: $f missing" >&2; exit 1; }
done
(cd dist && sha256sum --quiet -c SHA256SUMS)
scripts/sha256sums.sh dist
# shellcheck disable=SC2086 # one word per file
gh release create "$tag" --verify-tag --title "mexmodules $version" \
    --notes "Modules for MATLAB (Linux, Windows, Intel and Apple Silicon Macs) and GNU Octave; the MATLAB toolbox file installs all of them. See README.md." \
    $files dist/SHA256SUMS
