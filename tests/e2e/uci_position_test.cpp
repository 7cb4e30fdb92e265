// The "position" command seen through the moves it plays. A checkmated side
// to move has no legal move, so "bestmove 0000" proves that every move of a
// mating list was played, and a real best move proves that one was not.
#include <gtest/gtest.h>

#include "e2e/engine_process.h"

namespace {

// The position after the moves, searched briefly: the move text of "bestmove".
std::string bestMoveAfter(EngineProcess& e, const std::string& position) {
  if (!e.send(position) || !e.send("go depth 2")) return "<no pipe>";
  std::string line = e.waitFor("bestmove");
  if (line.empty()) return "<no bestmove>";
  size_t end = line.find(' ', 9);
  return line.substr(9, end == std::string::npos ? std::string::npos : end - 9);
}

class PositionCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(e.start());
    ASSERT_TRUE(e.handshake());
  }
  void TearDown() override {
    e.send("quit");
    EXPECT_EQ(e.waitExit(), 0) << e.transcript();
  }
  EngineProcess e;
};

constexpr char foolsMate[] = "f2f3 e7e5 g2g4 d8h4";  // White is mated
constexpr char beforeMate[] = "rnbqkbnr/pppp1ppp/8/4p3/6P1/5P2/PPPPP2P/RNBQKBNR b KQkq g3 0 2";

TEST_F(PositionCommand, RejectedTokensAreSkipped) {
  EXPECT_EQ(bestMoveAfter(e, "position startpos moves f2f3 xyz e7e5 e2e5 g2g4 a1a8 d8h4"), "0000");
  EXPECT_EQ(bestMoveAfter(e, "position startpos moves f2f3 e7e5 g2g4"), "d8h4");
  // Moves are read in the position they are played in, SAN included, any line end.
  EXPECT_EQ(bestMoveAfter(e, "position startpos moves f2f3 e5 g4 Qh4"), "0000");
  EXPECT_EQ(bestMoveAfter(e, std::string("position startpos moves ") + foolsMate + "\r"), "0000");
}

TEST_F(PositionCommand, FenWithAndWithoutMoves) {
  EXPECT_EQ(bestMoveAfter(e, std::string("position fen ") + beforeMate), "d8h4");
  EXPECT_EQ(bestMoveAfter(e, std::string("position fen ") + beforeMate + " moves d8h4"), "0000");
  EXPECT_EQ(bestMoveAfter(e, "position startpos"), bestMoveAfter(e, "position startpos moves"));
}

TEST_F(PositionCommand, RejectedFenPlaysNoneOfItsMoves) {
  ASSERT_EQ(bestMoveAfter(e, "position startpos moves f2f3 e7e5 g2g4"), "d8h4");
  // The refused FEN keeps the previous position; its "moves" belong to the
  // refused one and must not be played on the old board.
  EXPECT_EQ(bestMoveAfter(e, "position fen not/a/fen w - - 0 1 moves d8h4"), "d8h4");
  EXPECT_EQ(bestMoveAfter(e, "position fen 8/8/8/8/8/8/8/8 w - - 0 1 moves d8h4"), "d8h4");
}

TEST_F(PositionCommand, LongMoveListsAreReadWhole) {
  // 800 reversible plies (about 4000 characters), then a mate.
  std::string list = "position startpos moves";
  for (int i = 0; i < 200; i++) list += " g1f3 g8f6 f3g1 f6g8";
  ASSERT_GT(list.size(), 4000u);
  EXPECT_EQ(bestMoveAfter(e, list + " " + foolsMate), "0000");
  // The same game sent again with one more move: it still holds together.
  EXPECT_EQ(bestMoveAfter(e, list + " f2f3 e7e5 g2g4"), "d8h4");
}

TEST_F(PositionCommand, PositionsFollowEachOtherInAGame) {
  std::string game = "position startpos moves";
  const char* moves[] = {"f2f3", "e7e5", "g2g4"};
  for (const char* m : moves) {
    game += std::string(" ") + m;
    ASSERT_TRUE(e.send(game));
  }
  EXPECT_EQ(bestMoveAfter(e, game), "d8h4");
  // A new game from the start position after the old one.
  EXPECT_EQ(bestMoveAfter(e, "position startpos moves e2e4 f7f6 d2d4 g7g5"), "d1h5");
}

}  // namespace
