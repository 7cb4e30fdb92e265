// The bench: a fixed set of positions searched to a fixed depth through the
// engine's own command handlers, with default options and a fresh table.
// The node total is a signature of the search.
#include "engine/bench.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "board/position.h"
#include "board/setup.h"
#include "engine/options.h"
#include "engine/uci.h"
#include "platform/platform.h"
#include "search/stats.h"
#include "search/think.h"
#include "search/tt.h"

namespace {

constexpr uint32_t BenchHashKb = 16384;

// Opening, middlegame, endgame and tactical positions (from the project's
// perft, opening and tactics collections).
constexpr const char* benchPositions[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "rn2kb1r/pp3ppp/2p1pn2/3p3b/8/1P1P1NPP/PBPqPPB1/RN2K2R w KQkq - 0 9",
    "rn1qk2r/pb1pbppp/1p2pn2/8/Q1P5/5NP1/PP2PPBP/RNB2RK1 w kq - 2 9",
    "rn1qkb1r/pp2npp1/4p2p/2p1Pb2/2pP4/1P3N2/P3BPPP/RNBQ1RK1 w kq - 0 9",
    "r1bq1rk1/1pp2pbp/p1np1np1/4p3/P2PP3/2N1BP2/1PPQN1PP/R3KB1R w KQ - 0 9",
    "r1bq1rk1/ppp1bppp/2n2n2/4p3/4p3/3P1NP1/PPPNQPBP/R1B2RK1 w - - 0 9",
    "r1bqkb1r/pp3ppp/2n5/4B3/3Pp3/8/PPP2PPP/RN1QK1NR w KQkq - 1 9",
    "r2qk2r/ppp1bppp/2nppnb1/6B1/3PP1P1/2N2N1P/PPP1QP2/R3KB1R w KQkq - 1 9",
    "r1b1k1nr/1pq2ppp/p1n1p3/3p4/1b1NPP2/2N2Q2/PPPB2PP/R3KB1R w KQkq - 2 9",
    "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - 0 1",
    "2br2k1/2q3rn/p2NppQ1/2p1P3/Pp5R/4P3/1P3PPP/3R2K1 w - - 0 1",
    "r2qkb1r/1ppb1ppp/p7/4p3/P1Q1P3/2P5/5PPP/R1B2KNR b kq - 0 1",
    "1r3r2/4q1kp/b1pp2p1/5p2/pPn1N3/6P1/P3PPBP/2QRR1K1 w - - 0 1",
    "3r1r1k/1p4pp/p4p2/8/1PQR4/6Pq/P3PP2/2R3K1 b - - 0 1",
    "k4r2/1R4pb/1pQp1n1p/3P4/5p1P/3P2P1/r1q1R2K/8 w - - 0 1",
    "rn1qr1k1/1p2np2/2p3p1/8/1pPb4/7Q/PB1P1PP1/2KR1B1R w - - 0 1",
    "2kr3r/pppq1ppp/3p1n2/bQ2p3/1n1PP3/1PN1BN1P/1PP2PP1/2KR3R b - - 0 1",
    "r4rk1/p1B1bpp1/1p2pn1p/8/2PP4/3B1P2/qP2QP1P/3R1RK1 w - - 0 1",
    "3qrrk1/1pp2pp1/1p2bn1p/5N2/2P5/P1P3B1/1P4PP/2Q1RRK1 w - - 0 1",
    "8/7p/5k2/5p2/p1p2P2/Pr1pPK2/1P1R3P/8 b - - 0 1",
    "5rk1/1ppb3p/p1pb4/6q1/3P1p1r/2P1R2P/PP1BQ1P1/5RKN w - - 0 1",
    "8/8/1B6/7b/7k/8/2B1b3/7K w - - 0 1",
    "8/8/k7/p7/P7/K7/8/8 b - - 0 1",
    "k7/8/3p4/8/8/4P3/8/7K w - - 0 1",
    "n1n5/1Pk5/8/8/8/8/5Kp1/5N1N w - - 0 1",
    "4k3/8/8/8/8/8/8/4K2R w K - 0 1",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
};
constexpr int BenchCount = static_cast<int>(sizeof benchPositions / sizeof benchPositions[0]);

bool command(const char* text) {
  char line[LineBufferSize];
  snprintf(line, sizeof line, "%s", text);
  HandleUciCommand(line);
  return true;
}

uint64_t RunBench(const char* const* positions, int count, int depth, FILE* out) {
  uint64_t total = 0;
  for (int i = 0; i < count; i++) {
    char line[256];
    command("ucinewgame");
    snprintf(line, sizeof line, "position fen %s", positions[i]);
    command(line);
    snprintf(line, sizeof line, "go depth %d", depth);
    command(line);
    total += nodeCount;
    if (out != nullptr) {
      fprintf(out, "%2d %10" PRIu64 "  %s\n", i + 1, nodeCount, positions[i]);
      fflush(out);
    }
  }
  return total;
}

// Positions of a FEN or EPD file (the board, side, castling and en-passant
// fields of each line; the move counters when they follow), for statistics
// on positions of one's own choice. Lines without four fields are skipped.
constexpr int MaxFilePositions = 1000;
char filePositionText[MaxFilePositions][100];
const char* filePositions[MaxFilePositions];

int readPositions(const char* path) {
  FILE* f = fopen(path, "r");
  if (f == nullptr) return -1;
  int count = 0;
  char line[512];
  while (count < MaxFilePositions && fgets(line, sizeof line, f) != nullptr) {
    char field[6][90];
    const int n = sscanf(line, "%89s %89s %89s %89s %89s %89s", field[0], field[1], field[2], field[3], field[4],
                         field[5]);
    if (n < 4) continue;
    const bool counters = n == 6 && strspn(field[4], "0123456789") == strlen(field[4]) &&
                          strspn(field[5], "0123456789") == strlen(field[5]);
    const int length = snprintf(filePositionText[count], sizeof filePositionText[count], "%s %s %s %s %s %s",
                                field[0], field[1], field[2], field[3], counters ? field[4] : "0",
                                counters ? field[5] : "1");
    if (length < 0 || length >= static_cast<int>(sizeof filePositionText[count])) continue;  // no FEN is this long
    filePositions[count] = filePositionText[count];
    count++;
  }
  fclose(f);
  return count;
}

bool BenchSetUp() {
  if (!initSearchMemory()) return false;
  SetDefaultOptions();
  if (!ttAllocate(BenchHashKb)) return false;
  hashSizeKb = BenchHashKb;
  newGame();
  gamePlyCount = 1;
  command("uci");
  return true;
}

}  // namespace

