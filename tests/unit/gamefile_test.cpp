// The game file: result estimate, move comments, the PGN text of games
// played through the "position" handler, and when a game is written.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "board/history.h"
#include "board/position.h"
#include "board/setup.h"
#include "engine/edition.h"
#include "engine/gamefile.h"
#include "engine/options.h"
#include "engine/uci.h"
#include "tablebase/tablebase.h"
#include "test_support.h"

namespace {

void position(const std::string& text) {
  static char buffer[LineBufferSize];
  snprintf(buffer, sizeof buffer, "%s", text.c_str());
  HandlePosition(buffer);
}

// What the engine's search leaves in the record of one of its moves.
void searched(int k, int score, int depth, uint32_t cumulativeMs) {
  GameRecord* r = gameMoveRecord(k);
  ASSERT_NE(r, nullptr);
  r->flags |= 0x10;
  r->score = static_cast<int16_t>(score);
  r->styleDepth = static_cast<uint16_t>((r->styleDepth & 0x1F) | (depth << 10));
  r->thinkTime = cumulativeMs;
}

std::string pgnOfCurrentGame(int side, int result) {
  FILE* f = tmpfile();
  WritePgnGame(f, side, result);
  std::string text(static_cast<size_t>(ftell(f)), '\0');
  rewind(f);
  EXPECT_EQ(fread(text.data(), 1, text.size(), f), text.size());
  fclose(f);
  return text;
}

// The move text: everything after the settings comment.
std::string movesOf(const std::string& pgn) {
  const size_t end = pgn.find("}\n");
  return end == std::string::npos ? "" : pgn.substr(end + 2);
}

std::string gameFile() { return testsupport::fileText(editionGameFile); }

using testsupport::countOccurrences;

class GameFile : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDefaultOptions();
    searchFlags = optionFlags;
    std::remove(editionGameFile);
    newGameAnnounced = true;
    position("startpos");
  }
};

TEST(GameFileText, ResultsAndMoveComments) {
  for (auto [score, result] : {std::pair{257, 2}, {256, 0}, {-257, 3}, {95, 1}, {-95, 1}, {96, 0}})
    EXPECT_EQ(ResultForScore(score), result) << score;

  EXPECT_STREQ(MoveCommentText(999, false, 0, 0), "{0} ");
  EXPECT_STREQ(MoveCommentText(75000, true, 64, 9), "{1:15 0.50/9} ");
  EXPECT_STREQ(MoveCommentText(3725000, true, -128, 12), "{1:02:05 -1.00/12} ");
  EXPECT_STREQ(MoveCommentText(0, true, -50, 3), "{0 -0.39/3} ") << "a small loss keeps its sign";
  EXPECT_STREQ(MoveCommentText(0, true, 8191, 12), "{0 +M1/12} ");
  EXPECT_STREQ(MoveCommentText(0, true, -8190, 12), "{0 -M1/12} ");
  EXPECT_STREQ(MoveCommentText(0, true, -8191, 12), "{0 -M1/12} ") << "black mates in one";
  EXPECT_STREQ(MoveCommentText(0, true, 7800, 5), "{0 MATE N/5} ");
}

TEST_F(GameFile, MovesCarryTimesScoresAndDepthsFromWhitesView) {
  position("startpos moves e2e4 e7e5 g1f3 b8c6 f1b5 a7a6 b5c6 d7c6");
  searched(0, 40, 9, 1500);      // white's first move: 1.5 s
  searched(2, 64, 10, 3500);     // two seconds more
  searched(5, 20, 8, 65000);     // black's a6: score 20 for black
  const std::string moves = movesOf(pgnOfCurrentGame(0, 0));
  EXPECT_EQ(moves,
            "1.e4 {1 0.31/9} e5 {0} 2.Nf3 {2 0.50/10} Nc6 {0} 3.Bb5 {0} a6 {1:05 -0.15/8} \n"
            "4.Bxc6 {0} dxc6 {0} \n*\n\n");
  EXPECT_EQ(gameMoveRecord(0)->flags & 0x10, 0) << "written search marks are cleared";
}

