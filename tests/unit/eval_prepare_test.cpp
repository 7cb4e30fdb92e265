// Per-search preparation: piece-square tables from the root position,
// development penalties, wing flags and the style shifts.
#include <gtest/gtest.h>

#include "board/makemove.h"
#include "engine/options.h"
#include "eval/terms.h"
#include "eval_test_support.h"

using namespace evaltest;

namespace {

const char* const startFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

TEST(EvalPrepare, TablesOfASymmetricRootAreMirrorImages) {
  ASSERT_TRUE(setUp(startFen));
  for (int piece = Pawn; piece <= King; ++piece)
    for (int q = 0; q < 64; ++q)
      ASSERT_EQ(pieceSquare[Black][piece][q ^ 56], pieceSquare[White][piece][q]) << piece << " " << q;
  // Knight base, home penalty and king distances; pawns at full material.
  EXPECT_EQ(pieceSquare[White][Knight][sq("b1")], -20 - 14 - 13);
  EXPECT_EQ(pieceSquare[White][Pawn][sq("e4")], 22 - 8);
  EXPECT_EQ(pieceSquare[White][Rook][sq("e4")], 3) << "no line penalty on the enemy king's file";
  EXPECT_EQ(developedMinors[White], 0);
  // In the endgame the pawn tables are halved.
  ASSERT_TRUE(setUp("4k3/8/8/8/8/8/4P3/R3K3 w - - 0 1"));
  ASSERT_EQ(endgamePhase, 1);
  EXPECT_EQ(pieceSquare[White][Pawn][sq("e4")], 22 / 2);
  EXPECT_EQ(pieceSquare[Black][Pawn][sq("d2")], 30 / 2);
}

TEST(EvalPrepare, DevelopmentPenaltiesEndOnceMinorsAreOut) {
  ASSERT_TRUE(setUp("r3k2r/pppppppp/2nb1bn1/8/8/2NB1BN1/PPPPPPPP/R3K2R w - - 0 1"));
  EXPECT_EQ(developedMinors[White], 4);
  EXPECT_EQ(developedMinors[Black], 4);
  const int withPenalty = pieceSquare[White][Knight][sq("b1")];
  // Seventeen plies later the penalty is no longer applied.
  const char* shuffle[] = {"a1b1", "a8b8", "b1a1", "b8a8"};
  for (int i = 0; i < 16; ++i) makeMove(parseMoveText(shuffle[i % 4]));
  prepareEvaluation();
  EXPECT_EQ(pieceSquare[White][Knight][sq("b1")], withPenalty + 14);
  // All four minors out: the queen is drawn towards the enemy king (e8).
  EXPECT_EQ(pieceSquare[White][Queen][sq("e7")], 6 + 8 - 1);
  for (int i = 0; i < 16; ++i) unmakeMove();
}

TEST(EvalPrepare, WingsAndStyle) {
  ASSERT_TRUE(setUp("2kr3r/pppq4/8/8/8/8/4QPPP/3RR1K1 w - - 0 1"));
  ASSERT_GT(endgamePhase, 4);
  EXPECT_EQ(castledWings[White], 2);
  EXPECT_EQ(castledWings[Black], 2);
  EXPECT_EQ(attackWing[White], 7);
  EXPECT_EQ(attackWing[Black], 224);
  ASSERT_TRUE(setUp("2kr4/ppp5/8/8/8/8/5PPP/6K1 w - - 0 1"));  // too little material for storms
  EXPECT_EQ(castledWings[White], 4);
  ASSERT_TRUE(setUp("r2qkb1r/pppppppp/8/8/8/8/PPPPPPPP/R2QKB1R w - - 0 1"));
  EXPECT_EQ(castledWings[White], 4);  // kings on the e-file
  // Aggressive favours the engine's side, Solid the opponent's.
  const struct { uint32_t style; int side, whiteShift, blackShift; } styles[] = {{0, 0, 6, 6}, {1, 1, 7, 6}, {2, 2, 6, 7}};
  for (const auto& s : styles) {
    ASSERT_TRUE(setUp(startFen, s.style << OptPlayingStyleShift));
    EXPECT_EQ(styleSide, s.side);
    EXPECT_EQ(threatShift[White], s.whiteShift) << s.style;
    EXPECT_EQ(threatShift[Black], s.blackShift) << s.style;
    if (s.style == 1) EXPECT_EQ(pawnThreatShift[White], 6);
  }
}

}  // namespace