FILE* QuietEngineIo() {
  fflush(stdout);
  const int savedOut = dup(STDOUT_FILENO);
  if (savedOut < 0) return nullptr;
  FILE* report = fdopen(savedOut, "w");
  int fds[2];
  if (report == nullptr || pipe(fds) != 0) return nullptr;
  dup2(fds[0], STDIN_FILENO);
  close(fds[0]);  // the write end fds[1] stays open for the run
  if (freopen("/dev/null", "w", stdout) == nullptr) return nullptr;
  return report;
}

int BenchCommand(int argc, char** argv) {
  int depth = DefaultBenchDepth;
  bool stats = false;
  const char* positionFile = nullptr;
  for (int i = 1; i < argc; i++) {
    if (strcmp(argv[i], "--stats") == 0)
      stats = true;
    else if (strcmp(argv[i], "--fens") == 0 && i + 1 < argc)
      positionFile = argv[++i];
    else
      depth = atoi(argv[i]);
  }
  const char* const* positions = benchPositions;
  int count = BenchCount;
  if (positionFile != nullptr) {
    count = readPositions(positionFile);
    positions = filePositions;
    if (count <= 0) {
      fprintf(stderr, "bench: no positions in %s\n", positionFile);
      return 2;
    }
  }
  if (depth < 1 || depth > 40) {
    fprintf(stderr, "bench: DEPTH must be 1..40\n");
    return 2;
  }
  if (stats && !statsCompiledIn) {
    fprintf(stderr, "bench: --stats needs a build configured with -DBRAXEN_STATS=ON\n");
    return 2;
  }
  FILE* report = QuietEngineIo();
  if (report == nullptr) {
    fprintf(stderr, "bench: cannot redirect the engine's output\n");
    return 1;
  }
  if (!BenchSetUp()) {
    fprintf(stderr, "bench: cannot allocate the tables\n");
    return 1;
  }
  statReset();
  const uint32_t start = platformTick();
  const uint64_t total = RunBench(positions, count, depth, report);
  const uint32_t ms = platformTick() - start;
  // The closing line is the form distributed testing frameworks read.
  const uint64_t nps = total * 1000 / (ms ? ms : 1);
  fprintf(report, "Nodes searched: %" PRIu64 "\n", total);
  fprintf(report, "Nodes/second: %" PRIu64 "\n", nps);
  fprintf(report, "%" PRIu64 " nodes %" PRIu64 " nps\n", total, nps);
  if (stats) statPrint(report, count, depth);
  fflush(report);
  return 0;
}
