// The evaluation driver: colour symmetry, the special material classes,
// scale factors, the evaluation range, the cache, stalemate and the lazy exit.
#include <gtest/gtest.h>

#include <fstream>
#include <utility>
#include <string>
#include <vector>

#include "board/makemove.h"
#include "board/movegen.h"
#include "engine/options.h"
#include "eval/terms.h"
#include "eval_test_support.h"

using namespace evaltest;

namespace {

const char* const startFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
const char* const kiwipete = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";

// A position and its colour-mirrored twin score the same for the side to
// move, in full and ordinary mode, with the same verdict: middlegames, the
// perft suites and the special endings.
TEST(EvalDriver, ColourSymmetry) {
  std::vector<std::string> fens = {
      startFen, kiwipete, "r1bq1rk1/pp2bppp/2n1pn2/2pp4/3P4/2PBPN2/PP1N1PPP/R1BQ1RK1 w - - 0 9",
      "2r2rk1/1b2qppp/p3pn2/1p6/3P4/P1NB1Q2/1P3PPP/2R2RK1 b - - 3 19", "8/5pk1/6p1/3P4/2P3P1/5K2/8/8 w - - 0 50",
      "4k3/8/4K3/4P3/8/8/8/8 w - - 0 1", "4k3/8/4K3/4P3/8/8/8/8 b - - 0 1", "7k/8/6K1/8/8/8/8/1Q6 w - - 0 1",
      "k7/8/2K5/8/8/8/8/4NB2 w - - 0 1", "k7/8/8/8/8/P7/2K5/2B5 w - - 0 1", "k7/8/8/8/8/P7/2K5/3B4 b - - 0 1",
      "8/5k2/8/3p4/8/2K5/1q6/8 w - - 0 1", "8/8/4k3/4p3/8/3K4/8/6Q1 b - - 0 1", "8/8/3k4/8/3P4/2K5/8/r6R w - - 0 1",
      "8/8/3k4/3P4/3P4/2K5/8/r6R b - - 0 1", "8/2b5/3k4/8/3P4/2K1B3/8/8 w - - 0 1",
      "8/p4k2/1p6/8/8/5PP1/4K3/8 w - - 0 1", "8/8/3k4/8/8/2NK4/4N3/8 w - - 0 1", "8/8/3k4/8/8/3K4/3B4/1r6 w - - 0 1",
      "8/8/3k1n2/8/8/3K4/3B4/1R6 b - - 0 1", "8/p7/3k4/8/8/2BK4/8/8 w - - 0 1", "8/8/3k4/8/P7/8/8/2B4K w - - 0 1",
      "R7/P5k1/8/8/8/8/r7/4K3 w - - 0 1", "7R/7P/1k6/8/8/8/7r/4K3 b - - 0 1", "8/2b5/5k2/8/3P4/2KB4/8/8 b - - 0 1"};
  for (const auto& [file, limit] : {std::pair{"perftsuite.epd", 60}, std::pair{"cpw-extra.epd", 20}}) {
    std::ifstream in(std::string(BRAXEN_DATA_DIR) + "/perft/" + file);
    int n = 0;
    for (std::string line; n < limit && std::getline(in, line);)
      if (line.find(';') != std::string::npos) fens.push_back(line.substr(0, line.find(';'))), ++n;
  }
  int checked = 0;
  for (const std::string& fen : fens) {
    if (!setUp(fen)) continue;
    const int full = eval(EvalFullDepth), plain = eval(1);
    const uint32_t v = verdict();
    const std::string twin = mirrorFen(fen);
    ASSERT_TRUE(setUp(twin)) << twin;
    EXPECT_EQ(eval(EvalFullDepth), full) << fen << " | " << twin;
    EXPECT_EQ(eval(1), plain) << fen << " | " << twin;
    EXPECT_EQ(verdict(), v) << fen;
    ++checked;
  }
  EXPECT_GT(checked, 60);
}

// Certain draws score the material balance >> 7 with the draw verdict; two
// knights only when the lone king is not already on the edge.
TEST(EvalDriver, CertainDrawsByMaterial) {
  const struct { const char* fen; int score; uint32_t verdict; } cases[] = {
      {"8/8/4k3/8/8/3K4/8/8 w - - 0 1", 0, EvalMaterialDraw},
      {"8/8/4k3/8/8/3KN3/8/8 w - - 0 1", 416 >> 7, EvalMaterialDraw},
      {"8/8/4k3/8/8/3KN3/8/8 b - - 0 1", -(416 >> 7) - 1, EvalMaterialDraw},
      {"8/8/2b1k3/8/8/3K4/8/8 w - - 0 1", -(416 >> 7) - 1, EvalMaterialDraw},
      {"8/8/2b1k3/8/8/3K4/8/8 b - - 0 1", 416 >> 7, EvalMaterialDraw},
      {"8/8/8/4k3/8/2K5/3NN3/8 w - - 0 1", 832 >> 7, EvalMaterialDraw},
      {"k7/8/2K5/8/3NN3/8/8/8 w - - 0 1", 0, 0}};
  for (const auto& c : cases) {
    ASSERT_TRUE(setUp(c.fen)) << c.fen;
    EXPECT_EQ(eval(1), c.score) << c.fen;
    EXPECT_EQ(verdict(), c.verdict) << c.fen;
  }
}

// A side without pawns and with at most a minor piece cannot win: its
// favourable scores are scaled to nothing.
TEST(EvalDriver, LoneMinorNeverScoresAWin) {
  for (const char* fen : {"8/8/4k3/8/8/3K2p1/3B4/8 w - - 0 1", "8/4k3/8/8/1N6/3K4/p7/8 w - - 0 1",
                          "8/8/4k3/8/8/3K2p1/3B4/8 b - - 0 1"}) {
    ASSERT_TRUE(setUp(fen)) << fen;
    const int v = eval(1);
    EXPECT_LE(pos.material[pos.sideToMove] == 416 ? v : -v, 0) << fen;
  }
}

// Nine queens: 11232 units of material stay inside the evaluation range,
// far from the mate scores, for either side and in every mode.
TEST(EvalDriver, HugeMaterialStaysBelowTheMateRange) {
  for (const char* fen : {"8/8/8/7k/8/QQQ5/QQQ5/QQQK4 w - - 0 1", "8/8/8/7k/8/QQQ5/QQQ5/QQQK4 b - - 0 1",
                          "qqqk4/qqq5/qqq5/8/7K/8/8/8 w - - 0 1"}) {
    ASSERT_TRUE(setUp(fen)) << fen;
    for (int depth : {EvalFullDepth, 3, 0}) {
      const int v = eval(depth, 2, -16384, 16384);
      EXPECT_LE(v < 0 ? -v : v, EvalLimit) << fen;
      EXPECT_LT(EvalLimit, ScoreMateThreshold);
      const int stored = pos.plyTop->staticEval;
      EXPECT_LE(stored < 0 ? -stored : stored, EvalLimit) << fen;
    }
  }
}

TEST(EvalDriver, StalemateOfABareOrBlockedKing) {
  const struct { const char* fen; bool stalemate; } cases[] = {
      {"7k/5Q2/6K1/8/8/8/8/8 b - - 0 1", true},
      {"7k/5Q2/6K1/8/8/p7/P7/8 b - - 0 1", true},   // its pawn blocked
      {"7k/5Q2/6K1/8/8/p7/8/8 b - - 0 1", false},   // the pawn can move
      {"7k/5Q2/6K1/8/8/p7/PP6/8 b - - 0 1", false},  // or capture
      {"7k/6Q1/6K1/8/8/8/8/8 b - - 0 1", false}};   // in check
  for (const auto& c : cases) {
    ASSERT_TRUE(setUp(c.fen)) << c.fen;
    const int v = eval(1);
    EXPECT_EQ(verdict() == EvalStalemate, c.stalemate) << c.fen;
    if (c.stalemate) EXPECT_EQ(v, 0) << c.fen;
  }
}

TEST(EvalDriver, CacheReturnsTheStoredResult) {
  ASSERT_TRUE(evalCacheResize(1 << 12));
  evalCacheClear();
  ASSERT_TRUE(setUp(kiwipete));
  const int first = eval(1);
  const PlyRecord before = *pos.plyTop;
  ASSERT_TRUE(before.flags & EvalFullRan);
  pos.plyTop->staticEval = 0;
  pos.plyTop->threatMeasure = 0;
  EXPECT_EQ(eval(1), first);
  EXPECT_EQ(pos.plyTop->staticEval, before.staticEval);
  EXPECT_EQ(pos.plyTop->threatMeasure, before.threatMeasure);
  EXPECT_EQ(pos.plyTop->flags & 0xFFF, before.flags & 0xFFF);
  // A hit really comes from the table: a changed score shows through, and
  // an entry whose check word does not match is ignored.
  const uint32_t hi = static_cast<uint32_t>(pos.hashKey >> 32);
  EvalCacheEntry& e = evalCache[pos.sideToMove][hi & evalCacheMask];
  e.word[2] = (static_cast<uint32_t>(first + 100 + 8192) << 16) | (e.word[2] & 0xFFFF);
  e.word[0] = hi ^ e.word[2];
  EXPECT_EQ(eval(1), first + 100);
  e.word[0] ^= 1;
  EXPECT_EQ(eval(1), first);
  // The other side to move has its own table.
  const EvalCacheEntry& other = evalCache[pos.sideToMove ^ 1][hi & evalCacheMask];
  EXPECT_EQ(other.word[0] ^ other.word[2], 0u);
  evalCacheResize(0);
}

TEST(EvalDriver, LazyExitUsesTheParentScore) {
  ASSERT_TRUE(setUp(startFen));
  eval(1);
  const int parent = pos.plyTop->staticEval;
  makeMove(parseMoveText("e2e4"));
  pos.plyTop->flags &= EvalInCheck;
  EXPECT_EQ(evaluate(static_cast<int>(pos.sideToMove), 2, 0, 6000, 6001), 16 - parent - pos.lastMoveGain);
  EXPECT_FALSE(pos.plyTop->flags & EvalFullRan);
  // Inside the window the full evaluation runs.
  pos.plyTop->flags &= EvalInCheck;
  evaluate(static_cast<int>(pos.sideToMove), 2, 0, -6000, 6000);
  EXPECT_TRUE(pos.plyTop->flags & EvalFullRan);
  unmakeMove();
}

TEST(EvalDriver, PhaseAndMaterialBias) {
  ASSERT_TRUE(setUp(startFen));
  EXPECT_EQ(endgamePhase, 16);
  ASSERT_TRUE(setUp("r3k3/pppp4/8/8/8/8/PPPP4/RQ2K3 w - - 0 1"));  // under the middlegame threshold
  EXPECT_EQ(endgamePhase, 1);
  // A knight and five pawns against eight pawns, and its mirror image.
  ASSERT_TRUE(setUp("4k3/pppppppp/8/8/8/8/PPPPP3/1N2K3 w - - 0 1"));
  EXPECT_EQ(materialBias, 147);
  ASSERT_TRUE(setUp(mirrorFen("4k3/pppppppp/8/8/8/8/PPPPP3/1N2K3 w - - 0 1")));
  EXPECT_EQ(materialBias, -147);
  // Without pawns on the side ahead only the rook pair counts.
  ASSERT_TRUE(setUp("r3k2r/8/8/8/8/8/8/4K3 w - - 0 1"));
  EXPECT_EQ(materialBias, 42);
  ASSERT_TRUE(setUp("r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w - - 0 1"));
  EXPECT_EQ(materialBias, 0);
}

}  // namespace
