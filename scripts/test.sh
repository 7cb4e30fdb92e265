#!/usr/bin/env bash
# Builds the engine twice and runs every test in both builds:
#   build/           Release, profile-guided (the build that is shipped and
#                    measured; scripts/pgo-build.sh)
#   build-sanitize/  AddressSanitizer + UndefinedBehaviorSanitizer, with the
#                    tree-statistics counters compiled in (BRAXEN_STATS), so
#                    that the bench signature test also proves they leave
#                    the search unchanged
# Exits non-zero as soon as a build or a test fails.
# Usage: scripts/test.sh [--release-only] [extra ctest arguments...]
set -euo pipefail

cd "$(dirname "$0")/.."
root=$(pwd)
jobs=${BRAXEN_JOBS:-2}

missing=()
command -v cmake >/dev/null || missing+=(cmake)
command -v g++ >/dev/null || missing+=(g++)
command -v make >/dev/null || missing+=(make)
[ -e /usr/include/gtest/gtest.h ] || missing+=(libgtest-dev)
if [ ${#missing[@]} -gt 0 ]; then
  echo "missing: ${missing[*]}" >&2
  echo "install with: sudo apt-get install -y cmake g++ make libgtest-dev stockfish pgn-extract polyglot" >&2
  exit 2
fi

configs=(release)
if [ "${1:-}" = "--release-only" ]; then
  shift
else
  configs+=(sanitize)
fi

for config in "${configs[@]}"; do
  if [ "$config" = release ]; then
    # The shipped build: profile-guided, trained on braxen-tool bench.
    dir="$root/build"
    echo "=== $config build in $dir"
    "$root/scripts/pgo-build.sh" "$dir" -DBRAXEN_SANITIZE=OFF
  else
    dir="$root/build-sanitize"
    echo "=== $config build in $dir"
    cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRAXEN_SANITIZE=ON -DBRAXEN_STATS=ON
    cmake --build "$dir" -j "$jobs"
  fi
  echo "=== $config tests"
  # Sanitizer reports end the program with a failure status.
  ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0} \
  UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
    ctest --test-dir "$dir" --output-on-failure -j "$jobs" "$@"
done
