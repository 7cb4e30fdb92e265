#!/usr/bin/env bash
# Endgame search speed with and without tablebases: every position of an EPD
# file whose class has a table in DIR is searched to a fixed depth twice by
# the engine (tables off, then on) and the nodes, time, node rate and table
# hits of each search are printed, then the totals.
# Usage: scripts/tb-endgame-bench.sh DIR [DEPTH] [EPD] [ENGINE]
set -euo pipefail

cd "$(dirname "$0")/.."
dir=${1:?usage: scripts/tb-endgame-bench.sh DIR [DEPTH] [EPD] [ENGINE]}
depth=${2:-12}
epd=${3:-../shared/data/nalimov/dtm/endgame-dm-5.epd}
engine=${4:-build/braxen-engine}
tool=$(dirname "$engine")/braxen-tool

# One search: prints "nodes ms nps tbhits" of the last report before bestmove.
search() {
  local fen=$1 tables=$2
  coproc ENGINE { "$engine" 2>/dev/null; }
  {
    echo uci
    echo "setoption name Hash value 64"
    echo "setoption name NalimovPath value $dir"
    echo "setoption name Use Tablebases value $tables"
    echo "position fen $fen"
    echo "go depth 1"
  } >&"${ENGINE[1]}"
  local line nodes=0 ms=0 hits=0
  # The first search of a run also times the machine; it is not counted.
  while read -r line <&"${ENGINE[0]}"; do
    case $line in bestmove*) break ;; esac
  done
  printf 'ucinewgame\nposition fen %s\ngo depth %s\n' "$fen" "$depth" >&"${ENGINE[1]}"
  while read -r line <&"${ENGINE[0]}"; do
    case $line in
      bestmove*) break ;;
      info*nodes*)
        set -- $line
        while [ $# -gt 1 ]; do
          case $1 in nodes) nodes=$2 ;; time) ms=$2 ;; tbhits) hits=$2 ;; esac
          shift
        done ;;
    esac
  done
  echo quit >&"${ENGINE[1]}"
  wait "$ENGINE_PID" 2>/dev/null || true
  echo "$nodes $ms $(( nodes * 1000 / (ms > 0 ? ms : 1) )) $hits"
}

printf "%-44s %22s %30s\n" "position (depth $depth)" "without: nodes ms" "with: nodes ms tbhits"
totals=(0 0 0 0 0)
while IFS= read -r line; do
  case $line in ''|'#'*) continue ;; esac
  fen="${line%% dm *} 0 1"
  # Only positions whose class has a table in DIR.
  "$tool" tb probe "$fen" --path "$dir" 2>/dev/null | grep -q "^stored" || continue
  read -r n0 t0 r0 h0 <<<"$(search "$fen" false)"
  read -r n1 t1 r1 h1 <<<"$(search "$fen" true)"
  printf "%-44s %12s %8s %12s %8s %8s\n" "$fen" "$n0" "$t0" "$n1" "$t1" "$h1"
  totals=($((totals[0] + n0)) $((totals[1] + t0)) $((totals[2] + n1)) $((totals[3] + t1)) $((totals[4] + h1)))
done <"$epd"
t0=${totals[1]}; t1=${totals[3]}
echo "without tables: ${totals[0]} nodes in $t0 ms, $(( totals[0] * 1000 / (t0 > 0 ? t0 : 1) )) nodes/s"
echo "with tables:    ${totals[2]} nodes in $t1 ms, $(( totals[2] * 1000 / (t1 > 0 ? t1 : 1) )) nodes/s, ${totals[4]} tbhits"
