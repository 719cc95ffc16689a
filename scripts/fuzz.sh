#!/usr/bin/env bash
# Builds the archiver's fuzz target with clang (in build-fuzz/) and runs it for SECONDS (default
# 30) on the seeds in tests/tools/pkzip/fuzz/corpus. New inputs it finds go to build-fuzz/corpus,
# a crashing input to build-fuzz/ (its name is printed). Extraction happens in a temporary folder
# that is removed afterwards.
# Usage: scripts/fuzz.sh [SECONDS] [extra libFuzzer options...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-30}"
shift || true
build_dir=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build_dir" -DPELLIX_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPELLIX_WERROR=ON >/dev/null
cmake --build "$build_dir" --target pkzip_fuzz -j"$(nproc)"

mkdir -p "$build_dir/corpus"
# In memory where the machine has it: extraction to disk makes the run ten times slower.
work="$(mktemp -d -p /dev/shm 2>/dev/null || mktemp -d)"
trap 'rm -rf "$work"' EXIT
TMPDIR="$work" "$build_dir/bin/pkzip_fuzz" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
    -artifact_prefix="$build_dir/" -print_final_stats=1 "$@" \
    "$build_dir/corpus" tests/tools/pkzip/fuzz/corpus
leftover="$(find "$work" -mindepth 1 | head -5)"
if [ -n "$leftover" ]; then
    echo "The fuzz run left files behind: $leftover" >&2
    exit 1
fi
