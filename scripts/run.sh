#!/usr/bin/env bash
# Builds the Release engine (if needed) and starts it on this terminal.
# Usage: scripts/run.sh [--pb]   (--pb: the second edition)
set -euo pipefail

cd "$(dirname "$0")/.."
target=braxen-engine
[ "${1:-}" = "--pb" ] && target=braxen-engine-pb
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "${BRAXEN_JOBS:-2}" --target "$target" >/dev/null
scripts/install-book.sh  # the default book, unless the data folder has one
exec "build/$target"
