// The material-class table: telling adjustments, special classes of the
// small endings, and the structural properties every cell must keep.
#include <gtest/gtest.h>

#include "eval/eval.h"

namespace {

// Signature index of a side: pawns (3 = three or more), then piece counts.
constexpr int sig(int pawns, int knights = 0, int bishops = 0, int rooks = 0, int queens = 0) {
  return (pawns > 3 ? 3 : pawns) + 4 * (knights + 3 * bishops + 9 * rooks + 27 * queens);
}

int entry(int own, int opp) { return endgameClassTable[(own << 8) | opp]; }

constexpr int K = sig(0), KP = sig(1), KN = sig(0, 1), KB = sig(0, 0, 1), KNN = sig(0, 2), KBN = sig(0, 1, 1),
              KR = sig(0, 0, 0, 1), KQ = sig(0, 0, 0, 0, 1);

// Mirrored cells are not listed: EveryCellIsConsistent checks them.
TEST(EvalClassTable, TellingCells) {
  enum Kind { Adjustment, Special, Ordinary, Unwinnable, Winnable };
  const struct { int own, opp; Kind kind; int value; } cases[] = {
      {KN, KP, Adjustment, -14}, {KB, KP, Adjustment, -14}, {KBN, KB, Adjustment, -24},
      {KN, KR, Adjustment, 12},  {KNN, KR, Adjustment, -10},
      {KB, KBN, Adjustment, 24}, {KR, KN, Adjustment, -12},
      // Pawnless KNN v KN is a draw class, so its adjustment shows with a pawn.
      {KNN, sig(1, 1), Adjustment, -16}, {sig(1, 2), KN, Adjustment, -16},
      // Each group of the table, and how pawns fade it.
      {KR, sig(1, 1), Adjustment, -6}, {sig(1, 0, 0, 1), sig(1, 1), Adjustment, -2},
      {KR, sig(3, 1), Adjustment, 0}, {sig(0, 0, 1, 1), KR, Adjustment, -20},
      {KQ, sig(0, 1, 0, 1), Adjustment, -8}, {KQ, sig(0, 1, 1), Adjustment, -6}, {KQ, KR, Adjustment, -4},
      {KR, sig(1), Adjustment, -6}, {KR, sig(2), Adjustment, -10}, {KN, sig(2), Adjustment, -8},
      {sig(1, 1), KN, Adjustment, -8}, {sig(1, 0, 0, 0, 1), KQ, Adjustment, -10},
      {sig(2, 0, 0, 1), sig(1, 0, 0, 1), Adjustment, -2}, {sig(1, 1), KB, Adjustment, -8},
      {sig(0, 0, 2), KN, Adjustment, 0},  // the bishop pair beats a knight
      {sig(0, 1, 1), sig(0, 0, 0, 1), Adjustment, -10}, {sig(0, 0, 0, 1), sig(0, 1, 1), Adjustment, 10},
      // Draw classes; mating material is not one.
      {K, K, Special, 21}, {KN, K, Special, 21}, {KB, K, Special, 21}, {KNN, K, Special, 20},
      {KN, KN, Special, 20}, {KNN, KN, Special, 20}, {KN, KB, Special, 20}, {KNN, KB, Special, 20},
      {KB, KB, Special, 20}, {KBN, K, Special, 16}, {sig(0, 0, 2), K, Special, 16}, {K, KR, Special, 16},
      {KQ, K, Special, 16},
      // Ending classes.
      {KP, K, Special, 19}, {sig(2), sig(1), Special, 18}, {sig(3), K, Special, 18},
      {sig(2, 0, 1), K, Special, 17}, {sig(1, 0, 1), sig(2), Special, 1}, {KQ, KP, Special, 2},
      {KR, sig(1, 0, 0, 1), Special, 3}, {KR, sig(2, 0, 0, 1), Special, 4}, {KN, sig(1, 0, 1), Special, 5},
      {sig(1, 0, 1), KB, Special, 5}, {sig(1, 1), KB, Ordinary, 0},
      // The unwinnable flag on drawish pawnless balances, not on winning material.
      {KR, KN, Unwinnable, 0}, {KR, KB, Unwinnable, 0}, {sig(0, 0, 1, 1), KR, Unwinnable, 0},
      {KR, KR, Unwinnable, 0}, {KQ, KR, Winnable, 0}, {sig(0, 0, 0, 2), KR, Winnable, 0},
      {sig(0, 0, 2), KN, Winnable, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.own << " v " << c.opp);
    const int e = entry(c.own, c.opp);
    switch (c.kind) {
      case Adjustment: EXPECT_EQ((e & 63) - 32, c.value); EXPECT_FALSE(e & 0x80); break;
      case Special: EXPECT_TRUE(e & 0x80); EXPECT_EQ(e & 63, c.value); break;
      case Ordinary: EXPECT_FALSE(e & 0x80); break;
      case Unwinnable: EXPECT_TRUE(e & 0x40); break;
      case Winnable: EXPECT_FALSE(e & 0x40); break;
    }
  }
}

// Exchanging row and column keeps every special class and every bit-6
// flag and negates every adjustment; adjustments stay even and in range,
// appear only while each side has at most two pawns, and 571 of the 2915
// piece combinations (all but bare king against bare king) carry one in
// some pawn count. Bit 6 only marks pawnless balances. The special classes
// and flags are pinned by their counts and a fingerprint of all cells.
TEST(EvalClassTable, EveryCellIsConsistent) {
  bool adjusted[54][54] = {};
  int specials = 0, flags = 0;
  uint32_t fingerprint = 2166136261u;
  for (int a = 0; a < 216; ++a) {
    for (int b = 0; b < 216; ++b) {
      SCOPED_TRACE(testing::Message() << a << " v " << b);
      const int e = entry(a, b), f = entry(b, a);
      fingerprint = (fingerprint ^ static_cast<uint32_t>((e & 0x80) ? e : (e & 0x40))) * 16777619u;
      if (e & 0x80) {
        ++specials;
        ASSERT_EQ(e, f);
        continue;
      }
      ASSERT_FALSE(f & 0x80);
      const int adj = (e & 63) - 32;
      ASSERT_EQ(adj, 32 - (f & 63));
      ASSERT_EQ(e & 0x40, f & 0x40);
      ASSERT_EQ(adj % 2, 0);
      ASSERT_LE(adj < 0 ? -adj : adj, 30);
      if (adj != 0) {
        adjusted[a >> 2][b >> 2] = true;
        ASSERT_LE(a & 3, 2);
        ASSERT_LE(b & 3, 2);
      }
      if (e & 0x40) {
        ++flags;
        ASSERT_EQ((a & 3) + (b & 3), 0);
      }
    }
  }
  int combinations = 0;
  for (const auto& row : adjusted)
    for (bool cell : row) combinations += cell;
  EXPECT_FALSE(adjusted[0][0]);
  EXPECT_EQ(combinations, 571);
  EXPECT_EQ(specials, 476);
  EXPECT_EQ(flags, 759);
  EXPECT_EQ(fingerprint, 0x8c973b72u);
}

}  // namespace
