#!/bin/sh
# Renders the pictures of docs/ with the built program, headless, in a home folder of its own (the
# program makes itself the handler of .zip files at every start, which must not touch the user's):
#   docs/drop-target.png        local rows dragged onto an archive folder row, the button still held
#   docs/wide-size-column.png   an archive with a 10 GB member, its sizes shown in full
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

cd "$HOME"
printf '%s\n' 'select local-tree C:\Documents\' \
    'drag local-list rows notes.txt over archive-list to archive-list docs held' \
    "picture $repo/docs/drop-target.png" > "$work/drop.script"
"$program" --script "$work/drop.script" "$HOME/zips/report.zip"
printf '%s\n' "picture $repo/docs/wide-size-column.png" > "$work/wide.script"
"$program" --script "$work/wide.script" "$HOME/zips/big.zip"
