#!/bin/sh
# The release as a user downloads it: a dry run of scripts/ci-release.sh (everything
# but gh) into a folder, then the README's two checksum commands in that folder. Both
# must print OK for every file and exit 0, SHA256SUMS must list exactly the files the
# release attaches, the second command must pass on a folder holding only some of them,
# and a changed file must fail both.
#   release_test.sh SOURCE_DIR
set -u
src=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
for p in linux windows macos; do
    [ -d "$src/dist/$p" ] || { echo "not built: $src/dist/$p"; exit 77; }
done
version=$(sed -n 's/^project(mexmodules VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
rel=$tmp/release

sh "$src/scripts/ci-release.sh" --dry-run "v$version" "$rel" >"$tmp/dry-run.log" 2>&1 ||
    { cat "$tmp/dry-run.log"; fail "the dry run of ci-release.sh failed"; }
cat "$tmp/dry-run.log"
sh "$src/scripts/ci-release.sh" --dry-run "v$version.1" "$tmp/other" >/dev/null 2>&1 &&
    fail "ci-release.sh releases the tag v$version.1 of version $version"

# The two commands of the README's "Checking a download", as written there.
# shellcheck disable=SC2016 # the fences are literal
commands=$(sed -n '/^## Checking a download/,/^## /p' "$src/README.md" |
           sed -n '/^```sh$/,/^```$/p' | grep '^sha256sum ')
all=$(echo "$commands" | sed -n 1p)
some=$(echo "$commands" | sed -n 2p)
if [ -z "$all" ] || [ -z "$some" ] || [ "$(echo "$commands" | wc -l)" -ne 2 ]; then
    fail "README.md's 'Checking a download' does not hold two sha256sum commands"
fi
case "$some" in *--ignore-missing*) ;; *) fail "the second README command is '$some'" ;; esac

# Every file of the folder but SHA256SUMS, and no other, is listed once.
listed=$(cd "$rel" && sed 's/^[0-9a-f]\{64\}  //' SHA256SUMS | LC_ALL=C sort | tr '\n' ' ')
present=$(cd "$rel" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort |
          tr '\n' ' ')
[ "$listed" = "$present" ] || fail "SHA256SUMS lists '$listed', the release holds '$present'"
for f in mexmodules-$version-linux.tar.gz mexmodules-$version-windows.zip \
         mexmodules-$version-macos.zip mexmodules-$version.tar.gz mexmodules-$version.mltbx; do
    [ -f "$rel/$f" ] || fail "the release lacks $f"
done

# check COMMAND FILES...: COMMAND exits 0 in the folder and says OK for exactly FILES.
check() {
    cmd=$1
    shift
    out=$(cd "$rel" && sh -c "$cmd" 2>&1) || { echo "$out"; fail "'$cmd' exits non-zero"; }
    want=$(for f in "$@"; do echo "$f: OK"; done | LC_ALL=C sort)
    [ "$(echo "$out" | LC_ALL=C sort)" = "$want" ] ||
        { echo "$out"; fail "'$cmd' does not say OK for exactly: $*"; }
    echo "ok: $cmd ($# files)"
}
# shellcheck disable=SC2086 # one word per file
check "$all" $present
# shellcheck disable=SC2086
check "$some" $present

# Only some files downloaded: the archive of one platform and the Octave package.
rm "$rel/mexmodules-$version-windows.zip" "$rel/mexmodules-$version-macos.zip" \
   "$rel/mexmodules-$version.mltbx"
check "$some" "mexmodules-$version-linux.tar.gz" "mexmodules-$version.tar.gz"
(cd "$rel" && sh -c "$all" >/dev/null 2>&1) && fail "'$all' passes with files missing"

# A file changed after the sums were written fails both commands.
printf x >>"$rel/mexmodules-$version.tar.gz"
for cmd in "$all" "$some"; do
    (cd "$rel" && sh -c "$cmd" >/dev/null 2>&1) && fail "'$cmd' passes on a changed file"
done
echo "ok: a changed file fails both commands"
