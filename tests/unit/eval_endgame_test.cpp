// Endgame handling: the exact king and pawn ending, mating drives against
// a bare king and the drawn or scaled-down special endings. Their colour
// symmetry is part of EvalDriver.ColourSymmetry.
#include <gtest/gtest.h>

#include "eval/terms.h"
#include "eval_test_support.h"

using namespace evaltest;

namespace {

TEST(EvalEndgame, ExactKingAndPawnResults) {
  const struct { const char *king, *pawn, *defender; bool strongToMove, won; } cases[] = {
      {"e6", "e5", "e8", true, true},  {"e6", "e5", "e8", false, true},  // king on the sixth in front
      {"d6", "d5", "d8", false, true},                                   // files a..d mirror e..h
      {"e6", "e7", "e8", false, false},                                  // stalemate with Black to move
      {"e6", "e7", "e8", true, true},                                    // Kd6 Kf7 Kd7
      {"c4", "a4", "a8", true, false}, {"b6", "a6", "a8", true, false},  // rook pawn, defender in the corner
      {"h1", "a5", "h4", true, true},  {"h1", "a5", "h4", false, true},  // outside the square
      {"h1", "a5", "c5", false, false}};                                 // the king catches the pawn
  for (const auto& c : cases)
    EXPECT_EQ(kpkWon(sq(c.king), sq(c.pawn), sq(c.defender), c.strongToMove), c.won)
        << c.king << " " << c.pawn << " " << c.defender << " " << c.strongToMove;
}

TEST(EvalEndgame, KingAndPawnVerdictsThroughTheDriver) {
  ASSERT_TRUE(setUp("4k3/8/4K3/4P3/8/8/8/8 w - - 0 1"));
  EXPECT_GT(eval(1), 1000);
  EXPECT_EQ(verdict(), EvalTablebaseWin);
  ASSERT_TRUE(setUp("4k3/8/4K3/4P3/8/8/8/8 b - - 0 1"));
  EXPECT_LT(eval(1), -1000);
  EXPECT_EQ(verdict(), EvalTablebaseLoss);
  ASSERT_TRUE(setUp("k7/8/8/8/P1K5/8/8/8 w - - 0 1"));
  EXPECT_EQ(eval(1), 128 >> 7);
  EXPECT_EQ(verdict(), EvalTablebaseDraw);
}

TEST(EvalEndgame, MatingDrivesRewardTheEdgeAndTheRightCorner) {
  ASSERT_TRUE(setUp("8/8/8/3k4/8/3K4/8/R7 w - - 0 1"));
  const int centre = eval(1);
  ASSERT_TRUE(setUp("3k4/8/3K4/8/8/8/8/R7 w - - 0 1"));
  const int edge = eval(1);
  EXPECT_GT(edge, centre + 50);
  ASSERT_TRUE(setUp("3k4/8/8/8/8/8/8/R2K4 w - - 0 1"));
  EXPECT_GT(edge, eval(1)) << "nearer kings score more";
  // Bishop and knight drive to a corner of the bishop's colour.
  ASSERT_TRUE(setUp("k7/8/2K5/8/8/8/8/4NB2 w - - 0 1"));
  EXPECT_EQ(loneKingTable, loneKingLightCorners);
  const int rightCorner = eval(1);
  ASSERT_TRUE(setUp("8/8/8/8/8/2K5/8/k3NB2 w - - 0 1"));
  EXPECT_GT(rightCorner, eval(1) + 100);
  ASSERT_TRUE(setUp("k7/8/2K5/8/8/8/8/4N1B1 w - - 0 1"));
  EXPECT_EQ(loneKingTable, loneKingDarkCorners);
  ASSERT_TRUE(setUp("k7/8/2K5/8/8/8/8/4R3 w - - 0 1"));
  EXPECT_EQ(loneKingTable, loneKingCentre);
}

TEST(EvalEndgame, WrongBishopRookPawn) {
  ASSERT_TRUE(setUp("k7/8/8/8/8/P7/2K5/2B5 w - - 0 1"));  // dark bishop, a-pawn: drawn
  EXPECT_EQ(eval(1), 544 >> 7);
  EXPECT_EQ(verdict(), EvalTablebaseDraw);
  ASSERT_TRUE(setUp("k7/8/8/8/8/P7/2K5/3B4 w - - 0 1"));  // light bishop: winning
  EXPECT_GT(eval(1), 500);
  EXPECT_EQ(verdict(), 0u);
  // Defender closer to the corner than the own king: scaled far down.
  ASSERT_TRUE(setUp("8/8/3k4/8/P7/8/8/2B4K w - - 0 1"));
  const int far = eval(1);
  EXPECT_GT(far, 0);
  EXPECT_LT(far, 100);
  ASSERT_TRUE(setUp("8/8/1K1k4/8/P7/8/8/2B5 w - - 0 1"));  // own king next to the corner
  EXPECT_GT(eval(1), 400);
}

TEST(EvalEndgame, BishopAndPawnAgainstAMinor) {
  // Opposite bishops with the pawn short of its fifth rank: a material draw
  // seen at positive depth.
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
  ASSERT_TRUE(setUp("R7/P5k1/8/8/8/8/r7/4K3 w - - 0 1"));
  const int held = eval(1);
  EXPECT_LT(held, 100);
  ASSERT_TRUE(setUp("R7/P5k1/1K6/8/8/8/r7/8 w - - 0 1"));  // the strong king breaks the fortress
  EXPECT_GT(eval(1), held + 200);
}

}  // namespace
