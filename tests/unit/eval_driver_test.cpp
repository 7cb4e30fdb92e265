// The evaluation driver: colour symmetry, the special material classes,
// scale factors, the evaluation range, the cache, stalemate and the lazy exit.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "board/makemove.h"
#include "board/movegen.h"
#include "engine/options.h"
#include "eval/terms.h"
#include "eval_test_support.h"

using namespace evaltest;

namespace {

std::vector<std::string> suitePositions(const char* file, size_t limit) {
  std::vector<std::string> out;
  std::ifstream in(std::string(BRAXEN_DATA_DIR) + "/perft/" + file);
  std::string line;
  while (std::getline(in, line) && out.size() < limit) {
    const size_t cut = line.find(';');
    std::string fen = line.substr(0, cut);
    while (!fen.empty() && fen.back() == ' ') fen.pop_back();
    if (!fen.empty()) out.push_back(fen);
  }
  return out;
}

const std::vector<std::string> middlegames = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r1bq1rk1/pp2bppp/2n1pn2/2pp4/3P4/2PBPN2/PP1N1PPP/R1BQ1RK1 w - - 0 9",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "2r2rk1/1b2qppp/p3pn2/1p6/3P4/P1NB1Q2/1P3PPP/2R2RK1 b - - 3 19",
    "8/5pk1/6p1/3P4/2P3P1/5K2/8/8 w - - 0 50",
    "6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1",
};

// A position and its colour-mirrored twin score the same for the side to
// move, in full mode and in the ordinary mode.
TEST(EvalDriver, ColourSymmetry) {
  std::vector<std::string> fens = middlegames;
  for (const auto& f : suitePositions("perftsuite.epd", 60)) fens.push_back(f);
  for (const auto& f : suitePositions("cpw-extra.epd", 20)) fens.push_back(f);
  int checked = 0;
  for (const std::string& fen : fens) {
    if (!setUp(fen)) continue;
    const int full = eval(EvalFullDepth);
    const int plain = eval(1);
    const std::string twin = mirrorFen(fen);
    ASSERT_TRUE(setUp(twin)) << twin;
    EXPECT_EQ(eval(EvalFullDepth), full) << fen << " | " << twin;
    EXPECT_EQ(eval(1), plain) << fen << " | " << twin;
    ++checked;
  }
  EXPECT_GT(checked, 40);
}

TEST(EvalDriver, CertainDrawsByMaterial) {
  const char* fens[] = {"8/8/4k3/8/8/3K4/8/8 w - - 0 1", "8/8/4k3/8/8/3K4/8/8 b - - 0 1",
                        "8/8/4k3/8/8/3KN3/8/8 w - - 0 1", "8/8/4k3/8/8/3KN3/8/8 b - - 0 1",
                        "8/8/2b1k3/8/8/3K4/8/8 w - - 0 1", "8/8/2b1k3/8/8/3K4/8/8 b - - 0 1"};
  for (const char* fen : fens) {
    ASSERT_TRUE(setUp(fen)) << fen;
    const int m = pos.material[pos.sideToMove] - pos.material[pos.sideToMove ^ 1];
    EXPECT_EQ(eval(1), m >> 7) << fen;
    EXPECT_EQ(pos.plyTop->flags & EvalVerdictMask, EvalMaterialDraw) << fen;
  }
}

TEST(EvalDriver, TwoKnightsDrawOnlyWithoutDecidedFlagOnTheEdge) {
  ASSERT_TRUE(setUp("k7/8/2K5/8/3NN3/8/8/8 w - - 0 1"));  // lone king in the corner
  EXPECT_EQ(eval(1), 0);
  EXPECT_EQ(pos.plyTop->flags & EvalVerdictMask, 0u);
  ASSERT_TRUE(setUp("8/8/8/4k3/8/2K5/3NN3/8 w - - 0 1"));  // lone king in the centre
  EXPECT_EQ(eval(1), (832 >> 7));
  EXPECT_EQ(pos.plyTop->flags & EvalVerdictMask, EvalMaterialDraw);
}