// The FEN tag is the position as set up, whatever the text looked like:
// other separators, an en-passant square no pawn can use, castling letters
// without their rooks, clocks missing or out of range.
TEST_F(GameFile, TagsAndASetUpWithBlackToMove) {
  const struct { const char* text; const char* fen; } setUps[] = {
      {"4k3/8/8/8/8/8/4P3/4K3 b - - 0 12", "4k3/8/8/8/8/8/4P3/4K3 b - - 0 12"},
      {"4k3/8/8/8/8/8/4P3/4K3,b,KQkq,e3,0,12", "4k3/8/8/8/8/8/4P3/4K3 b - - 0 12"},
      {"4k3/8/8/8/8/8/4P3/4K3   black  -  -  7  00012", "4k3/8/8/8/8/8/4P3/4K3 b - - 7 12"},
      {"r3k2r/8/8/8/4Pp2/8/8/R3K2R b KQkq e3 5 12", "r3k2r/8/8/8/4Pp2/8/8/R3K2R b KQkq e3 5 12"},
      {"rk5r/8/8/8/8/8/8/RK5R b HAha - 0 12", "rk5r/8/8/8/8/8/8/RK5R b HAha - 0 12"},
  };
  for (const auto& c : setUps) {
    position(std::string("fen ") + c.text + " moves e8d7 e2e4 b8b7");
    const std::string pgn = pgnOfCurrentGame(1, 3);
    EXPECT_NE(pgn.find("[SetUp \"1\"]\n[FEN \"" + std::string(c.fen) + "\"]\n"), std::string::npos) << c.text << "\n" << pgn;
  }
  position("fen 4k3/8/8/8/8/8/4P3/4K3 b - - 0 12 moves e8d7 e2e4");
  const std::string pgn = pgnOfCurrentGame(1, 3);
  EXPECT_NE(pgn.find("[Event \"" + std::string(editionGameFile) + "\"]\n[Site \"\"]\n[Date \""), std::string::npos);
  EXPECT_NE(pgn.find("[White \"Player\"]\n[Black \"" + std::string(engineName) + "\"]\n[Result \"0-1\"]\n"
                     "[SetUp \"1\"]\n[FEN \"4k3/8/8/8/8/8/4P3/4K3 b - - 0 12\"]\n{CT=1 Hash=16Mb"),
            std::string::npos)
      << pgn;
  EXPECT_EQ(movesOf(pgn), "12...Kd7 {0} 13.e4 {0} \n0-1\n\n");
  // The settings count the table files registered.
  tbFilesRegistered = 7;
  EXPECT_NE(pgnOfCurrentGame(1, 3).find(" Tbs=7/1Mb/d=4 "), std::string::npos);
  tbFilesRegistered = 0;
}

TEST_F(GameFile, AMateGetsItsSignAndLongGamesBreakIntoLines) {
  position("startpos moves f2f3 e7e5 g2g4 d8h4");
  searched(3, 8191, 1, 0);
  gameMoveRecord(3)->flags |= 0x500;  // the search's verdict: the move mates
  const std::string moves = movesOf(pgnOfCurrentGame(1, 3));
  EXPECT_NE(moves.find("Qh4# {0 -M1/1} "), std::string::npos) << moves;

  std::string list = "startpos moves";
  for (int i = 0; i < 10; i++) list += " g1f3 g8f6 f3g1 f6g8";
  position(list);
  std::istringstream lines(movesOf(pgnOfCurrentGame(0, 0)));
  std::string line;
  int count = 0;
  while (std::getline(lines, line) && line != "*") {
    EXPECT_LE(line.size(), 80u) << line;
    count++;
  }
  EXPECT_GT(count, 3);
  EXPECT_EQ(line, "*") << "the result follows the moves";
}

TEST_F(GameFile, SearchDataOfMovesCompactedAwayAreStillWritten) {
  std::string list = "startpos moves e2e4 e7e5";
  position(list);
  searched(0, 128, 11, 2000);
  for (int i = 0; i < 150; i++) list += " g1f3 g8f6 f3g1 f6g8";
  position(list);
  ASSERT_EQ(gameMovesPlayed, 602);
  ASSERT_LT(gameTop - gameHistory, 400) << "the record was compacted";
  const std::string moves = movesOf(pgnOfCurrentGame(0, 1));
  EXPECT_EQ(moves.rfind("1.e4 {2 1.00/11} e5 {0} 2.Nf3 {0} ", 0), 0u) << moves.substr(0, 80);
  EXPECT_NE(moves.find("301.Ng1 {0} "), std::string::npos);
  EXPECT_EQ(moves.substr(moves.size() - 18), "Ng8 {0} \n1/2-1/2\n\n");
}

