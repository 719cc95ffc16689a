#!/usr/bin/env bash
# Sets up, builds and runs every test. With --sanitize the tests run in a separate build with
# the address and undefined-behaviour sanitizers.
set -euo pipefail
cd "$(dirname "$0")"

build_dir=build
options=()
if [ "${1:-}" = "--sanitize" ]; then
    build_dir=build-sanitize
    options=(-DPELLIX_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
fi
scripts/setup.sh "$build_dir" "${options[@]}"

echo "Checking the format of the sources"
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror

cd "$build_dir"
ctest --output-on-failure -j"$(nproc)"
