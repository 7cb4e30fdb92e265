// The book over book files written here. The probe: the binary search on
// disk, the key check, legality, the styles' class thresholds and weights,
// leaving the book. Learning: what a game's result writes back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "board_support.h"
#include "book/bookfile.h"
#include "book/booklearn.h"
#include "book/bookprobe.h"
#include "engine/options.h"
#include "search/think.h"

namespace {

using boardtest::playMoves;

struct Entry { uint32_t key; uint16_t move, learn; };

void writeBook(std::vector<Entry> entries, uint32_t countWord = 0) {
  std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.key < b.key; });
  FILE* f = fopen("book.bxk", "wb");
  ASSERT_NE(f, nullptr);
  const uint32_t n = countWord != 0 ? countWord : static_cast<uint32_t>(entries.size());
  auto put = [f](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) fputc(static_cast<int>((v >> (8 * i)) & 0xFF), f);
  };
  put(n, 4);
  for (const Entry& e : entries) {
    put(e.key, 4);
    put(e.move, 2);
    put(e.learn, 2);
  }
  fclose(f);
  snprintf(bookFileName, sizeof bookFileName, "%s", "book.bxk");
  ASSERT_TRUE(bookOpen());
}

// A record of the current position: move from/to, static class, learned weight.
Entry record(int from, int to, int staticClass, int learned = -1) {
  const int w = learned >= 0 ? learned : staticClass * 4;
  return {bookKey(), static_cast<uint16_t>(makeMoveWord(from, to, 0) | (staticClass << 12)),
          static_cast<uint16_t>(w | (bookKeyCheck() << 8))};
}

uint32_t styleFlags(int style, bool learning = false) {
  return OptOwnBook | (static_cast<uint32_t>(style) << OptBookStyleShift) | (learning ? OptBookLearning : 0);
}

// The book move for the current position, the last book hit at lastPly (-1: none).
Move probe(uint32_t flags, int32_t lastPly = -1) {
  Move legal[MaxMovesPerPly];
  const int n = generateLegalMoves(legal);
  ScoredMove list[MaxMovesPerPly];
  for (int i = 0; i < n; ++i) list[i] = {legal[i], 0};
  lastBookPly = lastPly;
  return static_cast<Move>(bookProbe(flags, list, list + n) & ~CheckMark);
}

// Filler records of other positions around the ones a test looks for.
std::vector<Entry> filler(int count) {
  std::vector<Entry> v;
  uint32_t x = 12345;
  for (int i = 0; i < count; ++i) {
    x = x * 1103515245u + 12345u;
    v.push_back({x, static_cast<uint16_t>(makeMoveWord(12, 28, 0) | (7 << 12)), 28});
  }
  return v;
}

constexpr int e2 = 12, e4 = 28, d2 = 11, d4 = 27, g1 = 6, f3 = 21, e1 = 4, e3 = 20;

class BookProbe : public ::testing::Test {
 protected:
  void SetUp() override { newGame(); }
  void TearDown() override { bookClose(); }
};

TEST_F(BookProbe, BinarySearchFindsTheFirstRecordOfAKeyAmongMany) {
  std::vector<Entry> v = filler(5000);
  for (int i = 0; i < 25; ++i) v.push_back(record(g1, f3, 7));  // more than half a window of one key
  writeBook(v);
  int i = -1;
  ASSERT_TRUE(bookFind(bookKey(), &i));
  EXPECT_EQ(bookWindow[i].key, bookKey());
  EXPECT_TRUE(i == 0 || bookWindow[i - 1].key != bookKey());
  for (uint32_t key : {0u, 0xFFFFFFFFu, bookKey() ^ 2u}) EXPECT_FALSE(bookFind(key, &i)) << key;
  EXPECT_EQ(probe(styleFlags(4)), makeMoveWord(g1, f3, 0));
}

