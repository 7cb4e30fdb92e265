// The book probe over book files written here: the binary search on disk,
// the key check, legality, the styles' class thresholds and weights, and
// leaving the book.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
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

namespace {

struct Entry {
  uint32_t key;
  uint16_t move, learn;
};

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

Move probe(uint32_t flags) {
  Move legal[MaxMovesPerPly];
  const int n = generateLegalMoves(legal);
  ScoredMove list[MaxMovesPerPly];
  for (int i = 0; i < n; ++i) list[i] = {legal[i], 0};
  lastBookPly = -1;
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
  for (const char* m : {"g1f3", "g8f6", "f3g1"}) {
    Move mv = parseMoveText(m);
    ASSERT_TRUE(completeMove(pos.sideToMove, &mv));
    ASSERT_TRUE(playGameMove(mv));
  }
  writeBook({record(45, 62, 7)});  // f6g8
  EXPECT_EQ(probe(styleFlags(4)), 0);
}

TEST_F(BookProbe, TournamentFavoursTheHigherClassBySixteenTimes) {
  writeBook({record(e2, e4, 7), record(d2, d4, 3)});
  int higher = 0;
  for (int k = 0; k < 500; ++k) higher += probe(styleFlags(4)) == makeMoveWord(e2, e4, 0);
  EXPECT_GT(higher, 450);
  EXPECT_LT(higher, 500) << "the random factor still lets the weaker move through now and then";
}

TEST_F(BookProbe, TheBookIsLeftEightPliesAfterItsLastHit) {
  writeBook({record(e2, e4, 7)});
  Move legal[MaxMovesPerPly];
  const int n = generateLegalMoves(legal);
  ScoredMove list[MaxMovesPerPly];
  for (int i = 0; i < n; ++i) list[i] = {legal[i], 0};
  lastBookPly = static_cast<int32_t>(pos.plyCount) - 8;
  EXPECT_NE(bookProbe(styleFlags(4), list, list + n), 0);
  EXPECT_EQ(lastBookPly, static_cast<int32_t>(pos.plyCount)) << "a hit renews the book";
  lastBookPly = static_cast<int32_t>(pos.plyCount) - 9;
  EXPECT_EQ(bookProbe(styleFlags(4), list, list + n), 0);
}

}  // namespace
