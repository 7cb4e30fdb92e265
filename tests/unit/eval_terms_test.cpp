// Positional terms with telling values: king shelter, hanging men, the
// hemmed-in bishop, open files, and the king-attack flags.
#include <gtest/gtest.h>

#include "eval/terms.h"
#include "eval_test_support.h"

using namespace evaltest;

namespace {

TEST(EvalTerms, ShelterOfAKingOnH1) {
  const struct { const char* fen; int shelter; } cases[] = {
      {"r2qk2r/pppppppp/8/8/8/8/5PPP/6RK w - - 0 1", 0},
      {"r2qk2r/pppppppp/8/8/8/8/5P1P/6RK w - - 0 1", -13},  // own g-pawn gone
      {"r2qk2r/pppppp1p/8/8/8/8/5P1P/6RK w - - 0 1", -31},  // both g-pawns gone
      {"4k3/pppppp1p/8/8/8/8/5P1P/6RK w - - 0 1", 0}};       // no enemy rooks and queens
  for (const auto& c : cases) {
    ASSERT_TRUE(setUp(c.fen));
    EXPECT_EQ(kingShelter(White), c.shelter) << c.fen;
  }
}

TEST(EvalTerms, HangingKnightCostsTwelve) {
  // An undefended knight attacked by a rook, with safe squares to go to.
  ASSERT_TRUE(setUp("4r1k1/8/8/4N3/8/8/8/6K1 w - - 0 1"));
  EXPECT_EQ(pos.pieceThreat[sq("e5")], 416);
  threatBest[0] = threatBest[1] = threatSecond[0] = threatSecond[1] = 0;
  EXPECT_EQ(threatTerm(), -12);
  EXPECT_EQ(threatBest[White], 416);
  // Defended and attacked only by a rook: no threat at all.
  ASSERT_TRUE(setUp("4r1k1/8/8/4N3/3P4/8/8/6K1 w - - 0 1"));
  EXPECT_EQ(pos.pieceThreat[sq("e5")], 0);
}

TEST(EvalTerms, DoubleThreatRaisesTheSecondThreat) {
  // A knight fork of two undefended rooks.
  ASSERT_TRUE(setUp("6k1/8/5r2/3N4/1r6/8/8/6K1 b - - 0 1"));
  threatBest[0] = threatBest[1] = threatSecond[0] = threatSecond[1] = 0;
  threatTerm();
  EXPECT_EQ(threatBest[Black], 640);
  EXPECT_EQ(threatSecond[Black], 640);
  eval(1);
  EXPECT_EQ(pos.plyTop->threatMeasure, 640 >> 3);
}

TEST(EvalTerms, HemmedInBishopPenaltyDependsOnTheEngineSide) {
  ASSERT_TRUE(setUp("4k3/6Bp/5p1P/5P2/8/8/8/4K3 w - - 0 1"));
  rootSide = White;
  const int own = bishopActivity(sq("g7"), White);
  rootSide = Black;
  const int opponent = bishopActivity(sq("g7"), White);
  EXPECT_EQ(opponent - own, 164 / 2);
}

TEST(EvalTerms, KingAttackFlagsAgainstAMatingNet) {
  // Back-rank mate threat: rook and queen against a king boxed in by its pawns.
  ASSERT_TRUE(setUp("6k1/5ppp/8/8/8/8/5PPP/3RR1K1 w - - 0 1"));
  pos.plyTop->flags = 0;
  kingAttack(Black);
  EXPECT_TRUE(pos.plyTop->flags & (mateThreatFlag(Black) | kingAttackedFlag(Black)));
  // The same king with an open flight square and no heavy attackers is quiet.
  ASSERT_TRUE(setUp("6k1/5p1p/6p1/8/8/8/5PPP/6K1 w - - 0 1"));
  pos.plyTop->flags = 0;
  kingAttack(Black);
  EXPECT_EQ(pos.plyTop->flags & 0xF, 0u);
}

}  // namespace
