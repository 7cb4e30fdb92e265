// braxen-tool perft DEPTH [FEN]: leaf counts of the legal move tree, one
// line per root move, in the shape other engines print them.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "board/perft.h"
#include "board/setup.h"
#include "tools/tools.h"

int perftCommand(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: braxen-tool perft DEPTH [FEN]\n");
    return 2;
  }
  char* end = nullptr;
  const long depth = std::strtol(argv[1], &end, 10);
  if (end == argv[1] || *end != '\0' || depth < 1 || depth > 30) {
    std::fprintf(stderr, "braxen-tool perft: depth must be a number from 1 to 30\n");
    return 2;
  }
  newGame();
  if (argc > 2) {
    std::string fen;
    for (int i = 2; i < argc; ++i) {
      if (i > 2) fen += ' ';
      fen += argv[i];
    }
    if (!parseFen(fen.c_str())) {
      std::fprintf(stderr, "braxen-tool perft: FEN not accepted: %s\n", fen.c_str());
      return 1;
    }
  }

  static Move moves[MaxMovesPerPly];
  static uint64_t counts[MaxMovesPerPly];
  const auto start = std::chrono::steady_clock::now();
  const int n = perftDivide(static_cast<int>(depth), moves, counts);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  uint64_t total = 0;
  for (int i = 0; i < n; ++i) {
    char text[8];
    moveCoordinates(moves[i], text);
    std::printf("%s: %llu\n", text, static_cast<unsigned long long>(counts[i]));
    total += counts[i];
  }
  std::printf("\nNodes searched: %llu\n", static_cast<unsigned long long>(total));
  std::fflush(stdout);
  std::fprintf(stderr, "time %.3f s, %.2f M nodes/s\n", seconds,
               seconds > 0 ? static_cast<double>(total) / seconds / 1e6 : 0.0);
  return 0;
}
