// The PGN reader over real files and their edge cases, and the book
// builder: weights, the game filter, sorted output the engine's own probe
// reads back.
#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>
#include <string>
#include <vector>

#include "board/history.h"
#include "board/movegen.h"
#include "board/position.h"
#include "board/setup.h"
#include "book/bookfile.h"
#include "book/bookprobe.h"
#include "engine/options.h"
#include "search/think.h"
#include "tools/book_build.h"
#include "tools/pgn_reader.h"
#include "tools/tools.h"

namespace {

const std::string gamesDir = std::string(BRAXEN_DATA_DIR) + "/games/";

std::vector<PgnGame> read(const std::string& name) {
  std::vector<PgnGame> games;
  EXPECT_TRUE(readPgnFile(gamesDir + name, &games)) << name;
  return games;
}

// Plays a game's moves on the engine's board; the number played.
int playable(const PgnGame& g) {
  newGame();
  int n = 0;
  for (const std::string& text : g.moves) {
    Move m = parseMoveText(text.c_str());
    if (m == 0 || !completeMove(pos.sideToMove, &m) || !playGameMove(m)) break;
    n++;
  }
  return n;
}

TEST(PgnReader, CommentsVariationsNagsAndPlyCounts) {
  for (const char* name : {"pgn-edge-cases/kasparov-deep-blue-1997.pgn", "tcec-s10-superfinal-10-commented.pgn",
                           "pgn-edge-cases/molinari-bordais-1979.pgn", "pgn-edge-cases/stockfish-learning.pgn"}) {
    const std::vector<PgnGame> games = read(name);
    ASSERT_FALSE(games.empty()) << name;
    for (const PgnGame& g : games) {
      SCOPED_TRACE(std::string(name) + " " + g.tag("Round"));
      EXPECT_EQ(std::to_string(g.moves.size()), g.tag("PlyCount"));
      EXPECT_EQ(playable(g), static_cast<int>(g.moves.size())) << "every main-line move is legal";
      EXPECT_FALSE(g.result.empty());
    }
  }
  EXPECT_EQ(read("tcec-s10-superfinal-10-commented.pgn").size(), 10u);
}

TEST(PgnReader, OddFilesAndOtherVariants) {
  const std::vector<PgnGame> bom = read("pgn-edge-cases/utf8-bom.pgn");
  ASSERT_EQ(bom.size(), 2u);
  EXPECT_EQ(bom[0].tag("Event"), "A") << "the byte-order mark is not part of the first tag";
  EXPECT_TRUE(bom[0].moves.empty());
  for (const char* name : {"pgn-edge-cases/chessbase-empty-line.pgn", "pgn-edge-cases/uci-moves.pgn",
                           "pgn-edge-cases/nepomniachtchi-liren-game1.pgn"}) {
    const std::vector<PgnGame> games = read(name);
    ASSERT_EQ(games.size(), 1u) << name;
    EXPECT_GT(games[0].moves.size(), 20u) << name;
    EXPECT_EQ(playable(games[0]), static_cast<int>(games[0].moves.size())) << name;
  }
  for (const char* name : {"pgn-edge-cases/cutechess-fischerrandom.pgn", "pgn-edge-cases/antichess-programfox.pgn",
                           "pgn-edge-cases/saturs-jannlee-zh-lichess.pgn"})
    for (const PgnGame& g : read(name)) EXPECT_FALSE(g.fromStandardStart()) << name;

  const std::vector<PgnGame> text = readPgnText(
      "[Event \"x\"]\r\n\r\n1.e4 {a {comment} e5 (1...c5 (1...e6) 2.Nf3) 2.Nf3 $1 Nc6!? ; to the end\r\n"
      "3.Bb5 a6 *\r\n[Event \"y\"]\r\n[Variant \"normal\"]\r\n1. d4 1-0\r\n");
  ASSERT_EQ(text.size(), 2u);
  EXPECT_EQ(text[0].moves, (std::vector<std::string>{"e4", "e5", "Nf3", "Nc6!?", "Bb5", "a6"}));
  EXPECT_EQ(text[0].result, "*");
  EXPECT_TRUE(text[1].fromStandardStart());
  EXPECT_EQ(text[1].moves, (std::vector<std::string>{"d4"}));

  // Without a result token the Result tag scores the game.
  BookBuildCounts counts;
  const std::vector<PgnGame> untokened = readPgnText("[Result \"0-1\"]\n1.f3 e5 2.g4 Qh4#\n\n[Result \"0-1\"]\n1.f3 e5\n");
  const std::vector<BookEntry> book = buildBook(untokened, 2, 2, &counts);
  ASSERT_EQ(book.size(), 2u);
  for (const BookEntry& e : book) EXPECT_EQ(e.move >> 12, e.key & 1 ? 0 : 1) << "white lost both, black won both";
}

TEST(BookBuild, ClassesFollowGamesAndScore) {
  struct Case {
    int games, scored;
    double points;
    int cls;
  };
  constexpr Case cases[] = {{1, 1, 0.5, 0},    {2, 2, 1, 1},    {3, 0, 0, 1},     {4, 4, 2, 2},  {127, 0, 0, 6},
                            {128, 0, 0, 7},    {5000, 0, 0, 7}, {16, 16, 4, 2},   {16, 16, 6, 3}, {16, 16, 10, 5},
                            {7, 7, 7, 2},      {8, 8, 8, 4},    {2, 2, 0, 0}};
  for (const Case& c : cases) EXPECT_EQ(bookClass(c.games, c.scored, c.points), c.cls) << c.games << " " << c.points;
}

TEST(BookBuild, RecordsCarryTheEnginesKeysAndTheGameFilter) {
  const std::vector<PgnGame> games = readPgnText(
      "1.e4 e5 2.Nf3 *\n\n1.e4 c5 1-0\n\n1.e4 e5 0-1\n\n1.d4 d5 1/2-1/2\n\n"
      "[FEN \"8/8/8/8/8/8/4k3/4K3 w - - 0 1\"]\n\n1.Kd1 *\n");
  BookBuildCounts counts;
  const std::vector<BookEntry> book = buildBook(games, 24, 2, &counts);
  EXPECT_EQ(counts.games, 5);
  EXPECT_EQ(counts.skippedSetUp, 1);
  ASSERT_EQ(book.size(), 2u) << "d4, c5 and Nf3 were played once only";
  newGame();
  const uint32_t start = bookKey();
  const uint8_t startCheck = bookKeyCheck();
  Move e4 = parseMoveText("e4");
  ASSERT_TRUE(completeMove(White, &e4));
  playGameMove(e4);
  for (const BookEntry& e : book) {
    const bool first = e.key == start;
    EXPECT_TRUE(first || e.key == bookKey());
    EXPECT_EQ(e.learn >> 8, first ? startCheck : bookKeyCheck());
    EXPECT_EQ(e.move & FromToMask, first ? makeMoveWord(12, 28, 0) : makeMoveWord(52, 36, 0));
    EXPECT_EQ(e.move >> 12, 1) << "two or three games: class 1";
    EXPECT_EQ(e.learn & 31, 4) << "the learned weight starts at the static one";
  }
  EXPECT_LT(book[0].key, book[1].key);
}

TEST(BookBuild, TheEnginePlaysFromABookOfMasterGames) {
  BookBuildCounts counts;
  const std::vector<BookEntry> book = buildBook(read("carlsen-pgnmentor-2851.pgn"), 24, 2, &counts);
  EXPECT_EQ(counts.stoppedIllegal, 0);
  const std::string path = "carlsen.bxk";
  ASSERT_TRUE(writeBookFile(path, book));
  std::string problem;
  EXPECT_EQ(checkBookFile(path, &problem), static_cast<long>(book.size())) << problem;

  snprintf(bookFileName, sizeof bookFileName, "%s", path.c_str());
  ASSERT_TRUE(bookOpen());
  newGame();
  Move legal[MaxMovesPerPly];
  ScoredMove list[MaxMovesPerPly];
  const int n = generateLegalMoves(legal);
  for (int i = 0; i < n; ++i) list[i] = {legal[i], 0};
  const uint32_t tournament = OptOwnBook | (4u << OptBookStyleShift);
  for (int k = 0; k < 20; ++k) {
    lastBookPly = -1;
    const Move m = bookProbe(tournament, list, list + n) & FromToMask;
    EXPECT_TRUE(m == makeMoveWord(12, 28, 0) || m == makeMoveWord(11, 27, 0) || m == makeMoveWord(6, 21, 0) ||
                m == makeMoveWord(10, 26, 0))
        << "a main first move, not " << m;
  }
  bookClose();

  std::vector<BookEntry> shuffled = book;
  std::swap(shuffled.front(), shuffled.back());
  ASSERT_TRUE(writeBookFile(path, shuffled));
  EXPECT_EQ(checkBookFile(path, &problem), -1);
  EXPECT_NE(problem.find("order"), std::string::npos);
}

// On a fresh account the data folder does not exist until the engine first
// runs; a book built into it creates it. Any other missing folder is the
// user's mistake and stays an error.
TEST(BookBuild, ABookForTheDataFolderCreatesTheFolder) {
  char here[1024];
  ASSERT_NE(getcwd(here, sizeof here), nullptr);
  const std::string account = std::string(here) + "/fresh-account";
  ASSERT_EQ(setenv("APPDATA", account.c_str(), 1), 0);
  const std::string pgn = gamesDir + "carlsen-pgnmentor-2851.pgn";
  const struct {
    std::string out;
    int status;
  } cases[] = {
      {account + "/BRAXEN Chess//B12SPBook.bxk", 0},
      {account + "/BRAXEN Chess/B12SPBook.bxk", 0},
      {std::string(here) + "/no-such-folder/B12SPBook.bxk", 1},
  };
  for (const auto& c : cases) {
    std::string args[] = {"book", "build", c.out, pgn};
    char* argv[] = {args[0].data(), args[1].data(), args[2].data(), args[3].data()};
    EXPECT_EQ(bookCommand(4, argv), c.status) << c.out;
    std::string problem;
    EXPECT_EQ(checkBookFile(c.out, &problem) > 0, c.status == 0) << c.out << ": " << problem;
  }
  unsetenv("APPDATA");
}

}  // namespace
