// The bench: a fixed set of positions searched to a fixed depth through the
// engine's own command handlers. Its node total is the signature of the
// search; both "braxen-tool bench" and "braxen-engine bench" run it.
#pragma once

#include <cstdint>
#include <cstdio>

constexpr int DefaultBenchDepth = 9;

// "bench [DEPTH] [--stats] [--fens FILE]": argv[0] is the word bench. Prints
// one line per position, then "Nodes searched: N", "Nodes/second: R" and
// "N nodes R nps" on standard output; with --stats (a BRAXEN_STATS build
// only) the tree statistics follow. --fens searches the positions of a FEN or
// EPD file instead of the fixed set. 0 on success, 1 when the tables cannot
// be set up, 2 for a bad depth, an empty or missing file, or --stats in a
// build without the counters.
int BenchCommand(int argc, char** argv);
// The engine's reports go to the null device while a tool prints its own
// lines on the returned stream (the original standard output); standard
// input becomes a pipe that never delivers, so the search's input polling
// neither blocks nor sees an end of input. Null when that fails.
FILE* QuietEngineIo();
