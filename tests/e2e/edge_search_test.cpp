// What the search makes of traps of the board and of interruptions: a
// pinned pawn that can still push, a halfmove clock taken from the FEN,
// and stops that arrive in the middle of a root move.
#include <gtest/gtest.h>

#include <random>

#include "e2e/edge_support.h"

namespace {

using edge::GoReply;

using EdgeSearch = edge::EngineWithOracle;

TEST_F(EdgeSearch, PinnedPawnThatCanPushIsNoStalemate) {
  // After h8a8 the a3 pawn is pinned along its file but can push: a3a4 is
  // White's only move, and then Black mates (h8a8 is one of three mates in two). Taking the push for no move
  // would score a stalemate (a draw) instead.
  const std::string position = "fen 7r/8/8/8/8/P7/2k5/Kb6 b - - 0 1";
  GoReply r = searchAndCheck(position, "go depth 6");
  ASSERT_FALSE(r.mates().empty()) << e.transcript();
  EXPECT_EQ(r.mates().back(), 2) << e.transcript();
  r = searchAndCheck(position + " moves h8a8", "go depth 4");
  EXPECT_EQ(r.best, "a3a4") << e.transcript();
  ASSERT_FALSE(r.mates().empty()) << e.transcript();
  EXPECT_EQ(r.mates().back(), -1) << e.transcript();
}

TEST_F(EdgeSearch, HalfmoveClockFromTheFenEndsTheGameAfterOneQuietMove) {
  // A rook up, but 99 plies without capture or pawn move: whatever White
  // plays (no mate in one, nothing to take) the game is drawn.
  GoReply r = searchAndCheck("fen 4k3/8/8/8/8/8/8/R3K3 w - - 99 60", "go depth 6");
  ASSERT_FALSE(r.centipawns().empty()) << e.transcript();
  EXPECT_EQ(r.centipawns().back(), 0) << e.transcript();
  // With a fresh clock the same position is a clear win.
  r = searchAndCheck("fen 4k3/8/8/8/8/8/8/R3K3 w - - 0 60", "go depth 6");
  if (r.mates().empty()) {
    ASSERT_FALSE(r.centipawns().empty()) << e.transcript();
    EXPECT_GT(r.centipawns().back(), 300) << e.transcript();
  } else {
    EXPECT_GT(r.mates().back(), 0) << e.transcript();
  }
  // A capture resets the clock and is then the only way to keep the win.
  r = searchAndCheck("fen 4k3/8/8/8/8/8/7n/R3K2R w - - 99 60", "go depth 5");
  EXPECT_EQ(r.best, "h1h2") << e.transcript();
}

TEST_F(EdgeSearch, StopsAtRandomMomentsReportTheBestOfCompletedSearches) {
  // Positions where the side to move is clearly worse: an interrupted root
  // move unwinds with 0, which would look better than every real score if
  // it were taken. The move reported must be the one of the last line
  // printed, and never one whose only score is that 0.
  const char* fens[] = {
      "3qk3/8/8/8/8/8/3PPP2/4K3 w - - 0 1",
      "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/8/PPPP1PPP/RNB1KBNR w KQkq - 0 3",
      "rnb1kbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 3",
  };
  std::mt19937 random(77);
  int checked = 0;
  for (int round = 0; round < 24; round++) {
    const std::string losing = std::string("fen ") + fens[round % 3];
    ASSERT_TRUE(e.send("position " + losing));
    ASSERT_TRUE(e.send("go infinite"));
    e.linesFor(5 + static_cast<int>(random() % 250));
    ASSERT_TRUE(e.send("stop"));
    GoReply r = edge::collect(e, 3000);
    ASSERT_NE(r.bestLine, "") << e.transcript();
    EXPECT_EQ(oracle.checkReply(losing, r), "") << e.transcript();
    // collect() only saw what came after the pause; take the whole search.
    std::vector<std::string> pv;
    const auto& lines = e.lines();
    for (size_t i = lines.size() - 1; i-- > 0 && lines[i].rfind("bestmove", 0) != 0;) {
      size_t at = lines[i].find(" pv ");
      if (lines[i].rfind("info depth", 0) == 0 && at != std::string::npos) {
        pv = edge::words(lines[i].substr(at + 4));
        break;
      }
    }
    if (pv.empty()) continue;  // stopped before the first line
    checked++;
    EXPECT_EQ(r.best, pv[0]) << losing << "\n" << e.transcript();
  }
  EXPECT_GT(checked, 12);
}

}  // namespace
