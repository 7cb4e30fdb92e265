// The book probe of braxen-tool: the exact chances of each Book Style against
// hand-counted cases and against the engine's own random choice, the
// position arguments, and the book that comes with the engine (built from
// its games as documented, main lines for Tournament, no unplayable record).
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
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
#include "tools/book_probe.h"
#include "test_support.h"

namespace {

const std::string shippedBook = std::string(BRAXEN_SOURCE_DIR) + "/data/B12SPBook.bxk";

double total(const std::vector<double>& odds) {
  double sum = 0;
  for (double p : odds) sum += p;
  return sum;
}

// Hand-counted: Varied scores (1..8) x w, ties go to the first record;
// Tournament doubles per class and draws 1..64, so class 7 against class 3
// is 16 to 1 before the draw: class 3 wins when its draw beats 16 times the
// other's (48 + 32 + 16 of 4096 pairs), or equals it when it comes first.
TEST(BookProbeOdds, ExactChancesOfEachStyle) {
  struct Case { int style; std::vector<int> weights; std::vector<double> odds; };
  const Case cases[] = {
      {3, {12, 12}, {36.0 / 64, 28.0 / 64}},
      {4, {28, 12}, {1 - 96.0 / 4096, 96.0 / 4096}},
      {4, {12, 28}, {100.0 / 4096, 1 - 100.0 / 4096}},  // first: ties count (49 + 33 + 17 + 1)
      {2, {8, 4}, {1, 0}},   // Wide leaves class 1 out
      {3, {8, 8}, {0, 0}},   // Varied plays nothing below class 3: no book move
      {1, {4, -1}, {1, 0}},  // an illegal record is no candidate
  };
  for (const Case& c : cases) {
    std::vector<double> odds;
    bookStyleOdds(c.style, c.weights, std::vector<uint16_t>(c.weights.size(), 0), true, &odds);
    ASSERT_EQ(odds.size(), c.weights.size());
    for (size_t i = 0; i < odds.size(); ++i) EXPECT_NEAR(odds[i], c.odds[i], 1e-12) << c.style << " " << i;
  }
  std::vector<double> equal;
  bookStyleOdds(4, {28, 28, 28, 28}, {0, 0, 0, 0}, true, &equal);
  EXPECT_NEAR(total(equal), 1, 1e-12);
  EXPECT_GT(equal[0], equal[1]) << "the first of equal scores is played";
  EXPECT_GT(equal[2], equal[3]);
  // Learning marks count under Tournament only with learning on: a win mark
  // doubles, three loss marks divide by 16.
  std::vector<double> plain, marked;
  bookStyleOdds(4, {28, 28}, {0, 0}, true, &plain);
  bookStyleOdds(4, {28, 28}, {0x80, 0x60}, true, &marked);
  EXPECT_GT(marked[0], 0.99);
  EXPECT_LT(plain[0], 0.6);
  bookStyleOdds(4, {28, 28}, {0x80, 0x60}, false, &marked);
  EXPECT_NEAR(marked[0], plain[0], 1e-12);
}

// The chances the probe prints are what the engine's draws produce.
TEST(BookProbeOdds, MatchTheEnginesChoices) {
  std::string problem;
  ASSERT_TRUE(setUpProbePosition({"startpos", "e2e4"}, &problem)) << problem;
  std::vector<BookEntry> entries;
  const uint32_t key = bookKey();
  const uint16_t check = static_cast<uint16_t>(bookKeyCheck() << 8);
  constexpr int moves[4][3] = {{50, 34, 7}, {52, 36, 5}, {52, 44, 3}, {54, 46, 2}};  // c5, e5, e6, g6
  for (const auto& m : moves)
    entries.push_back({key, static_cast<uint16_t>(makeMoveWord(m[0], m[1], 0) | (m[2] << 12)),
                       static_cast<uint16_t>(m[2] * 4 | check)});
  ASSERT_TRUE(writeBookFile("probe-odds.bxk", entries));
  snprintf(bookFileName, sizeof bookFileName, "%s", "probe-odds.bxk");
  ASSERT_TRUE(bookOpen());
  const std::vector<ProbedMove> probed = probeBookPosition(true);
  ASSERT_EQ(probed.size(), 4u);
  Move legal[MaxMovesPerPly];
  ScoredMove list[MaxMovesPerPly];
  const int n = generateLegalMoves(legal);
  for (int i = 0; i < n; ++i) list[i] = {legal[i], 0};
  constexpr int Draws = 6000;
  for (int style = 1; style <= 4; ++style) {
    int seen[4] = {0, 0, 0, 0};
    for (int k = 0; k < Draws; ++k) {
      lastBookPly = -1;
      const Move m = bookProbe(OptOwnBook | OptBookLearning | (style << OptBookStyleShift), list, list + n);
      for (int r = 0; r < 4; ++r) seen[r] += (m & FromToMask) == (probed[r].moveWord & FromToMask);
    }
    for (int r = 0; r < 4; ++r)
      EXPECT_NEAR(seen[r] / static_cast<double>(Draws), probed[r].odds[style], 0.03) << "style " << style << " move " << r;
  }
  bookClose();
}

TEST(BookProbeArguments, PositionAndMoves) {
  // fen: the position reached, or null when refused.
  struct Case { std::vector<std::string> args; const char* fen; };
  const Case cases[] = {
      {{"startpos"}, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"},
      {{"startpos", "moves", "e2e4", "Nf6"}, "rnbqkb1r/pppppppp/5n2/8/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 1 2"},
      {{"8/8/8/4k3/8/8/8/R3K3 w Q - 0 1", "Kf1"}, "8/8/8/4k3/8/8/8/R4K2 b - - 1 1"},
      {{"8/8/8/4k3/8/8/8/R3K3", "w", "-", "-", "3", "40", "a1a2"}, "8/8/8/4k3/8/8/R7/4K3 b - - 4 40"},
      {{"startpos", "e2e5"}, nullptr},
      {{}, nullptr},
  };
  for (const Case& c : cases) {
    std::string problem;
    const bool ok = setUpProbePosition(c.args, &problem);
    EXPECT_EQ(ok, c.fen != nullptr) << (c.args.empty() ? "" : c.args[0]) << ": " << problem;
    if (ok) {
      newGame();
      ASSERT_NE(parseFen(c.fen), 0u);
      const uint64_t expected = pos.hashKey;
      ASSERT_TRUE(setUpProbePosition(c.args, &problem));
      EXPECT_EQ(pos.hashKey, expected) << c.fen;
    } else {
      EXPECT_FALSE(problem.empty());
    }
  }
}

// The book in the repository is what the builder makes of the documented
// games, so a change of the weighting cannot go out with a stale book.
TEST(ShippedBook, IsBuiltFromTheDocumentedGames) {
  const std::string games = std::string(BRAXEN_DATA_DIR) + "/games/";
  BookBuilder builder;
  for (const char* name : {"tcec-top-4857.pgn", "carlsen-pgnmentor-2851.pgn"}) {
    std::vector<PgnGame> some;
    ASSERT_TRUE(readPgnFile(games + name, &some)) << name;
    for (const PgnGame& g : some) bookAddGame(&builder, g);
  }
  ASSERT_TRUE(writeBookFile("rebuilt.bxk", bookFinish(&builder, 2)));
  const std::string shipped = testsupport::fileText(shippedBook), rebuilt = testsupport::fileText("rebuilt.bxk");
  ASSERT_FALSE(shipped.empty()) << shippedBook;
  EXPECT_TRUE(shipped == rebuilt) << "rebuild data/B12SPBook.bxk as data/PROVENANCE.md says";
}

// Tournament keeps to the main lines; every record can be played by some style.
TEST(ShippedBook, TournamentPlaysMainLines) {
  snprintf(bookFileName, sizeof bookFileName, "%s", shippedBook.c_str());
  ASSERT_TRUE(bookOpen());
  // mainMoves: together at least 95 % under Tournament; varietyVaried: Varied gives the others at least this much.
  struct Case { std::vector<std::string> line; std::vector<std::string> mainMoves; double varietyVaried; };
  const Case cases[] = {
      {{"startpos"}, {"e2e4", "d2d4"}, 0.05},
      {{"startpos", "e4", "e5"}, {"g1f3"}, 0},
      {{"startpos", "d4", "Nf6"}, {"c2c4", "g1f3"}, 0},
  };
  for (const Case& c : cases) {
    std::string problem;
    ASSERT_TRUE(setUpProbePosition(c.line, &problem)) << problem;
    const std::vector<ProbedMove> moves = probeBookPosition(true);
    double main = 0, mainVaried = 0, all[5] = {0, 0, 0, 0, 0};
    for (const ProbedMove& m : moves) {
      EXPECT_NE(m.moveWord >> 12, 0) << "no record that no style plays";
      for (int s = 1; s <= 4; ++s) all[s] += m.odds[s];
      for (const std::string& t : c.mainMoves) {
        Move wanted = parseMoveText(t.c_str());
        if (completeMove(pos.sideToMove, &wanted) && (wanted & FromToMask) == (m.moveWord & FromToMask)) {
          main += m.odds[4];
          mainVaried += m.odds[3];
        }
      }
    }
    for (int s = 1; s <= 4; ++s) EXPECT_NEAR(all[s], 1, 1e-9) << c.line.back() << " style " << s;
    EXPECT_GE(main, 0.95) << c.line.back();
    EXPECT_GE(1 - mainVaried, c.varietyVaried) << c.line.back();
  }
  bookClose();
}

}  // namespace
