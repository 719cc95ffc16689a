#!/bin/sh
# Renders the pictures of docs/ with the built program, headless, in a home folder of its own (the
# program makes itself the handler of .zip files at every start, which must not touch the user's):
#   docs/drop-target.png        local rows dragged onto an archive folder row, the button still held
#   docs/wide-size-column.png   an archive with a 10 GB member, its sizes shown in full
#   docs/test-result.png        Test Archive's closing box on an archive with a damaged member
#   docs/properties.png         the Properties window of an archive with a comment
#   docs/find-results.png       the find bar and what it found: *.json among the whole archive
# Usage: scripts/docs-pictures.sh [BUILD-DIR]   (default build/). Zipping the 10 GB member (a
# sparse file) takes about a minute.
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
program="$repo/${1:-build}/bin/pellix"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
export XDG_CACHE_HOME="$work/cache" XDG_RUNTIME_DIR="$work/runtime" TZ=UTC
mkdir -p "$HOME/Documents/Letters" "$HOME/Pictures" "$HOME/zips" "$work/src/docs/old" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
printf 'Budget for the year\n' > "$HOME/Documents/budget.txt"
printf 'Meeting notes\n' > "$HOME/Documents/notes.txt"
printf 'Plans\n' > "$HOME/Documents/plans.txt"
printf 'Read me first\n' > "$work/src/readme.txt"
printf 'Chapter one\n' > "$work/src/docs/chapter1.txt"
printf 'Chapter two\n' > "$work/src/docs/chapter2.txt"
printf 'Old draft\n' > "$work/src/docs/old/draft.txt"
(cd "$work/src" && zip -q -r "$HOME/zips/report.zip" readme.txt docs)
truncate -s 10G "$work/src/huge.iso"
(cd "$work/src" && zip -q -1 "$HOME/zips/big.zip" huge.iso readme.txt)

# A release archive as a build system makes it, with a comment, a config.json in several
# folders, and one member damaged in its data.
mkdir -p "$work/rel/app/settings" "$work/rel/docs/old" "$work/rel/src/lib"
printf '{"name": "app"}\n' > "$work/rel/app/config.json"
printf '{"theme": "dark"}\n' > "$work/rel/app/settings/config.json"
printf '{"draft": true}\n' > "$work/rel/docs/old/config.json"
seq 1 4000 | sed 's/^/line /' > "$work/rel/docs/manual.txt"
seq 1 3000 | sed 's/^/int value_/' > "$work/rel/src/lib/core.c"
printf 'Read me first\n' > "$work/rel/README.txt"
printf '{"version": "1.2"}\n' > "$work/rel/package.json"
find "$work/rel" -exec touch -d '2024-05-01 09:30:00' {} +
python3 - "$work/rel" "$HOME/zips/release.zip" <<'PYTHON'
import os, sys, zipfile
root, archive = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
    for folder, _, files in sorted(os.walk(root)):
        for name in sorted(files):
            path = os.path.join(folder, name)
            z.write(path, os.path.relpath(path, root))
    z.comment = b"Release 1.2 - built by CI on 2024-05-01\nSigned-off-by: the release robot\n"
info = zipfile.ZipFile(archive).getinfo("src/lib/core.c")
at = info.header_offset + 30 + len(info.filename) + len(info.extra) + info.compress_size // 2
data = bytearray(open(archive, "rb").read())
data[at] ^= 0x55
open(archive, "wb").write(data)
PYTHON

cd "$HOME"
printf '%s\n' 'select local-tree C:\Documents\' \
    'drag local-list rows notes.txt over archive-list to archive-list docs held' \
    "picture $repo/docs/drop-target.png" > "$work/drop.script"
"$program" --script "$work/drop.script" "$HOME/zips/report.zip"
printf '%s\n' "picture $repo/docs/wide-size-column.png" > "$work/wide.script"
"$program" --script "$work/wide.script" "$HOME/zips/big.zip"
printf '%s\n' 'answer OK' 'command ID_ARCHIVE_TEST' "picture report $repo/docs/test-result.png" \
    'command ID_ARCHIVE_PROPERTIES' "picture properties $repo/docs/properties.png" \
    'find *.json' "picture $repo/docs/find-results.png" > "$work/know.script"
"$program" --script "$work/know.script" "$HOME/zips/release.zip"
