#!/usr/bin/env bash
# Profile-guided Release build of every program into one folder:
#   1. FOLDER/pgo-train: an instrumented braxen-tool (core and tool only),
#   2. a training run of its bench, which writes FOLDER/pgo-profile,
#   3. FOLDER itself: the optimised build that reads that profile.
# The training runs again only when the instrumented program was rebuilt;
# a new profile rebuilds every object of step 3. Nothing is written outside
# FOLDER (the training run gets a data folder of its own in there).
# Usage: scripts/pgo-build.sh [FOLDER] [extra cmake arguments for step 3...]
#   BRAXEN_JOBS (default 2) build jobs; BRAXEN_TARGET builds one target only.
set -euo pipefail

cd "$(dirname "$0")/.."
root=$(pwd)
dir=${1:-build}
[ $# -gt 0 ] && shift
case "$dir" in /*) ;; *) dir="$root/$dir" ;; esac
jobs=${BRAXEN_JOBS:-2}
# The profile must never end up in a commit: a folder inside the checkout
# has to be one git ignores (build*, for example).
case "$dir/" in
  "$root"/*)
    if command -v git >/dev/null && git -C "$root" rev-parse --is-inside-work-tree >/dev/null 2>&1 &&
      ! git -C "$root" check-ignore -q "$dir/pgo-profile"; then
      echo "pgo-build: $dir is inside the checkout but not ignored by git; use build or build-*" >&2
      exit 2
    fi
    ;;
esac
train="$dir/pgo-train"
profile="$dir/pgo-profile"
stamp="$profile/trained.stamp"

echo "=== PGO step 1: instrumented build in $train"
cmake -S "$root" -B "$train" -DCMAKE_BUILD_TYPE=Release -DBRAXEN_SANITIZE=OFF -DBRAXEN_TESTS=OFF \
  -DBRAXEN_PGO=GENERATE -DBRAXEN_PGO_DIR="$profile" >/dev/null
cmake --build "$train" -j "$jobs" --target braxen-tool

if [ ! -e "$stamp" ] || [ "$train/braxen-tool" -nt "$stamp" ]; then
  echo "=== PGO step 2: training run (braxen-tool bench)"
  rm -rf "$profile"
  mkdir -p "$profile/data"
  (cd "$profile/data" && env -u APPDATA XDG_DATA_HOME="$profile/data" HOME="$profile/data" \
    "$train/braxen-tool" bench </dev/null)
  touch "$stamp"
else
  echo "=== PGO step 2: profile is current"
fi

echo "=== PGO step 3: optimised build in $dir"
cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DBRAXEN_PGO=USE -DBRAXEN_PGO_DIR="$profile" "$@" >/dev/null
if [ -n "${BRAXEN_TARGET:-}" ]; then
  cmake --build "$dir" -j "$jobs" --target "$BRAXEN_TARGET"
else
  cmake --build "$dir" -j "$jobs"
fi
