#!/bin/sh
# Packs one folder into ARCHIVE (.tar.gz or .zip) so that the same files always give
# the same bytes: entries in sorted order, owned by 0:0, modes u=rwX,go=rX, every time
# set to SOURCE_DATE_EPOCH, and no name or time in the gzip header.
#   SOURCE_DATE_EPOCH=SECONDS scripts/pack.sh ARCHIVE FOLDER
set -eu
epoch=${SOURCE_DATE_EPOCH:?pack.sh needs SOURCE_DATE_EPOCH}
archive=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
parent=$(dirname "$2")
name=$(basename "$2")
# zip keeps local times: read and write them in UTC.
export TZ=UTC0 LC_ALL=C

chmod -R u=rwX,go=rX "$2"
find "$2" -exec touch -h -d "@$epoch" {} +
rm -f "$archive"
cd "$parent"
case "$archive" in
    *.tar.gz)
        tar --sort=name --format=gnu --owner=0 --group=0 --numeric-owner \
            --mtime="@$epoch" -cf - "$name" | gzip -9n >"$archive" ;;
    *.zip)
        # No extra fields (owner ids, second-resolution times): -X.
        find "$name" | sort | zip -qX -@ "$archive" ;;
    *) echo "pack.sh: unknown archive type: $archive" >&2; exit 2 ;;
esac
