// Evaluation along random games: the attack tables come back untouched,
// every score stays in range and every position scores like its
// colour-mirrored twin.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "eval/terms.h"
#include "eval_test_support.h"
#include "movegen_support.h"

using namespace evaltest;

namespace {

uint32_t nextRandomValue(uint32_t* state) {
  *state = *state * 1664525u + 1013904223u;
  return *state >> 8;
}

// Makes a random legal move; false when there is none.
bool makeRandomMove(uint32_t* seed) {
  Move moves[MaxMovesPerPly];
  const int n = generateLegalMoves(moves);
  if (n > 0) makeMove(moves[nextRandomValue(seed) % n]);
  return n > 0;
}

// True when a piece (not a pawn) holds one of the slots 8..15. Such extra
// men (a second queen, two bishops of one shade) take the free slots in
// board order, which the mirrored board does not repeat; king safety
// weighs attackers by slot, so those positions are not mirror images.
bool extraPieceInHighSlot() {
  for (int side = 0; side < 2; ++side)
    for (int slot = 8; slot < 16; ++slot) {
      const int q = pos.pieceList[side][slot];
      if ((pos.pieceSet[side] >> slot & 1) && pos.pieceOn[q] != Pawn) return true;
    }
  return false;
}

TEST(EvalRandomGames, InvariantsAndSymmetry) {
  const char* starts[] = {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
                          "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
                          "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
                          "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1"};
  uint32_t seed = 12345;
  int positions = 0;
  for (const char* start : starts) {
    for (int game = 0; game < 6; ++game) {
      ASSERT_TRUE(setUp(start));
      for (int ply = 0; ply < 80; ++ply) {
        if (!makeRandomMove(&seed)) break;
        const std::string fen = movegentest::fenOf();
        ASSERT_TRUE(setUp(fen)) << fen;
        for (int depth : {EvalFullDepth, 2, 0}) {
          const int v = eval(depth, 3, -200, 200);
          ASSERT_TRUE(attackTablesAgree()) << fen;
          ASSERT_EQ(pos.attacksUs, &pos.attackTable[pos.sideToMove]) << fen;
          ASSERT_LE(v < 0 ? -v : v, EvalLimit) << fen;
        }
        if (extraPieceInHighSlot()) continue;
        const int a = eval(2);
        const uint32_t v = verdict();
        const std::string twin = mirrorFen(fen);
        ASSERT_TRUE(setUp(twin)) << twin;
        if (extraPieceInHighSlot()) {
          ASSERT_TRUE(setUp(fen));
          continue;
        }
        ASSERT_EQ(eval(2), a) << fen << " | " << twin;
        ASSERT_EQ(verdict(), v) << fen;
        ASSERT_TRUE(setUp(fen));
        ++positions;
      }
    }
  }
  EXPECT_GT(positions, 500);
}

// The same along a line of made moves, as the search sees it: lazy exits
// against the parent's score, narrow windows, in-check nodes.
TEST(EvalRandomGames, AlongAMadeLine) {
  uint32_t seed = 777;
  for (int game = 0; game < 20; ++game) {
    ASSERT_TRUE(setUp("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1"));
    ASSERT_TRUE(evalCacheResize(1 << 10));
    eval(EvalFullDepth, 1);
    int made = 0;
    for (int ply = 2; ply < MaxPly - 1; ++ply) {
      if (!makeRandomMove(&seed)) break;
      ++made;
      const int depth = static_cast<int>(nextRandomValue(&seed) % 5) - 2;
      const int alpha = static_cast<int>(nextRandomValue(&seed) % 2000) - 1000;
      const int v = evaluate(static_cast<int>(pos.sideToMove), ply, depth, alpha, alpha + 1);
      ASSERT_TRUE(attackTablesAgree());
      ASSERT_LE(v < 0 ? -v : v, EvalLimit);
      ASSERT_EQ(pos.plyTop->staticEval, v);
    }
    while (made--) unmakeMove();
    evalCacheResize(0);
  }
}

// The pawn term keeps what depends on the pawns alone per pawn structure.
// Along random games the same structure meets other pieces, kings and
// material, so every score taken with the table as the games left it must
// equal the score of a fresh analysis.
TEST(EvalRandomGames, PawnStructureTableAgreesWithAFreshAnalysis) {
  const char* starts[] = {"r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
                          "2kr3r/ppp2ppp/2n5/3qp3/3P4/2P2N2/PP3PPP/R2Q1RK1 w - - 0 1",
                          "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
                          "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1"};
  uint32_t seed = 4242;
  int reused = 0;
  for (const char* start : starts) {
    ASSERT_TRUE(setUp(start));
    pawnCacheClear();
    for (int game = 0; game < 8; ++game) {
      ASSERT_TRUE(setUp(start));
      int made = 0;
      for (int ply = 0; ply < 40; ++ply) {
        uint8_t pawnsBefore[2][10];
        std::memcpy(pawnsBefore, pos.pawnRanksOnFile, sizeof pawnsBefore);
        if (!makeRandomMove(&seed)) break;
        ++made;
        // The table holds the structure of the previous ply, seen with other pieces.
        if (std::memcmp(pawnsBefore, pos.pawnRanksOnFile, sizeof pawnsBefore) == 0) ++reused;
        for (int whiteToMove = 0; whiteToMove < 2; ++whiteToMove) {
          threatBest[0] = threatBest[1] = threatSecond[0] = threatSecond[1] = 0;
          const int kept = pawnTerm(whiteToMove);
          int32_t weights[2][2];
          std::memcpy(weights, bishopColourPawns, sizeof weights);
          const int keptThreats[2] = {threatBest[White], threatBest[Black]};
          threatBest[0] = threatBest[1] = threatSecond[0] = threatSecond[1] = 0;
          pawnCacheClear();
          ASSERT_EQ(pawnTerm(whiteToMove), kept) << movegentest::fenOf();
          ASSERT_EQ(std::memcmp(weights, bishopColourPawns, sizeof weights), 0) << movegentest::fenOf();
          ASSERT_EQ(threatBest[White], keptThreats[White]) << movegentest::fenOf();
          ASSERT_EQ(threatBest[Black], keptThreats[Black]) << movegentest::fenOf();
        }
      }
      while (made--) unmakeMove();
    }
  }
  EXPECT_GT(reused, 100);
}

}  // namespace