// A side without pawns and with at most a minor piece cannot win: its
// favourable scores are scaled to nothing.
TEST(EvalDriver, LoneMinorNeverScoresAWin) {
  const char* fens[] = {"8/8/4k3/8/8/3K2p1/3B4/8 w - - 0 1", "8/4k3/8/8/1N6/3K4/p7/8 w - - 0 1",
                        "8/8/4k3/8/8/3K2p1/3B4/8 b - - 0 1"};
  for (const char* fen : fens) {
    ASSERT_TRUE(setUp(fen)) << fen;
    const int v = eval(1);
    const bool minorToMove = pos.material[pos.sideToMove] == 416;
    if (minorToMove) EXPECT_LE(v, 0) << fen;
    else EXPECT_GE(v, 0) << fen;
  }
}

// Nine queens: 11232 units of material stay inside the evaluation range,
// far from the mate scores, for either side and in every mode.
TEST(EvalDriver, HugeMaterialStaysBelowTheMateRange) {
  const char* fens[] = {"8/8/8/7k/8/QQQ5/QQQ5/QQQK4 w - - 0 1", "8/8/8/7k/8/QQQ5/QQQ5/QQQK4 b - - 0 1",
                        "qqqk4/qqq5/qqq5/8/7K/8/8/8 w - - 0 1"};
  for (const char* fen : fens) {
    ASSERT_TRUE(setUp(fen)) << fen;
    for (int depth : {EvalFullDepth, 3, 0}) {
      const int v = eval(depth, 2, -16384, 16384);
      EXPECT_LT(v, ScoreMateThreshold) << fen;
      EXPECT_GT(v, -ScoreMateThreshold) << fen;
      EXPECT_LE(v < 0 ? -v : v, EvalLimit) << fen;
      EXPECT_EQ(pos.plyTop->staticEval, static_cast<int16_t>(pos.plyTop->staticEval));
      EXPECT_LE(pos.plyTop->staticEval < 0 ? -pos.plyTop->staticEval : pos.plyTop->staticEval, EvalLimit);
    }
  }
}

TEST(EvalDriver, StalemateOfABareOrBlockedKing) {
  ASSERT_TRUE(setUp("7k/5Q2/6K1/8/8/8/8/8 b - - 0 1"));
  EXPECT_EQ(eval(1), 0);
  EXPECT_EQ(pos.plyTop->flags & EvalVerdictMask, EvalStalemate);
  // King boxed in and its pawn blocked.
  ASSERT_TRUE(setUp("7k/5Q2/6K1/8/8/p7/P7/8 b - - 0 1"));
  eval(1);
  EXPECT_EQ(pos.plyTop->flags & EvalVerdictMask, EvalStalemate);
  // The pawn can move, or can capture: no stalemate.
  ASSERT_TRUE(setUp("7k/5Q2/6K1/8/8/p7/8/8 b - - 0 1"));
  eval(1);
  EXPECT_NE(pos.plyTop->flags & EvalVerdictMask, EvalStalemate);
  ASSERT_TRUE(setUp("7k/5Q2/6K1/8/8/p7/PP6/8 b - - 0 1"));
  eval(1);
  EXPECT_NE(pos.plyTop->flags & EvalVerdictMask, EvalStalemate);
  // In check it is never stalemate.
  ASSERT_TRUE(setUp("7k/6Q1/6K1/8/8/8/8/8 b - - 0 1"));
  eval(1);
  EXPECT_NE(pos.plyTop->flags & EvalVerdictMask, EvalStalemate);
}

