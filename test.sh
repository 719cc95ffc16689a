#!/usr/bin/env bash
# Sets up, builds and runs every test, then fuzzes the archiver's reader for 30 seconds when
# clang is installed. With --sanitize the tests run in a separate build with the address and
# undefined-behaviour sanitizers.
set -euo pipefail
cd "$(dirname "$0")"

build_dir=build
options=()
if [ "${1:-}" = "--sanitize" ]; then
    build_dir=build-sanitize
    options=(-DPELLIX_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
    export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
fi
scripts/setup.sh "$build_dir" "${options[@]}"

echo "Checking the format of the sources"
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror

(cd "$build_dir" && ctest --output-on-failure -j"$(nproc)")

if command -v clang++ >/dev/null; then
    echo "Fuzzing the archiver's reader for 30 seconds"
    mkdir -p build-fuzz
    scripts/fuzz.sh 30 >build-fuzz/fuzz.log 2>&1 || {
        tail -n 60 build-fuzz/fuzz.log
        exit 1
    }
    grep -E '^(Done|stat::)' build-fuzz/fuzz.log
fi
