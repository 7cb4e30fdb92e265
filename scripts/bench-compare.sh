#!/usr/bin/env bash
# Speed comparison of two builds of the engine on this machine.
# Usage: scripts/bench-compare.sh OLD NEW
#   OLD, NEW: a braxen-tool program file, or a git revision of this
#   repository (built into $BRAXEN_COMPARE_DIR, default /tmp/braxen-compare,
#   with scripts/pgo-build.sh where the revision has it, else plainly).
# Environment:
#   RUNS=5          bench runs per program (medians are reported)
#   DEPTH=9         bench depth (the time to this depth is reported too)
#   PERFT_RUNS=3    runs per perft position, medians (0 skips perft); one
#                   run can be off by a tenth on a busy machine
#   PERFT_DEPTH     one depth for every perft position (default: 6 for the
#                   start position and position 3, 5 for the larger trees)
#   ETHEREAL=auto   also run "ethereal-chess bench" (auto: when installed; 0: never)
# The runs of the programs alternate, so a load that changes during the
# comparison affects both alike. Reports medians of bench nodes/s, bench
# wall time, perft leaf nodes/s per position, and the ratios.
set -euo pipefail

if [ $# -ne 2 ]; then
  sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//'
  exit 2
fi
cd "$(dirname "$0")/.."
root=$(pwd)
runs=${RUNS:-5}
depth=${DEPTH:-9}
perftRuns=${PERFT_RUNS:-3}
work=${BRAXEN_COMPARE_DIR:-/tmp/braxen-compare}
mkdir -p "$work"

# Standard perft positions and the depth each is counted to.
perftSet=(
  "6|rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1|start"
  "5|r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1|kiwipete"
  "6|8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1|position3"
  "5|r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1|position4"
  "5|rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8|position5"
  "5|r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10|position6"
)

# Prints the path of a braxen-tool for a program file or a revision.
toolFor() {
  local what=$1
  if [ -f "$what" ] && [ -x "$what" ]; then
    readlink -f "$what"
    return
  fi
  local rev
  rev=$(git -C "$root" rev-parse --verify --quiet "$what^{commit}") || {
    echo "bench-compare: '$what' is neither a program nor a revision" >&2
    exit 2
  }
  local src="$work/src-$rev" out="$work/build-$rev"
  if [ ! -x "$out/braxen-tool" ]; then
    echo "=== building $what ($rev) in $out" >&2
    rm -rf "$src"
    mkdir -p "$src"
    git -C "$root" archive "$rev" | tar -x -C "$src"
    if [ -x "$src/scripts/pgo-build.sh" ]; then
      BRAXEN_TARGET=braxen-tool "$src/scripts/pgo-build.sh" "$out" -DBRAXEN_TESTS=OFF >&2
    else
      cmake -S "$src" -B "$out" -DCMAKE_BUILD_TYPE=Release -DBRAXEN_TESTS=OFF >/dev/null
      cmake --build "$out" -j "${BRAXEN_JOBS:-2}" --target braxen-tool >&2
    fi
  fi
  echo "$out/braxen-tool"
}

median() { sort -g | awk '{v[NR] = $1} END {if (NR == 0) print "nan"; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {if (b + 0 == 0) print "nan"; else printf "%.3f", a / b}'; }

old=$(toolFor "$1")
new=$(toolFor "$2")
ethereal=""
if [ "${ETHEREAL:-auto}" != 0 ]; then
  for e in ethereal-chess /usr/games/ethereal-chess; do
    if command -v "$e" >/dev/null; then ethereal=$(command -v "$e"); break; fi
  done
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# The engine's data folder stays inside the scratch folder.
export XDG_DATA_HOME="$tmp" HOME="$tmp"
unset APPDATA

# One bench run: appends nodes/s, wall seconds and the node total.
benchOnce() {
  local tool=$1 tag=$2
  local start end text
  start=$(date +%s.%N)
  text=$(cd "$tmp" && "$tool" bench "$depth" </dev/null)
  end=$(date +%s.%N)
  echo "$text" | awk '/^Nodes\/second:/ {print $2}' >>"$tmp/$tag.nps"
  awk -v a="$start" -v b="$end" 'BEGIN {printf "%.3f\n", b - a}' >>"$tmp/$tag.secs"
  echo "$text" | awk '/^Nodes searched:/ {print $3}' >>"$tmp/$tag.nodes"
}

echo "old: $old"
echo "new: $new"
[ -n "$ethereal" ] && echo "ethereal: $ethereal"
echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
for ((i = 1; i <= runs; i++)); do
  echo "bench run $i/$runs" >&2
  benchOnce "$old" old
  benchOnce "$new" new
  if [ -n "$ethereal" ]; then
    (cd "$tmp" && "$ethereal" bench </dev/null 2>&1) | awk '/^NPS/ {print $3}' >>"$tmp/ethereal.nps"
  fi
done

oldNps=$(median <"$tmp/old.nps")
newNps=$(median <"$tmp/new.nps")
oldSecs=$(median <"$tmp/old.secs")
newSecs=$(median <"$tmp/new.secs")
oldNodes=$(sort -u "$tmp/old.nodes" | tr '\n' ' ')
newNodes=$(sort -u "$tmp/new.nodes" | tr '\n' ' ')

echo
echo "bench depth $depth, $runs runs each, medians"
printf "  %-28s %12s %12s %8s\n" "" old new new/old
printf "  %-28s %12s %12s\n" "nodes searched" "$oldNodes" "$newNodes"
printf "  %-28s %12s %12s %8s\n" "nodes/s" "$oldNps" "$newNps" "$(ratio "$newNps" "$oldNps")"
printf "  %-28s %12s %12s %8s\n" "time to depth $depth (s)" "$oldSecs" "$newSecs" "$(ratio "$oldSecs" "$newSecs")"
if [ -n "$ethereal" ]; then
  ethNps=$(median <"$tmp/ethereal.nps")
  printf "  %-28s %12s   new/ethereal %s, old/ethereal %s\n" "ethereal-chess bench nodes/s" "$ethNps" \
    "$(ratio "$newNps" "$ethNps")" "$(ratio "$oldNps" "$ethNps")"
fi
[ "$oldNodes" = "$newNodes" ] || echo "  note: the node totals differ (a functional change)"

if [ "$perftRuns" -gt 0 ]; then
  echo
  echo "perft leaf nodes/s (millions), $perftRuns run(s) each, medians"
  printf "  %-12s %5s %14s %9s %9s %8s\n" position depth leaves old new new/old
  for entry in "${perftSet[@]}"; do
    IFS='|' read -r d fen name <<<"$entry"
    d=${PERFT_DEPTH:-$d}
    : >"$tmp/p.old"
    : >"$tmp/p.new"
    leaves=""
    for ((i = 1; i <= perftRuns; i++)); do
      for tag in old new; do
        tool=$old
        [ $tag = new ] && tool=$new
        # braxen-tool perft prints the leaves on stdout and its rate on stderr.
        text=$("$tool" perft "$d" $fen 2>&1 >"$tmp/p.out")
        echo "$text" | awk '/nodes\/s/ {print $(NF - 2)}' >>"$tmp/p.$tag"
        leaves=$(awk '/^Nodes searched:/ {print $3}' "$tmp/p.out")
      done
    done
    po=$(median <"$tmp/p.old")
    pn=$(median <"$tmp/p.new")
    printf "  %-12s %5s %14s %9s %9s %8s\n" "$name" "$d" "$leaves" "$po" "$pn" "$(ratio "$pn" "$po")"
  done
fi
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
