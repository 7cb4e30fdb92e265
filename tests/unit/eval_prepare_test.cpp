// Per-search preparation: piece-square tables from the root position,
// development penalties, wing flags and the style shifts.
#include <gtest/gtest.h>

#include "board/makemove.h"
#include "engine/options.h"
#include "eval/terms.h"
#include "eval_test_support.h"

using namespace evaltest;

namespace {

int sq(const char* name) { return (name[1] - '1') * 8 + (name[0] - 'a'); }

const char* startFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

TEST(EvalPrepare, StartPositionTables) {
  ASSERT_TRUE(setUp(startFen));
  // Knight base -20 at b1 and g1, the home penalties 14 and 17, and the
  // distance to both kings (b1: 3 + 10, g1: 2 + 9).
  EXPECT_EQ(pieceSquare[White][Knight][sq("b1")], -20 - 14 - 13);
  EXPECT_EQ(pieceSquare[White][Knight][sq("g1")], -20 - 17 - 11);
  EXPECT_EQ(pieceSquare[Black][Knight][sq("b8")], -20 - 14 - 13);
  EXPECT_EQ(pieceSquare[Black][Knight][sq("g8")], -20 - 17 - 11);
  // Full material: pawn tables are the base less 8, mirrored for Black.
  EXPECT_EQ(pieceSquare[White][Pawn][sq("e4")], 22 - 8);
  EXPECT_EQ(pieceSquare[Black][Pawn][sq("e5")], 22 - 8);
  EXPECT_EQ(pieceSquare[White][Pawn][sq("d7")], 30 - 8);
  // Bishops: base + 12 with the home penalty of 8.
  EXPECT_EQ(pieceSquare[White][Bishop][sq("c1")], -4 + 12 - 8);
  // Rook on the enemy king's file has no line penalty; elsewhere min(rank, file) distance.
  EXPECT_EQ(pieceSquare[White][Rook][sq("e4")], 3);
  EXPECT_EQ(pieceSquare[White][Rook][sq("a4")], -1 - 4);
  // King tables at phase 16 are the middlegame table.
  EXPECT_EQ(pieceSquare[White][King][sq("g1")], 2);
  EXPECT_EQ(developedMinors[White], 0);
}

TEST(EvalPrepare, PawnTablesInTheEndgame) {
  ASSERT_TRUE(setUp("4k3/8/8/8/8/8/4P3/R3K3 w - - 0 1"));
  ASSERT_EQ(endgamePhase, 1);
  EXPECT_EQ(pieceSquare[White][Pawn][sq("e4")], 22 / 2);
  EXPECT_EQ(pieceSquare[White][Pawn][sq("c2")], -1 / 2);
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
  EXPECT_EQ(pieceSquare[White][Bishop][sq("c1")], -4 + 12);
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

  ASSERT_TRUE(setUp(startFen, 1u << OptPlayingStyleShift));  // Aggressive, engine White
  EXPECT_EQ(styleSide, 1);
  EXPECT_EQ(threatShift[White], 7);
  EXPECT_EQ(threatShift[Black], 6);
  EXPECT_EQ(pawnThreatShift[White], 6);
  ASSERT_TRUE(setUp(startFen, 2u << OptPlayingStyleShift));  // Solid: the opponent favoured
  EXPECT_EQ(styleSide, 2);
  EXPECT_EQ(threatShift[Black], 7);
  ASSERT_TRUE(setUp(startFen));
  EXPECT_EQ(styleSide, 0);
  EXPECT_EQ(threatShift[White], 6);
}

}  // namespace