TEST_F(BookProbe, ACountWordBeyondTheFileEndsTheSearchWithoutAResult) {
  std::vector<Entry> v = filler(100);
  v.push_back(record(e2, e4, 7));
  writeBook(v, 1000000);
  int i = -1;
  EXPECT_FALSE(bookFind(0xFFFFFFFFu, &i));
  probe(styleFlags(4));  // must neither crash nor read past the file
}

TEST_F(BookProbe, StylesKeepTheirClassThresholds) {
  writeBook({record(e2, e4, 1), record(d2, d4, 0)});
  EXPECT_EQ(probe(styleFlags(2)), 0) << "Wide needs class 2";
  EXPECT_EQ(probe(styleFlags(1)), makeMoveWord(e2, e4, 0)) << "Wild plays class 1, never class 0";
  writeBook({record(e2, e4, 2)});
  EXPECT_EQ(probe(styleFlags(3)), 0) << "Varied needs class 3";
  EXPECT_EQ(probe(styleFlags(4)), 0) << "Tournament needs class 3";
  EXPECT_EQ(probe(styleFlags(2)), makeMoveWord(e2, e4, 0));
  EXPECT_EQ(probe(styleFlags(0)), 0) << "no style, no book";
  EXPECT_EQ(probe(styleFlags(4) & ~OptOwnBook), 0) << "OwnBook off";
}

TEST_F(BookProbe, LearnedWeightReplacesTheStaticOneWithLearningOn) {
  writeBook({record(e2, e4, 7, 0), record(d2, d4, 0, 28)});
  for (int k = 0; k < 20; ++k) {
    EXPECT_EQ(probe(styleFlags(4, true)), makeMoveWord(d2, d4, 0));
    EXPECT_EQ(probe(styleFlags(4, false)), makeMoveWord(e2, e4, 0));
  }
}

TEST_F(BookProbe, KeyCheckLegalityAndRepetitionFilterTheRecords) {
  Entry other = record(d2, d4, 7);
  other.learn ^= 0x100;  // same key word, another position
  Entry illegal = record(e1, e3, 7);
  writeBook({other, illegal, record(e2, e4, 3)});
  for (int k = 0; k < 20; ++k) EXPECT_EQ(probe(styleFlags(4)), makeMoveWord(e2, e4, 0));

  // After 1.Nf3 Nf6 2.Ng1, the book move ...Ng8 would repeat the start position.
  playMoves({"g1f3", "g8f6", "f3g1"});
  writeBook({record(45, 62, 7)});  // f6g8
  EXPECT_EQ(probe(styleFlags(4)), 0);
}

TEST_F(BookProbe, TheBookIsLeftEightPliesAfterItsLastHit) {
  writeBook({record(e2, e4, 7)});
  const int32_t ply = static_cast<int32_t>(pos.plyCount);
  EXPECT_NE(probe(styleFlags(4), ply - 8), 0);
  EXPECT_EQ(lastBookPly, ply) << "a hit renews the book";
  EXPECT_EQ(probe(styleFlags(4), ply - 9), 0);
}

// The learned weight now on disk for a move of the current position.
int learnedOnDisk(int from, int to) {
  int i = 0;
  if (!bookFind(bookKey(), &i)) return -1;
  for (; i < bookWindowCount && bookWindow[i].key == bookKey(); ++i)
    if ((bookWindow[i].move & FromToMask) == makeMoveWord(from, to, 0)) return bookWindow[i].learn & 0xFF;
  return -1;
}

// Marks game move k as the engine's, searched at full strength.
void engineMove(int k, int score, bool book) {
  GameRecord* r = gameMoveRecord(k);
  r->flags |= RecordSearchInfo | RecordFullStrength | (book ? RecordBookMove : 0);
  r->score = static_cast<int16_t>(score);
}

class BookLearning : public BookProbe {
 protected:
  void SetUp() override {
    BookProbe::SetUp();
    SetDefaultOptions();
    searchFlags = optionFlags;  // Tournament, Book Learning, Selectivity 7, Forward Pruning 10
    nodeRateLimit = 0;
  }
};

