// Move ordering: key ranges after the ordering pass, killers, exchange
// estimates, and the history update after cutoffs.
#include <gtest/gtest.h>

#include "board/movegen.h"
#include "board/position.h"
#include "board/setup.h"
#include "search/ordering.h"

namespace {

int sq(const char* s) { return (s[1] - '1') * 8 + (s[0] - 'a'); }

// Generates and orders the moves of the side to move at ply 1; returns the
// key of the move from..to (or -99999 when not generated).
struct Ordered {
  ScoredMove* list;
  int n;
  int keyOf(const char* from, const char* to) const {
    for (int i = 0; i < n; i++)
      if (moveFrom(list[i].move) == sq(from) && moveTo(list[i].move) == sq(to)) return list[i].key;
    return -99999;
  }
};

Ordered order(const char* fen) {
  EXPECT_TRUE(parseFen(fen)) << fen;
  moveListStart[1] = moveBuffer;
  const int side = pos.sideToMove;
  const int n = generateAll(moveListStart[1], side, 1, 0);
  orderMoves(side, 1, moveListStart[1], moveListStart[1] + n);
  return {moveListStart[1], n};
}

class Ordering : public ::testing::Test {
 protected:
  void SetUp() override { resetHistory(); }
};

TEST_F(Ordering, KeyRangesForCapturesKillersQuietAndLosingMoves) {
  // Qd1xd5 loses the queen to c6xd5; e4xd5 and Qd1xh5 win material safely.
  const char* fen = "4k3/8/2p5/3p3p/4P3/8/8/3QK3 w - - 0 1";
  killer1[1] = static_cast<uint16_t>((King - 1) * 64 + sq("f2"));
  killer2[1] = static_cast<uint16_t>((Pawn - 1) * 64 + sq("d5"));  // a killer index that is also a capture
  const Ordered o = order(fen);
  EXPECT_GE(o.keyOf("e4", "d5"), 30003) << "a killer that captures keeps its capture key";
  EXPECT_GE(o.keyOf("d1", "h5"), 30003 + 128);
  EXPECT_EQ(o.keyOf("e1", "f2"), 30002);
  EXPECT_EQ(o.keyOf("e1", "e2"), -30000);
  EXPECT_LT(o.keyOf("d1", "d5"), -30000 - 900) << "losing the queen for a pawn sorts below every quiet move";
  // The killer override is temporary.
  EXPECT_EQ(historyScore[(King - 1) * 64 + sq("f2")], 0);
}

TEST_F(Ordering, QuietMoveOntoAnAttackedSquareWithoutHistoryIsMarkedDown) {
  // Qd1-d4 steps into the pawn's capture; Qd1-a4 does not.
  const Ordered o = order("4k3/8/8/4p3/8/8/8/3QK3 w - - 0 1");
  EXPECT_LT(o.keyOf("d1", "d4"), o.keyOf("d1", "a4") - 1000);
  // With history the estimate is skipped: the move has proved itself.
  historyScore[(Queen - 1) * 64 + sq("d4")] = 500;
  const Ordered p = order("4k3/8/8/4p3/8/8/8/3QK3 w - - 0 1");
  EXPECT_EQ(p.keyOf("d1", "d4"), 500 - 30000);
}

TEST_F(Ordering, CutoffsUpdateKillersHistoryAndRatios) {
  ASSERT_TRUE(parseFen("4k3/8/8/8/8/8/8/R3K3 w - - 0 1"));
  ScoredMove list[3];
  list[0] = {makeMoveWord(sq("a1"), sq("a2"), 0), -30000};
  list[1] = {makeMoveWord(sq("a1"), sq("b1"), 0), -30000};
  list[2] = {makeMoveWord(sq("a1"), sq("a8"), 0), -30000};
  const int cut = (Rook - 1) * 64 + sq("a8");
  const int tried = (Rook - 1) * 64 + sq("a2");
  for (int i = 0; i < 2000; i++) recordCutoff(5, White, list, 2, 63);
  EXPECT_EQ(killer1[5], cut);
  EXPECT_LE(historyScore[cut], 60000) << "ageing keeps the score below its cap";
  EXPECT_GT(historyScore[cut], 0);
  EXPECT_EQ(historyRatio[cut], 255) << "a move that always cuts off saturates instead of wrapping to 0";
  EXPECT_EQ(historyRatio[tried], 0) << "searched before every cutoff and never cutting: ratio 0";
  EXPECT_LT(historyTries[tried], 65470);
  EXPECT_EQ(historyScore[tried + HistoryBlackOffset], 0) << "Black's half is untouched";

  // A second, different cutoff move shifts the killers.
  recordCutoff(5, White, list, 1, 3);
  EXPECT_EQ(killer1[5], (Rook - 1) * 64 + sq("b1"));
  EXPECT_EQ(killer2[5], cut);
  recordCutoff(5, White, list, 1, 3);
  EXPECT_EQ(killer2[5], cut) << "the same move again does not push the other killer out";
}

TEST_F(Ordering, DecayKeepsRatiosAndClearsKillers) {
  historyScore[10] = 400;
  historyRatio[10] = 142;
  killer1[3] = 7;
  decayHistory();
  EXPECT_LT(historyScore[10], 400);
  EXPECT_EQ(historyRatio[10], 142);
  EXPECT_EQ(killer1[3], 0);
  resetHistory();
  EXPECT_EQ(historyScore[10], 0);
  EXPECT_EQ(historyTries[10], 1) << "never 0: ratios divide by it";
}

TEST_F(Ordering, QuiescenceChecksAreMarkedAndMatingChecksFirst) {
  // Rook to the back rank mates (the king is boxed in by its pawns); the
  // other rook check gives the king air.
  ASSERT_TRUE(parseFen("6k1/5ppp/8/8/8/8/8/R3K3 w - - 0 1"));
  moveListStart[1] = moveBuffer;
  const int n = generateCaptures(White, 1, 6, moveListStart[1]);
  orderQuiescenceMoves(6, White, moveListStart[1], moveListStart[1] + n, 152);
  int mateKey = -99999;
  for (int i = 0; i < n; i++) {
    const Move m = moveListStart[1][i].move;
    if ((m & FromToMask) != makeMoveWord(sq("a1"), sq("a8"), 0)) continue;
    mateKey = moveListStart[1][i].key;
    EXPECT_TRUE(m & CheckMark);
  }
  ASSERT_NE(mateKey, -99999) << "the quiet checking move is generated in mode 6";
  EXPECT_GE(mateKey, 2000);
}

// A queen promotion counts the rooks lined up behind the pawn: an enemy
// rook behind it takes the new queen, an own rook behind it defends it.
TEST_F(Ordering, PromotionCountsTheRooksBehindThePawn) {
  auto queenPromotion = [](const char* fen) {
    const Ordered o = order(fen);
    for (int i = 0; i < o.n; i++)
      if (isPromotion(o.list[i].move) && moveTo(o.list[i].move) == sq("a8") &&
          promotionType[(o.list[i].move >> 12) & 7] == Queen)
        return int{o.list[i].key};
    return -99999;
  };
  const int free = queenPromotion("4k3/P7/8/8/8/8/8/4K2r w - - 0 1");
  const int rookBehind = queenPromotion("4k3/P7/8/8/8/8/8/r3K3 w - - 0 1");
  EXPECT_GE(free, 30003);
  EXPECT_LT(rookBehind, free - 1000) << "the rook on a1 takes on a8";
  const int attacked = queenPromotion("1r2k3/P7/8/8/8/8/8/4K2R w - - 0 1");
  const int defended = queenPromotion("1r2k3/P7/8/8/8/8/8/R3K3 w - - 0 1");
  EXPECT_GT(defended, attacked + 300) << "the own rook on a1 retakes on a8";
}

}  // namespace
