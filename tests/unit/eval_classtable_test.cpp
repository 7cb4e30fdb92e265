// The material-class table: telling adjustments, special classes of the
// small endings, and the structural properties every cell must keep.
#include <gtest/gtest.h>

#include "eval/eval.h"

namespace {

// Signature index of a side: pawns (3 = three or more), then piece counts.
int sig(int pawns, int knights, int bishops, int rooks, int queens) {
  return (pawns > 3 ? 3 : pawns) + 4 * (knights + 3 * bishops + 9 * rooks + 27 * queens);
}

int entry(int own, int opp) { return endgameClassTable[(own << 8) | opp]; }
bool isSpecial(int own, int opp) { return (entry(own, opp) & 0x80) != 0; }
int specialOf(int own, int opp) { return isSpecial(own, opp) ? entry(own, opp) & 63 : -1; }
int adjustmentOf(int own, int opp) { return (entry(own, opp) & 63) - 32; }

const int K = sig(0, 0, 0, 0, 0);
const int KP = sig(1, 0, 0, 0, 0);
const int KN = sig(0, 1, 0, 0, 0);
const int KB = sig(0, 0, 1, 0, 0);
const int KNN = sig(0, 2, 0, 0, 0);
const int KBN = sig(0, 1, 1, 0, 0);
const int KR = sig(0, 0, 0, 1, 0);

TEST(EvalClassTable, TellingAdjustments) {
  EXPECT_EQ(adjustmentOf(KN, KP), -14);
  EXPECT_EQ(adjustmentOf(KB, KP), -14);
  EXPECT_EQ(adjustmentOf(KP, KN), 14);
  EXPECT_EQ(adjustmentOf(KP, KB), 14);
  EXPECT_EQ(adjustmentOf(KBN, KB), -24);
  EXPECT_EQ(adjustmentOf(KB, KBN), 24);
  EXPECT_EQ(adjustmentOf(KN, KR), 12);
  EXPECT_EQ(adjustmentOf(KNN, KR), -10);
  // Pawnless KNN v KN is a draw class, so its adjustment shows with a pawn.
  EXPECT_EQ(adjustmentOf(KNN, sig(1, 1, 0, 0, 0)), -16);
  EXPECT_EQ(adjustmentOf(sig(1, 2, 0, 0, 0), KN), -16);
}

TEST(EvalClassTable, DrawClasses) {
  EXPECT_EQ(specialOf(K, K), 21);
  for (int lone : {KN, KB}) {
    EXPECT_EQ(specialOf(lone, K), 21);
    EXPECT_EQ(specialOf(K, lone), 21);
  }
  EXPECT_EQ(specialOf(KNN, K), 20);
  EXPECT_EQ(specialOf(K, KNN), 20);
  const int pairs[][2] = {{KN, KN}, {KNN, KN}, {KN, KB}, {KNN, KB}, {KB, KB}};
  for (const auto& p : pairs) {
    EXPECT_EQ(specialOf(p[0], p[1]), 20);
    EXPECT_EQ(specialOf(p[1], p[0]), 20);
  }
  // Mating material is not a draw class.
  EXPECT_EQ(specialOf(KBN, K), 16);
  EXPECT_EQ(specialOf(sig(0, 0, 2, 0, 0), K), 16);
  EXPECT_EQ(specialOf(K, KR), 16);
  EXPECT_EQ(specialOf(sig(0, 0, 0, 0, 1), K), 16);
}

TEST(EvalClassTable, EndingClasses) {
  EXPECT_EQ(specialOf(KP, K), 19);
  EXPECT_EQ(specialOf(K, KP), 19);
  EXPECT_EQ(specialOf(sig(2, 0, 0, 0, 0), sig(1, 0, 0, 0, 0)), 18);
  EXPECT_EQ(specialOf(sig(3, 0, 0, 0, 0), K), 18);
  EXPECT_EQ(specialOf(sig(2, 0, 1, 0, 0), K), 17);
  EXPECT_EQ(specialOf(sig(1, 0, 1, 0, 0), sig(2, 0, 0, 0, 0)), 1);
  EXPECT_EQ(specialOf(sig(0, 0, 0, 0, 1), KP), 2);
  EXPECT_EQ(specialOf(KP, sig(0, 0, 0, 0, 1)), 2);
  EXPECT_EQ(specialOf(KR, sig(1, 0, 0, 1, 0)), 3);
  EXPECT_EQ(specialOf(KR, sig(2, 0, 0, 1, 0)), 4);
  EXPECT_EQ(specialOf(KN, sig(1, 0, 1, 0, 0)), 5);
  EXPECT_EQ(specialOf(sig(1, 0, 1, 0, 0), KB), 5);
  // A knight and pawn against a bishop is an ordinary ending.
  EXPECT_FALSE(isSpecial(sig(1, 1, 0, 0, 0), KB));
}

// Exchanging row and column keeps every special class and every bit-6
// flag and negates every adjustment; adjustments stay even and in range,
// and none appears once both sides have three or more pawns.
TEST(EvalClassTable, EveryCellIsConsistent) {
  int nonZero = 0;
  for (int a = 0; a < 216; ++a) {
    for (int b = 0; b < 216; ++b) {
      const int e = entry(a, b), f = entry(b, a);
      if (e & 0x80) {
        ASSERT_EQ(e, f) << a << " " << b;
        continue;
      }
      ASSERT_FALSE(f & 0x80) << a << " " << b;
      const int adj = adjustmentOf(a, b);
      ASSERT_EQ(adj, -adjustmentOf(b, a)) << a << " " << b;
      ASSERT_EQ(e & 0x40, f & 0x40) << a << " " << b;
      ASSERT_EQ(adj % 2, 0);
      ASSERT_LE(adj, 30);
      ASSERT_GE(adj, -30);
      if (adj != 0) {
        ++nonZero;
        ASSERT_LE((a & 3) + (b & 3), 2) << a << " " << b;
      }
      // Bit 6 only on pawnless balances.
      if (e & 0x40) {
        ASSERT_EQ((a & 3) + (b & 3), 0) << a << " " << b;
      }
    }
  }
  EXPECT_GT(nonZero, 50);
}

TEST(EvalClassTable, UnwinnableFlagOnDrawishPawnlessBalances) {
  EXPECT_TRUE(entry(KR, KN) & 0x40);
  EXPECT_TRUE(entry(KR, KB) & 0x40);
  EXPECT_TRUE(entry(sig(0, 0, 1, 1, 0), KR) & 0x40);
  EXPECT_TRUE(entry(KR, KR) & 0x40);
  // Winning material is not flagged.
  EXPECT_FALSE(entry(sig(0, 0, 0, 0, 1), KR) & 0x40);
  EXPECT_FALSE(entry(sig(0, 0, 0, 2, 0), KR) & 0x40);
  EXPECT_FALSE(entry(sig(0, 0, 2, 0, 0), KN) & 0x40);
}

}  // namespace
