// Endgame handling: the exact king and pawn ending, mating drives against
// a bare king and the drawn or scaled-down special endings. Their colour
// symmetry is part of EvalDriver.ColourSymmetry.
#include <gtest/gtest.h>

#include <cstdlib>

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

// Scores in a band, with the verdict and depth-draw flag they must carry (-1 = either).
TEST(EvalEndgame, VerdictsAndScales) {
  constexpr uint32_t AnyVerdict = ~0u;
  const struct { const char* fen; int low, high; uint32_t verdict; int drawAtDepth; } cases[] = {
      {"4k3/8/4K3/4P3/8/8/8/8 w - - 0 1", 1001, 99999, EvalTablebaseWin, -1},
      {"4k3/8/4K3/4P3/8/8/8/8 b - - 0 1", -99999, -1001, EvalTablebaseLoss, -1},
      {"k7/8/8/8/P1K5/8/8/8 w - - 0 1", 128 >> 7, 128 >> 7, EvalTablebaseDraw, -1},
      // Wrong bishop and rook pawn: drawn; the right bishop wins.
      {"k7/8/8/8/8/P7/2K5/2B5 w - - 0 1", 544 >> 7, 544 >> 7, EvalTablebaseDraw, -1},
      {"k7/8/8/8/8/P7/2K5/3B4 w - - 0 1", 501, 99999, 0, -1},
      // Defender nearer the corner than the own king: scaled far down; own king next to it: played for a win.
      {"8/8/3k4/8/P7/8/8/2B4K w - - 0 1", 1, 99, AnyVerdict, -1},
      {"8/8/1K1k4/8/P7/8/8/2B5 w - - 0 1", 401, 99999, AnyVerdict, -1},
      // Bishop and pawn against a bishop: opposite bishops short of the fifth
      // rank and a defending king in front of the pawn hold; a king away does not.
      {"8/2b5/5k2/8/3P4/2KB4/8/8 w - - 0 1", 128 >> 7, 128 >> 7, AnyVerdict, 1},
      {"8/2b5/3k4/8/3P4/2K1B3/8/8 w - - 0 1", 128 >> 7, 128 >> 7, AnyVerdict, -1},
      {"7k/2b5/8/8/3P4/2K1B3/8/8 w - - 0 1", 2, 99999, AnyVerdict, 0},
      // Rook in front of its seventh-rank pawn with the strong king away.
      {"R7/P5k1/8/8/8/8/r7/4K3 w - - 0 1", -99999, 99, AnyVerdict, -1}};
  for (const auto& c : cases) {
    ASSERT_TRUE(setUp(c.fen)) << c.fen;
    const int v = eval(1);
    EXPECT_GE(v, c.low) << c.fen;
    EXPECT_LE(v, c.high) << c.fen;
    if (c.verdict != AnyVerdict) EXPECT_EQ(verdict(), c.verdict) << c.fen;
    if (c.drawAtDepth >= 0) EXPECT_EQ((pos.plyTop->flags & EvalMaterialDrawDepth) != 0, c.drawAtDepth == 1) << c.fen;
  }
}

// Queen against a pawn on its seventh rank (verdicts of a deep search by an
// independent engine): a rook or bishop pawn held by its king against a
// distant king scores near the draw, the won set-ups stay clearly won.
TEST(EvalEndgame, QueenAgainstSeventhRankPawn) {
  const struct { const char* fen; bool drawn; } cases[] = {
      {"K7/8/8/8/8/3Q4/5pk1/8 w - - 0 1", true},    {"K7/8/8/8/8/4Q3/p7/1k6 w - - 0 1", true},
      {"3K4/8/8/8/4Q3/8/5p2/6k1 w - - 0 1", true},  {"8/8/8/8/2Q5/1K6/5pk1/8 b - - 0 1", true},
      {"8/2Q5/8/8/8/7K/p7/k7 b - - 0 1", true},     {"8/8/8/8/4Q3/8/3p3K/2k5 w - - 0 1", false},
      {"8/8/8/5Q2/8/1K6/6p1/5k2 b - - 0 1", false}, {"1K6/8/8/4Q3/8/k7/1p6/8 w - - 0 1", false},
      {"5Q2/8/8/1K6/8/3k4/4p3/8 w - - 0 1", false}, {"8/7K/8/3Q4/8/7p/7k/8 b - - 0 1", false}};
  for (const auto& c : cases) {
    for (const std::string& fen : {std::string(c.fen), mirrorFen(c.fen)}) {
      ASSERT_TRUE(setUp(fen)) << fen;
      const bool queenToMove = pos.material[pos.sideToMove] > pos.material[pos.sideToMove ^ 1];
      const int forQueen = queenToMove ? eval(1) : -eval(1);
      if (c.drawn) {
        EXPECT_LE(std::abs(forQueen), 64) << fen;
      } else {
        EXPECT_GE(forQueen, 400) << fen;
      }
    }
  }
}

