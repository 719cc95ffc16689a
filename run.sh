#!/usr/bin/env bash
# Sets up, builds and starts Pellix, on the archive named (or on blank.zip when none is).
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh build
exec build/bin/pellix "$@"
