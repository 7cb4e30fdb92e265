// The "position" handler in-process: what it plays, and how it keeps the
// game record's search data while the GUI's move list follows the game.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "board/history.h"
#include "board/setup.h"
#include "board/types.h"
#include "engine/gamefile.h"
#include "engine/uci.h"
#include "search/think.h"

namespace {

void position(const std::string& text) {
  static char buffer[LineBufferSize];
  strcpy(buffer, text.c_str());
  HandlePosition(buffer);
}

class PositionHandler : public ::testing::Test {
 protected:
  void SetUp() override {
    newGameAnnounced = true;  // no game-end test against an earlier test's text
    position("startpos");
  }
};

TEST_F(PositionHandler, PlaysTheListAndSkipsRejectedTokens) {
  position("startpos moves e2e4 xyz e7e5 e2e4 a7a1 g1f3");
  EXPECT_EQ(gamePlyCount, 4);
  EXPECT_EQ(pos.plyCount, 4u);
  EXPECT_EQ(gameSideToMove, Black);
  EXPECT_EQ(gameTop, gameHistory + 4);
  EXPECT_EQ(gameTop->move & FromToMask, makeMoveWord(6, 21, 0));  // g1f3
}

TEST_F(PositionHandler, SearchDataSurviveWhileTheListFollowsTheGame) {
  position("startpos moves e2e4 e7e5");
  // What the engine's search stores with its moves: score, marks, depth, time.
  gameHistory[2].score = 77;
  gameHistory[2].flags |= 0x10;
  gameHistory[2].styleDepth = 12 << 10;
  gameHistory[2].thinkTime = 1234;
  gameHistory[3].score = -20;
  gameHistory[3].thinkTime = 999;
  gameHistory[3].flags |= 0x10 | 0x1000;  // a book move
  lastBookPly = -1;

  position("startpos moves e2e4 e7e5 g1f3");
  EXPECT_EQ(gameHistory[2].score, 77);
  EXPECT_EQ(gameHistory[2].flags & 0x10, 0x10);
  EXPECT_EQ(gameHistory[2].styleDepth, 12 << 10);
  EXPECT_EQ(gameHistory[2].thinkTime, 1234u);
  EXPECT_EQ(gameHistory[3].score, -20);
  EXPECT_EQ(gameHistory[3].thinkTime, 999u);
  EXPECT_EQ(lastBookPly, 3) << "the book mark of a followed record names its ply";

  // Another first move: every record from there on is new.
  position("startpos moves d2d4 e7e5");
  for (int ply : {2, 3}) {  // after a difference even a matching move starts afresh
    EXPECT_EQ(gameHistory[ply].score, 0) << ply;
    EXPECT_EQ(gameHistory[ply].flags & 0x10, 0) << ply;
    EXPECT_EQ(gameHistory[ply].thinkTime, 0u) << ply;
  }
}

TEST_F(PositionHandler, AGameEndsWhenTheListNoLongerContinuesIt) {
  newGameAnnounced = false;
  position("startpos moves e2e4 e7e5 g1f3 b8c6");
  int before = gameCounter;
  position("startpos moves e2e4 e7e5 g1f3 b8c6 f1b5 a7a6");
  EXPECT_EQ(gameCounter, before) << "two more moves continue the game";
  position("startpos moves d2d4");
  EXPECT_EQ(gameCounter, before + 1) << "only the word startpos in common: a new game";
  position("startpos moves d2d4 d7d5");
  EXPECT_EQ(gameCounter, before + 1) << "under three half-moves there is no game to end";
  newGameAnnounced = true;
  position("startpos moves c2c4 e7e5 b1c3");
  EXPECT_EQ(gameCounter, before + 1) << "after ucinewgame the game was already ended";
}

TEST_F(PositionHandler, HundredsOfReversibleMovesStayInsideTheRecord) {
  std::string list = "startpos moves";
  for (int i = 0; i < 300; i++) list += " g1f3 g8f6 f3g1 f6g8";
  position(list + " e2e4");
  EXPECT_EQ(gameSideToMove, Black);
  EXPECT_EQ(pos.pieceOn[28], Pawn);
  EXPECT_LT(gameTop, gameHistory + GameHistorySize);
  EXPECT_EQ(gamePlyCount, static_cast<int32_t>(pos.plyCount));
}

}  // namespace