TEST_F(BookLearning, OneMoveTakesTheCorrectionAndPassesLessBack) {
  writeBook({record(e2, e4, 5, 20), record(d2, d4, 4, 16), record(g1, f3, 2, 8)});
  EXPECT_EQ(learnBookMove(bookKey(), static_cast<uint32_t>(pos.hashKey >> 32), LearnWin | 0x42, makeMoveWord(e2, e4, 0)),
            LearnWin | 0x41u) << "d4 is a good alternative that never won: one less for the move before";
  EXPECT_EQ(learnedOnDisk(e2, e4), 22 | 0x80) << "weight +2 and the win mark, written to the file";

  EXPECT_EQ(learnBookMove(bookKey(), static_cast<uint32_t>(pos.hashKey >> 32), 0x3F, makeMoveWord(g1, f3, 0)), 0x40u);
  EXPECT_EQ(learnedOnDisk(g1, f3), 12) << "learning never leaves a weight below 12, even a loss";
  EXPECT_EQ(learnBookMove(bookKey(), 0, 0x42, makeMoveWord(e2, e4, 0)), 0x42u) << "another position's key check";
}

TEST_F(BookLearning, AGameWritesItsResultIntoTheEnginesBookMoves) {
  // The engine (white) played 1.e4 and 2.Nf3 from the book, then searched
  // with the given scores.
  auto playGame = [](int score4, int score6) {
    playMoves({"e2e4", "e7e5", "g1f3", "b8c6", "f1b5", "a7a6", "b5a4", "g8f6"});
    engineMove(0, 0, true);
    engineMove(2, 0, true);
    engineMove(4, score4, false);
    engineMove(6, score6, false);
  };
  std::vector<Entry> book = {record(e2, e4, 5, 20)};
  playMoves({"e2e4", "e7e5"});
  book.push_back(record(g1, f3, 5, 20));
  newGame();
  writeBook(book);
  playGame(10, 20);
  learnFromGame(1, White);  // a draw after neutral scores: -1 for the last book move
  newGame();
  playMoves({"e2e4", "e7e5"});
  EXPECT_EQ(learnedOnDisk(g1, f3), 19);
  newGame();
  EXPECT_EQ(learnedOnDisk(e2, e4), 19) << "without good alternatives the correction passes back whole";

  playGame(300, 300);  // scores above the window after the book: +1 each
  learnFromGame(2, White);  // +2 for the win, +2 for the scores
  newGame();
  EXPECT_EQ(learnedOnDisk(e2, e4), 23 | 0x80);
  playMoves({"e2e4", "e7e5"});
  EXPECT_EQ(learnedOnDisk(g1, f3), 23 | 0x80);
}

TEST_F(BookLearning, NothingIsLearnedWhenTheRulesSaySo) {
  writeBook({record(e2, e4, 5, 20)});
  playMoves({"e2e4", "e7e5"});
  engineMove(0, 0, true);
  const uint32_t flags = searchFlags;
  for (int rule = 0; rule < 4; ++rule) {
    searchFlags = flags;
    nodeRateLimit = 0;
    if (rule == 0) searchFlags &= ~OptBookLearning;
    if (rule == 1) nodeRateLimit = 5000;
    if (rule == 2) searchFlags = (searchFlags & ~(7u << OptBookStyleShift)) | (2u << OptBookStyleShift);
    if (rule == 3) engineMove(1, 0, false);  // the engine played black too
    learnFromGame(2, White);
    newGame();
    EXPECT_EQ(learnedOnDisk(e2, e4), 20) << "rule " << rule;
    playMoves({"e2e4", "e7e5"});
    engineMove(0, 0, true);
    if (rule == 3) engineMove(1, 0, false);
  }
  nodeRateLimit = 0;
}

}  // namespace
