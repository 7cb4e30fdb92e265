// Endgame handling: mating drives against a bare king, the exact king and
// pawn ending, the wrong-coloured bishop, and colour symmetry of them all.
#include <gtest/gtest.h>

#include <string>

#include "eval/terms.h"
#include "eval_test_support.h"

using namespace evaltest;

namespace {

int sq(const char* name) { return (name[1] - '1') * 8 + (name[0] - 'a'); }

TEST(EvalEndgame, ExactKingAndPawnResults) {
  // King on the sixth in front of its pawn wins whoever moves.
  EXPECT_TRUE(kpkWon(sq("e6"), sq("e5"), sq("e8"), true));
  EXPECT_TRUE(kpkWon(sq("e6"), sq("e5"), sq("e8"), false));
  // Pawn on the seventh, defender in front: stalemate with Black to move,
  // a win with White to move (Kd6 Kf7 Kd7).
  EXPECT_FALSE(kpkWon(sq("e6"), sq("e7"), sq("e8"), false));
  EXPECT_TRUE(kpkWon(sq("e6"), sq("e7"), sq("e8"), true));
  // Rook pawn with the defender in the corner is drawn.
  EXPECT_FALSE(kpkWon(sq("c4"), sq("a4"), sq("a8"), true));
  EXPECT_FALSE(kpkWon(sq("b6"), sq("a6"), sq("a8"), true));
  // Outside the square of the pawn.
  EXPECT_TRUE(kpkWon(sq("h1"), sq("a5"), sq("h4"), true));
  EXPECT_TRUE(kpkWon(sq("h1"), sq("a5"), sq("h4"), false));
  // The king catches the pawn.
  EXPECT_FALSE(kpkWon(sq("h1"), sq("a5"), sq("c5"), false));
  // Files e..h are the mirror of a..d.
  EXPECT_EQ(kpkWon(sq("d6"), sq("d5"), sq("d8"), false), kpkWon(sq("e6"), sq("e5"), sq("e8"), false));
}

TEST(EvalEndgame, KingAndPawnVerdictsThroughTheDriver) {
  ASSERT_TRUE(setUp("4k3/8/4K3/4P3/8/8/8/8 w - - 0 1"));
  const int won = eval(1);
  EXPECT_EQ(pos.plyTop->flags & EvalVerdictMask, EvalTablebaseWin);
  EXPECT_GT(won, 1000);
  ASSERT_TRUE(setUp("4k3/8/4K3/4P3/8/8/8/8 b - - 0 1"));
  EXPECT_LT(eval(1), -1000);
  EXPECT_EQ(pos.plyTop->flags & EvalVerdictMask, EvalTablebaseLoss);
  ASSERT_TRUE(setUp("k7/8/8/8/P1K5/8/8/8 w - - 0 1"));
  EXPECT_EQ(eval(1), 128 >> 7);
  EXPECT_EQ(pos.plyTop->flags & EvalVerdictMask, EvalTablebaseDraw);
}

TEST(EvalEndgame, QueenMatingDriveValue) {
  // 1248 + 12 material, bare-king drive 100 - 16*2 - 1 = 67, mating
  // evaluator 1460 + 220 - (1 + 8 + 16*2 + 16*1) = 1623.
  ASSERT_TRUE(setUp("7k/8/6K1/8/8/8/8/1Q6 w - - 0 1"));
  EXPECT_EQ(eval(1), 1260 + 67 + 1623);
}

TEST(EvalEndgame, RookMatingDriveRewardsTheEdge) {
  ASSERT_TRUE(setUp("8/8/8/3k4/8/3K4/8/R7 w - - 0 1"));
  const int centre = eval(1);
  ASSERT_TRUE(setUp("3k4/8/3K4/8/8/8/8/R7 w - - 0 1"));
  const int edge = eval(1);
  EXPECT_GT(edge, centre + 50);
  ASSERT_TRUE(setUp("3k4/8/8/8/8/8/8/R2K4 w - - 0 1"));
  EXPECT_GT(edge, eval(1));  // nearer kings score more
}

TEST(EvalEndgame, BishopAndKnightDriveToTheBishopsCorner) {
  ASSERT_TRUE(setUp("k7/8/2K5/8/8/8/8/4NB2 w - - 0 1"));  // light bishop, king on a8
  EXPECT_EQ(loneKingTable, loneKingLightCorners);
  EXPECT_EQ(loneKingTable[sq("a8")], 1);
  EXPECT_EQ(loneKingTable[sq("a1")], 90);
  const int rightCorner = eval(1);
  ASSERT_TRUE(setUp("8/8/8/8/8/2K5/8/k3NB2 w - - 0 1"));
  const int wrongCorner = eval(1);
  EXPECT_GT(rightCorner, wrongCorner + 100);
  ASSERT_TRUE(setUp("k7/8/2K5/8/8/8/8/4N1B1 w - - 0 1"));  // dark bishop
  EXPECT_EQ(loneKingTable, loneKingDarkCorners);
  ASSERT_TRUE(setUp("k7/8/2K5/8/8/8/8/4R3 w - - 0 1"));
  EXPECT_EQ(loneKingTable, loneKingCentre);
}

TEST(EvalEndgame, WrongBishopRookPawnIsDrawn) {
  ASSERT_TRUE(setUp("k7/8/8/8/8/P7/2K5/2B5 w - - 0 1"));  // dark bishop, a-pawn
  EXPECT_EQ(eval(1), 544 >> 7);
  EXPECT_EQ(pos.plyTop->flags & EvalVerdictMask, EvalTablebaseDraw);
  ASSERT_TRUE(setUp("k7/8/8/8/8/P7/2K5/3B4 w - - 0 1"));  // light bishop: winning
  EXPECT_GT(eval(1), 500);
  EXPECT_EQ(pos.plyTop->flags & EvalVerdictMask, 0u);
}

TEST(EvalEndgame, WrongBishopScalesDownWhenTheDefenderIsCloser) {
  // Dark bishop, a-pawn, defender three squares from a8, own king far away:
  // scale 1/16 of a won-looking score.
  ASSERT_TRUE(setUp("8/8/3k4/8/P7/8/8/2B4K w - - 0 1"));
  const int far = eval(1);
  EXPECT_GT(far, 0);
  EXPECT_LT(far, 100);
  // With the own king next to the corner the ending is played for a win.
  ASSERT_TRUE(setUp("8/8/1K1k4/8/P7/8/8/2B5 w - - 0 1"));
  EXPECT_GT(eval(1), 400);
}

TEST(EvalEndgame, BishopAndPawnAgainstAMinor) {
  // Opposite bishops with the pawn short of its fifth rank: both sides are
  // scaled to nothing, a material draw seen at positive depth.
  ASSERT_TRUE(setUp("8/2b5/5k2/8/3P4/2KB4/8/8 w - - 0 1"));
  EXPECT_EQ(eval(1), 128 >> 7);
  EXPECT_TRUE(pos.plyTop->flags & EvalMaterialDrawDepth);
  // The defending king in front of the pawn holds against same-coloured bishops.
  ASSERT_TRUE(setUp("8/2b5/3k4/8/3P4/2K1B3/8/8 w - - 0 1"));
  EXPECT_EQ(eval(1), 128 >> 7);
  // King away from the pawn's path: a normal, favourable score.
  ASSERT_TRUE(setUp("7k/2b5/8/8/3P4/2K1B3/8/8 w - - 0 1"));
  EXPECT_GT(eval(1), 1);
  EXPECT_FALSE(pos.plyTop->flags & EvalMaterialDrawDepth);
}

TEST(EvalEndgame, RookInFrontOfItsSeventhRankPawnIsDrawn) {
  // Rook a8, pawn a7, defending king on g7 and rook behind the pawn.
  ASSERT_TRUE(setUp("R7/P5k1/8/8/8/8/r7/4K3 w - - 0 1"));
  const int held = eval(1);
  EXPECT_LT(held, 100);
  // The strong king next to the pawn breaks the fortress.
  ASSERT_TRUE(setUp("R7/P5k1/1K6/8/8/8/r7/8 w - - 0 1"));
  EXPECT_GT(eval(1), held + 200);
}

// Every ending evaluates the same with colours exchanged.
TEST(EvalEndgame, ColourSymmetry) {
  const char* fens[] = {
      "4k3/8/4K3/4P3/8/8/8/8 w - - 0 1",     "4k3/8/4K3/4P3/8/8/8/8 b - - 0 1",
      "7k/8/6K1/8/8/8/8/1Q6 w - - 0 1",       "k7/8/2K5/8/8/8/8/4NB2 w - - 0 1",
      "k7/8/8/8/8/P7/2K5/2B5 w - - 0 1",     "k7/8/8/8/8/P7/2K5/3B4 b - - 0 1",
      "8/5k2/8/3p4/8/2K5/1q6/8 w - - 0 1",   "8/8/4k3/4p3/8/3K4/8/6Q1 b - - 0 1",
      "8/8/3k4/8/3P4/2K5/8/r6R w - - 0 1",   "8/8/3k4/3P4/3P4/2K5/8/r6R b - - 0 1",
      "8/2b5/3k4/8/3P4/2K1B3/8/8 w - - 0 1", "8/p4k2/1p6/8/8/5PP1/4K3/8 w - - 0 1",
      "8/8/3k4/8/8/2NK4/4N3/8 w - - 0 1",    "8/8/3k4/8/8/3K4/3B4/1r6 w - - 0 1",
      "8/8/3k1n2/8/8/3K4/3B4/1R6 b - - 0 1", "8/p7/3k4/8/8/2BK4/8/8 w - - 0 1",
      "8/8/3k4/8/P7/8/8/2B4K w - - 0 1",     "R7/P5k1/8/8/8/8/r7/4K3 w - - 0 1",
      "7R/7P/1k6/8/8/8/7r/4K3 b - - 0 1",     "8/2b5/5k2/8/3P4/2KB4/8/8 b - - 0 1",
  };
  for (const char* fen : fens) {
    ASSERT_TRUE(setUp(fen)) << fen;
    const int a = eval(1);
    const uint32_t verdict = pos.plyTop->flags & EvalVerdictMask;
    const std::string twin = mirrorFen(fen);
    ASSERT_TRUE(setUp(twin)) << twin;
    EXPECT_EQ(eval(1), a) << fen << " | " << twin;
    EXPECT_EQ(pos.plyTop->flags & EvalVerdictMask, verdict) << fen;
  }
}

}  // namespace