// The first position of each pair scores more than the second by the margin.
TEST(EvalEndgame, DrivesAndFortresses) {
  const struct { const char *better, *worse; int margin; } pairs[] = {
      {"3k4/8/3K4/8/8/8/8/R7 w - - 0 1", "8/8/8/3k4/8/3K4/8/R7 w - - 0 1", 50},  // the edge
      {"3k4/8/3K4/8/8/8/8/R7 w - - 0 1", "3k4/8/8/8/8/8/8/R2K4 w - - 0 1", 0},   // nearer kings
      {"k7/8/2K5/8/8/8/8/4NB2 w - - 0 1", "8/8/8/8/8/2K5/8/k3NB2 w - - 0 1", 100},  // the bishop's corner
      {"R7/P5k1/1K6/8/8/8/r7/8 w - - 0 1", "R7/P5k1/8/8/8/8/r7/4K3 w - - 0 1", 200}};  // the king breaks in
  for (const auto& p : pairs) {
    ASSERT_TRUE(setUp(p.worse));
    const int worse = eval(1);
    ASSERT_TRUE(setUp(p.better));
    EXPECT_GT(eval(1), worse + p.margin) << p.better << " | " << p.worse;
  }
  // The lone king's table follows the bishop's colour.
  const struct { const char* fen; const int8_t* table; } drives[] = {
      {"k7/8/2K5/8/8/8/8/4NB2 w - - 0 1", loneKingLightCorners},
      {"k7/8/2K5/8/8/8/8/4N1B1 w - - 0 1", loneKingDarkCorners},
      {"k7/8/2K5/8/8/8/8/4R3 w - - 0 1", loneKingCentre}};
  for (const auto& d : drives) {
    ASSERT_TRUE(setUp(d.fen));
    EXPECT_EQ(loneKingTable, d.table) << d.fen;
  }
}

// Rook against rook and pawn: the strong side's scale in the drawing set-ups
// (16 = untouched) and the sign of its correction. Verdicts of the set-ups
// from endgame theory, checked with an independent engine.
TEST(EvalEndgame, RookAgainstRookAndPawn) {
  const struct { const char* fen; int scale; int corrLow, corrHigh; } cases[] = {
      // Third-rank defence: the rook holds the sixth rank in front of the pawn.
      {"4k3/8/r7/4P3/4K3/8/8/7R b - - 0 1", 4, -99, 99},
      // The pawn has gone to the sixth: checks from behind hold.
      {"4k3/7R/4P3/5K2/8/8/8/1r6 w - - 0 1", 4, -99, 99},
      // With the strong king beyond its pawn only half: the checks from
      // behind still hold here, though not in every such set-up.
      {"4k3/2K4R/4P3/8/8/8/8/1r6 b - - 0 1", 8, -99, 99},
      // Defending rook on its second rank, or checking from behind while
      // the strong king stands ahead of a fifth-rank pawn: half.
      {"4k3/r7/8/4PK2/8/8/8/1R6 w - - 0 1", 8, -99, 99},
      {"5k2/R7/3K4/4P3/8/8/8/5r2 b - - 0 1", 8, -99, 99},
      // The rook just behind the pawn is no set-up the rule knows.
      {"4k3/8/8/4PK2/3r4/8/8/1R6 w - - 0 1", 16, -99, 99},
      // Back-rank defence against a knight pawn on the sixth.
      {"1rk5/8/1P6/2K5/8/8/8/7R w - - 0 1", 4, -99, 99},
      // Defending king in front of a rook pawn, rook anywhere: halved.
      {"k7/8/K7/P7/8/8/1r6/7R w - - 0 1", 8, -999, -1},
      // Lucena: the king is not in front, nothing is scaled.
      {"1K1k4/1P6/8/8/8/8/r7/2R5 w - - 0 1", 16, 0, 99},
      // King cut off five files from a rook pawn: the +128 for the strong side.
      {"8/8/5k2/8/P7/8/1K6/1R4r1 w - - 0 1", 16, 100, 999},
      // Rook in front of its seventh-rank pawn, defender on g7, rook behind.
      {"R7/P5k1/8/8/8/8/r7/4K3 w - - 0 1", 1, -999, 999}};
  for (const auto& c : cases) {
    for (const std::string& fen : {std::string(c.fen), mirrorFen(c.fen)}) {
      ASSERT_TRUE(setUp(fen)) << fen;
      const int strong = pos.material[White] > pos.material[Black] ? White : Black;
      int scale[2] = {16, 16};
      const int corr = rookPawnCorrection(strong, pos.sideToMove, scale);
      EXPECT_EQ(scale[strong], c.scale) << fen;
      EXPECT_GE(corr, c.corrLow) << fen;
      EXPECT_LE(corr, c.corrHigh) << fen;
    }
  }
}