TEST_F(GameFile, EachFinishedGameIsAppendedOnce) {
  position("startpos moves e2e4 e7e5 g1f3");
  searched(2, 300, 7, 100);
  SaveFinishedGame();
  const std::string first = gameFile();
  EXPECT_NE(first.find("[White \"" + std::string(engineName) + "\"]"), std::string::npos);
  EXPECT_NE(first.find("[Result \"1-0\"]"), std::string::npos) << "a score above two pawns wins";
  SaveFinishedGame();  // "quit" right after "ucinewgame"
  EXPECT_EQ(gameFile(), first) << "an unchanged game is not written again";

  position("startpos moves d2d4");
  SaveFinishedGame();
  EXPECT_EQ(gameFile(), first) << "a game of one move is not written";

  saveFlags &= ~SaveAutoPgn;
  position("startpos moves c2c4 e7e5 b1c3");
  const int before = gameCounter;
  SaveFinishedGame();
  EXPECT_EQ(gameFile(), first) << "AutoSave PGN off";
  EXPECT_EQ(gameCounter, before + 1) << "the game still counts";
  saveFlags |= SaveAutoPgn;
}

// Whatever comes after the end of a game (a "ucinewgame", a refused FEN, a
// move played on the old board), the game is in the file once, and a
// "position" without "startpos" or "fen" continues the game instead of
// ending it.
TEST_F(GameFile, AGameIsWrittenOnceAndABarePositionContinuesIt) {
  const struct { const char* name; std::vector<const char*> after; } cases[] = {
      {"quit after ucinewgame", {}},
      {"refused FEN, a move, another game", {"fen 8/8/8/8/8/8/8/8 w - - 0 1", "moves a7a6", "startpos moves d2d4 d7d5 c2c4"}},
      {"bare position, another game", {"", "moves a7a6", "startpos moves d2d4 d7d5 c2c4"}},
  };
  for (const auto& c : cases) {
    std::remove(editionGameFile);
    position("startpos moves e2e4 e7e5 g1f3");
    SaveFinishedGame();  // "ucinewgame"
    newGameAnnounced = true;
    for (const char* text : c.after) position(text);
    SaveFinishedGame();  // "quit"
    const std::string file = gameFile();
    EXPECT_EQ(countOccurrences(file, "[Event "), c.after.empty() ? 1 : 2) << c.name << "\n" << file;
    EXPECT_EQ(countOccurrences(file, "1.e4 {0} e5 {0} 2.Nf3 {0}"), 1) << c.name << "\n" << file;
  }

  std::remove(editionGameFile);
  newGameAnnounced = true;
  position("startpos moves e2e4 e7e5 g1f3");
  const int before = gameCounter;
  position("");
  position("moves b8c6");
  position("moves");
  EXPECT_EQ(gameCounter, before) << "the game goes on";
  position("startpos moves e2e4 e7e5 g1f3 b8c6 f1b5");
  EXPECT_EQ(gameCounter, before) << "and the GUI's next list still continues it";
  SaveFinishedGame();
  EXPECT_NE(gameFile().find("1.e4 {0} e5 {0} 2.Nf3 {0} Nc6 {0} 3.Bb5 {0} \n*\n"), std::string::npos) << gameFile();
}

TEST_F(GameFile, ANewGameOnTheSameMovesStartsWithoutTheOldSearchData) {
  position("startpos moves e2e4 e7e5 g1f3");
  searched(1, 50, 9, 4000);
  position("startpos moves e2e4 e7e5 g1f3 b8c6");
  EXPECT_EQ(gameMoveRecord(1)->flags & 0x10, 0x10) << "the same game goes on";
  newGameAnnounced = true;  // "ucinewgame"
  position("startpos moves e2e4 e7e5 g1f3");
  EXPECT_EQ(gameMoveRecord(1)->flags & 0x10, 0);
  EXPECT_EQ(gameMoveRecord(1)->thinkTime, 0u);
}

}  // namespace
