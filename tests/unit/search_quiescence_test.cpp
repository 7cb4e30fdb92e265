// Quiescence helpers: the hanging-piece test with its escape and pin
// branches, and the promotion threat of pawns on the 7th (and, with depth
// to spare, the 6th) rank.
#include <gtest/gtest.h>

#include "board/position.h"
#include "board/setup.h"
#include "search/search.h"

namespace {

TEST(Quiescence, HangingPieceTest) {
  const struct { const char* fen; int margin; int lost; const char* why; } cases[] = {
      {"4k3/1b6/8/3R4/8/5Q2/8/4K3 w - - 0 1", 100, 1, "the rook may flee but is pinned to the queen"},
      {"4k3/1b6/8/3R4/8/8/8/4KQ2 w - - 0 1", 100, 0, "the rook flees, nothing behind it"},
      {"4k3/1b6/8/3P4/8/5K2/8/8 w - - 0 1", 100, 0, "a pawn is never treated as pinned; it advances"},
      {"4k3/1b6/8/3R4/8/5Q2/8/4K3 w - - 0 1", 300, 0, "the threat is below the margin"},
      {"4k3/8/8/8/4n3/8/3R1Q2/4K3 w - - 0 1", 100, 1, "a fork: two men hang at once"}};
  for (const auto& c : cases) {
    ASSERT_TRUE(parseFen(c.fen)) << c.fen;
    EXPECT_EQ(hangingPieceTest(White, c.margin), c.lost) << c.fen << ": " << c.why;
  }
}

TEST(Quiescence, PromotionThreatOfTheOpponentsPawns) {
  const struct { const char* fen; int depth; int value; } cases[] = {
      {"4k3/8/8/8/8/8/p7/4K3 w - - 0 1", 0, 1120},  // free promotion square
      {"4k3/8/8/8/8/8/p7/1K6 w - - 0 1", 0, 0},     // the king takes the new queen
      {"4k3/8/8/8/8/p7/8/4K3 w - - 0 1", 0, 0},     // sixth rank: only with depth to spare
      {"4k3/8/8/8/8/p7/8/4K3 w - - 0 1", 1, 0},
      {"4k3/8/8/8/8/p7/8/4K3 w - - 0 1", 2, 560},   // two moves off: half
      {"4k3/8/8/8/8/p7/8/1K6 w - - 0 1", 2, 0},     // the stop square is guarded
      {"4k3/8/8/8/8/p7/N7/4K3 w - - 0 1", 2, 0}};   // ... or blocked
  for (const auto& c : cases) {
    ASSERT_TRUE(parseFen(c.fen)) << c.fen;
    EXPECT_EQ(promotionThreat(White, c.depth, 0), c.value) << c.fen << " depth " << c.depth;
  }
  // The threshold ends the scan early but never lowers what was found.
  ASSERT_TRUE(parseFen("4k3/8/8/8/8/8/p6p/4K3 w - - 0 1"));
  EXPECT_EQ(promotionThreat(White, 0, 100), 1120);
}

}  // namespace