// The drawn rook endings stay near the draw score, the won ones clearly won
// (score for the side with the pawn).
TEST(EvalEndgame, RookEndingsNearTheDrawScore) {
  const struct { const char* fen; int low, high; } cases[] = {
      {"4k3/8/r7/4P3/4K3/8/8/7R b - - 0 1", 0, 80}, {"4k3/8/r7/4P3/4K3/8/8/7R w - - 0 1", 0, 80},
      {"4k3/7R/4P3/5K2/8/8/8/1r6 w - - 0 1", 0, 80}, {"1K1k4/1P6/8/8/8/8/r7/2R5 w - - 0 1", 250, 999}};
  for (const auto& c : cases) {
    ASSERT_TRUE(setUp(c.fen)) << c.fen;
    const int strong = pos.material[White] > pos.material[Black] ? White : Black;
    const int v = pos.sideToMove == strong ? eval(1) : -eval(1);
    EXPECT_GE(v, c.low) << c.fen;
    EXPECT_LE(v, c.high) << c.fen;
  }
}

// Pawn endings: the race of the fastest passers by the rule of the square
// (score for White, in a band), the rook-pawn fortress, and the promotion
// threat handed to the search.
TEST(EvalEndgame, PawnEndingRaces) {
  const struct { const char* fen; int low, high; uint32_t verdict; } cases[] = {
      // Black queens three plies ahead: its queen stops the g-pawn.
      {"8/8/8/8/p7/8/6PK/k7 b - - 0 1", -99999, -500, 0},
      // White to move: both promote within a ply of each other.
      {"8/8/8/8/p7/8/6PK/k7 w - - 0 1", -200, 200, 0},
      // The black king catches the g-pawn, nothing catches the a-pawn.
      {"8/pk6/8/8/8/8/6PK/8 w - - 0 1", -99999, -500, 0},
      // Inside the square (Black to move reaches a8) / outside it.
      {"5k2/7p/8/8/P7/8/8/7K b - - 0 1", -200, 200, 0},
      {"5k2/7p/8/8/P7/8/8/7K w - - 0 1", 500, 99999, 0},
      // Two rook pawns and the defending king in front of them.
      {"k7/8/8/P7/P7/8/8/2K5 w - - 0 1", 256 >> 7, 256 >> 7, EvalTablebaseDraw}};
  for (const auto& c : cases) {
    for (const std::string& fen : {std::string(c.fen), mirrorFen(c.fen)}) {
      ASSERT_TRUE(setUp(fen)) << fen;
      const bool mirrored = fen != c.fen;
      const int v = (pos.sideToMove == White) != mirrored ? eval(1) : -eval(1);
      EXPECT_GE(v, c.low) << fen;
      EXPECT_LE(v, c.high) << fen;
      EXPECT_EQ(verdict(), c.verdict) << fen;
    }
  }
  // A passer one move from promoting that the king cannot stop is the
  // threat the side to move faces; without it the measure stays small.
  ASSERT_TRUE(setUp("8/P7/8/8/6k1/8/7p/7K b - - 0 1"));
  eval(1);
  EXPECT_GE(pos.plyTop->threatMeasure, 996 >> 3);
  ASSERT_TRUE(setUp("8/8/8/P7/6k1/8/7p/7K b - - 0 1"));
  eval(1);
  EXPECT_LT(pos.plyTop->threatMeasure, 30);
}

}  // namespace
