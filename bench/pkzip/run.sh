#!/bin/sh
# Runs the PKZIP25.EXE benchmarks against zip and unzip and prints one table.
#
#   bench/pkzip/run.sh [--quick] [--build <build folder>] [--bin <program folder>]
#                      [--base <program folder>] [--work <empty folder>] [--reps N]
#                      [--only 1,2,...] [--keep] [--no-fsync-cost] [--largest FILES]
#
# It builds nothing: build the archiver and the benchmark program first, optimised, e.g.
#   cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
#   cmake --build build -j2 --target PKZIP25.EXE pkzip-bench
# The build folder defaults to "build" at the top of the source tree; the program folder
# (where PKZIP25.EXE is) defaults to its "bin" folder. --base names the program folder of an
# earlier build, measured in the same run for a before-and-after comparison.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
build="$here/../../build"
bin=""
pass=""

while [ $# -gt 0 ]; do
    case "$1" in
    --build) build=$2; shift 2 ;;
    --bin) bin=$2; shift 2 ;;
    --quick | --keep | --no-fsync-cost) pass="$pass $1"; shift ;;
    --work | --only | --base | --reps | --largest) pass="$pass $1 $2"; shift 2 ;;
    *) sed -n "2,14p" "$0" >&2; exit 2 ;;
    esac
done
[ -n "$bin" ] || bin="$build/bin"

bench="$build/bench/pkzip/pkzip-bench"
if [ ! -x "$bench" ]; then
    echo "run.sh: $bench is not built (cmake --build <build> --target pkzip-bench)" >&2
    exit 2
fi
if [ ! -x "$bin/PKZIP25.EXE" ]; then
    echo "run.sh: no PKZIP25.EXE in $bin (cmake --build <build> --target PKZIP25.EXE)" >&2
    exit 2
fi
for peer in zip unzip diff; do
    command -v "$peer" >/dev/null || { echo "run.sh: $peer is needed (apt-get install zip unzip)" >&2; exit 2; }
done

# Timing an unoptimised archiver says little about the real one.
type=$(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$build/CMakeCache.txt" 2>/dev/null || true)
echo "build type: ${type:-none}"
case "$type" in
Release | RelWithDebInfo | MinSizeRel) ;;
*) echo "run.sh: warning: $build is not an optimised build (configure it with -DCMAKE_BUILD_TYPE=RelWithDebInfo)" >&2 ;;
esac

# shellcheck disable=SC2086
exec "$bench" --bin "$bin" $pass