TEST(EvalDriver, CacheReturnsTheStoredResult) {
  ASSERT_TRUE(evalCacheResize(1 << 12));
  evalCacheClear();
  ASSERT_TRUE(setUp(middlegames[2]));
  const int first = eval(1);
  const PlyRecord before = *pos.plyTop;
  ASSERT_TRUE(before.flags & EvalFullRan);
  pos.plyTop->staticEval = 0;
  pos.plyTop->threatMeasure = 0;
  EXPECT_EQ(eval(1), first);
  EXPECT_EQ(pos.plyTop->staticEval, before.staticEval);
  EXPECT_EQ(pos.plyTop->threatMeasure, before.threatMeasure);
  EXPECT_EQ(pos.plyTop->flags & 0xFFF, before.flags & 0xFFF);

  // A hit really comes from the table: a changed score shows through...
  const uint32_t hi = static_cast<uint32_t>(pos.hashKey >> 32);
  EvalCacheEntry& e = evalCache[pos.sideToMove][hi & evalCacheMask];
  const EvalCacheEntry saved = e;
  e.word[2] = (static_cast<uint32_t>(first + 100 + 8192) << 16) | (e.word[2] & 0xFFFF);
  e.word[0] = hi ^ e.word[2];
  EXPECT_EQ(eval(1), first + 100);
  // ...and an entry whose check word does not match is ignored.
  e.word[0] ^= 1;
  EXPECT_EQ(eval(1), first);
  e = saved;
  // The other side to move has its own table.
  EXPECT_EQ(evalCache[pos.sideToMove ^ 1][hi & evalCacheMask].word[0] ^
                evalCache[pos.sideToMove ^ 1][hi & evalCacheMask].word[2],
            0u);
  evalCacheResize(0);
}

TEST(EvalDriver, LazyExitUsesTheParentScore) {
  ASSERT_TRUE(setUp(middlegames[0]));
  eval(1);
  const int parent = pos.plyTop->staticEval;
  makeMove(parseMoveText("e2e4"));
  pos.plyTop->flags &= EvalInCheck;
  const int v = evaluate(static_cast<int>(pos.sideToMove), 2, 0, 6000, 6001);
  EXPECT_EQ(v, 16 - parent - pos.lastMoveGain);
  EXPECT_FALSE(pos.plyTop->flags & EvalFullRan);
  // Inside the window the full evaluation runs.
  pos.plyTop->flags &= EvalInCheck;
  evaluate(static_cast<int>(pos.sideToMove), 2, 0, -6000, 6000);
  EXPECT_TRUE(pos.plyTop->flags & EvalFullRan);
  unmakeMove();
}

TEST(EvalDriver, PhaseFollowsNonPawnMaterial) {
  ASSERT_TRUE(setUp(middlegames[0]));
  EXPECT_EQ(endgamePhase, 16);
  EXPECT_EQ(openingWeight, 1);
  ASSERT_TRUE(setUp("4k3/pppp4/8/8/8/8/PPPP4/R3K3 w - - 0 1"));
  EXPECT_EQ(endgamePhase, 1);
  ASSERT_TRUE(setUp("r3k3/pppp4/8/8/8/8/PPPP4/RQ2K3 w - - 0 1"));  // np = 2528 < 2605
  EXPECT_EQ(endgamePhase, 1);
  ASSERT_TRUE(setUp("rq2k3/pppp4/8/8/8/8/PPPP4/RQ2K3 w - - 0 1"));  // np = 3776
  EXPECT_EQ(endgamePhase, (3776 - 1858) / 384);
}

TEST(EvalDriver, MaterialBias) {
  // A knight and five pawns against eight pawns: hi = 4, lo = 8 - 1 = 7,
  // bias = 4 * 416 * 1024 / ((416 + 1024) * 8) = 147, under the cap of 208.
  ASSERT_TRUE(setUp("4k3/pppppppp/8/8/8/8/PPPPP3/1N2K3 w - - 0 1"));
  EXPECT_EQ(materialBias, 147);
  ASSERT_TRUE(setUp(mirrorFen("4k3/pppppppp/8/8/8/8/PPPPP3/1N2K3 w - - 0 1")));
  EXPECT_EQ(materialBias, -147);
  // Without pawns on the side ahead the bias is 0; two rooks cost 42.
  ASSERT_TRUE(setUp("r3k2r/8/8/8/8/8/8/4K3 w - - 0 1"));
  EXPECT_EQ(materialBias, 42);
  // With no difference in pieces only the rook pairs count.
  ASSERT_TRUE(setUp("r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w - - 0 1"));
  EXPECT_EQ(materialBias, 0);
}

}  // namespace
