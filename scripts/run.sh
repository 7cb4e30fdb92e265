#!/usr/bin/env bash
# Builds the Release engine (if needed) and starts it on this terminal.
# Usage: scripts/run.sh [--pb]   (--pb: the second edition)
set -euo pipefail

cd "$(dirname "$0")/.."
target=braxen-engine
[ "${1:-}" = "--pb" ] && target=braxen-engine-pb
# The profile-guided Release build (instrumented build, training bench,
# optimised build); BRAXEN_PGO=OFF builds plainly instead.
if [ "${BRAXEN_PGO:-ON}" = OFF ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DBRAXEN_PGO=OFF >/dev/null
  cmake --build build -j "${BRAXEN_JOBS:-2}" --target "$target" >/dev/null
else
  echo "building the engine (profile-guided: the first build takes a few minutes)" >&2
  BRAXEN_TARGET=$target scripts/pgo-build.sh build >/dev/null
fi
scripts/install-book.sh  # the default book, unless the data folder has one
exec "build/$target"
