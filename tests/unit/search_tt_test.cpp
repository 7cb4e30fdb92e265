// The transposition table: sizing and folding of indices, the retry
// sequence, mate scores across plies, the replacement rules, generations,
// learned entries and self-validating entries.
#include <gtest/gtest.h>

#include "board/movegen.h"
#include "board/position.h"
#include "board/setup.h"
#include "search/ordering.h"
#include "search/think.h"
#include "search/tt.h"

namespace {

constexpr uint32_t RetainHash = 1u << 10;

class Table : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ttAllocate(1024));
    ASSERT_TRUE(parseFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"));
    searchFlags = 0;
    searchOutcome = 0;
    ttGeneration = 1;
  }
  void TearDown() override { ttAllocate(16384); }

  static Move legal(int from, int to) {
    Move m = makeMoveWord(from, to, 0);
    EXPECT_TRUE(completeMove(White, &m));
    return m;
  }
  static Move e2e4() { return legal(12, 28); }
  // Every entry of the current position's bucket in White's half.
  static TTEntry* bucket() { return ttBucket(White, pos.hashKey); }
  // A valid entry of another position (slot k) with the given flag word.
  static void fill(TTEntry& e, uint32_t flagWord, int k) {
    e.data0 = (static_cast<uint32_t>(TTScoreBias) << 16) | flagWord;
    e.data1 = 0;
    e.check0 = e.data0 ^ (0xABC00000u + k);
    e.check1 = 0x12345u;
  }
};

TEST_F(Table, SizingSplitsTheMemoryAndFoldsIndicesIntoTheTable) {
  ASSERT_TRUE(ttAllocate(5 * 1024));
  EXPECT_EQ(ttEntriesPerSide, 98304u);
  EXPECT_EQ(ttTableKb, 3072u);
  // Indices past the end fold back into the table, bucket-aligned.
  EXPECT_EQ(ttBucket(0, 0x1FFFCull << 32) - ttTable[0], 65532);
  EXPECT_EQ(ttBucket(0, 0x18000ull << 32) - ttTable[0], 32768);
  EXPECT_EQ(ttBucket(1, 0x17FFCull << 32) - ttTable[1], 98300);

  ASSERT_TRUE(ttAllocate(64 * 1024));
  EXPECT_EQ(ttTableKb, 32u * 1024) << "64 MB: half to the evaluation cache";
  ASSERT_TRUE(ttAllocate(48 * 1024));
  EXPECT_EQ(ttTableKb, 32u * 1024) << "48 MB: 16 MB to the cache, 32 MB to the table";
  for (uint32_t kb : {1024u, 3000u, 5120u, 7777u}) {
    ASSERT_TRUE(ttAllocate(kb));
    // Both halves start on a cache line, so that a bucket is one line.
    for (TTEntry* half : ttTable) EXPECT_EQ(reinterpret_cast<uintptr_t>(half) % 64, 0u) << kb;
    for (uint64_t hi = 0; hi < (1ull << 20); hi += 4093)
      ASSERT_LE(ttBucket(0, hi << 32) - ttTable[0] + 4, static_cast<long>(ttEntriesPerSide)) << kb;
  }
}

TEST_F(Table, RetrySequenceShrinksToNothing) {
  uint32_t q = 0;
  EXPECT_EQ(ttRetrySize(3000, 2048, &q), 2048u);
  EXPECT_EQ(ttRetrySize(2048, 2048, &q), 1536u);
  uint32_t size = 1536;
  for (int steps = 0; size != 0 && steps < 100; steps++) {
    const uint32_t next = ttRetrySize(size, 2048, &q);
    ASSERT_LT(next, size) << "every retry is smaller, down to the last kilobyte";
    size = next;
  }
  EXPECT_EQ(size, 0u);
}

TEST_F(Table, MateScoresKeepTheirDistanceAcrossPlies) {
  // Mate delivered at ply 9 of the search, stored at a node of ply 5
  // (4 plies from that node to the mate).
  ttStore(White, TTExact, 8192 - 9, 0, 6, 5, e2e4());
  TTHit hit;
  ASSERT_TRUE(ttProbe(White, 3, &hit));
  EXPECT_EQ(hit.score, 8192 - 4 - 3) << "the same 4 plies, now counted from ply 3";
  EXPECT_EQ(hit.depth, 62) << "an unbounded mate counts as infinitely deep";
  EXPECT_EQ(hit.flags & TTMateScore, TTMateScore);
  searchOutcome = 2;
  ASSERT_TRUE(ttProbe(White, 7, &hit));
  EXPECT_EQ(hit.score, 8192 - 4 - 7);
  EXPECT_EQ(hit.depth, 6) << "once the root has seen a mate the stored depth counts";

  // Being mated (at ply 10, stored at ply 4, probed at 2), and an ordinary
  // score, which no ply changes.
  struct Case { int score, storedAt, probedAt, expected; };
  for (const Case& c : {Case{10 - 8193, 4, 2, (10 - 4 + 2) - 8193}, Case{-77, 4, 9, -77}}) {
    ttClear(true);
    ttStore(White, TTUpper, c.score, 0, 3, c.storedAt, 0);
    ASSERT_TRUE(ttProbe(White, c.probedAt, &hit));
    EXPECT_EQ(hit.score, c.expected) << c.score;
  }
}

TEST_F(Table, ShallowerStoreKeepsScoreButTakesTheMove) {
  const Move deepMove = e2e4(), other = legal(6, 21);  // g1f3
  ttStore(White, TTLower, 100, 0, 8, 1, deepMove);
  ttStore(White, TTUpper, -50, 0, 3, 1, other);
  TTHit hit;
  ASSERT_TRUE(ttProbe(White, 1, &hit));
  EXPECT_EQ(hit.score, 100);
  EXPECT_EQ(hit.flags & TTBoundMask, TTLower);
  EXPECT_EQ(hit.depth, 8);
  EXPECT_EQ(hit.move, deepMove) << "a shallower move does not replace a deeper one";
  ttStore(White, TTUpper, -60, 0, 9, 1, other);
  ASSERT_TRUE(ttProbe(White, 1, &hit));
  EXPECT_EQ(hit.score, -60);
  EXPECT_EQ(hit.move, other);
  // Both halves are separate: Black to move in the same board sees nothing.
  EXPECT_FALSE(ttProbe(Black, 1, &hit));
}

TEST_F(Table, OldGenerationsAreIgnoredUnlessRetainedAndThenRestamped) {
  ttStore(White, TTExact, 33, 0, 5, 1, e2e4());
  ttNewGeneration();
  TTHit hit;
  EXPECT_FALSE(ttProbe(White, 1, &hit)) << "without Retain Hash an older search's entry does not count";
  searchFlags = RetainHash;
  ttStamped = 0;
  ASSERT_TRUE(ttProbe(White, 1, &hit));
  EXPECT_EQ(hit.score, 33);
  EXPECT_EQ(hit.flags & TTGenerationMask, ttGeneration);
  EXPECT_EQ(ttStamped, 1u);
  ASSERT_TRUE(ttProbe(White, 1, &hit));
  EXPECT_EQ(ttStamped, 1u) << "stamped once";
  // The generation cycles 1..7 and never becomes 0.
  for (int i = 0; i < 20; i++) {
    ttNewGeneration();
    ASSERT_GE(ttGeneration, 1);
    ASSERT_LE(ttGeneration, 7);
  }
  // A fresh result must not be blocked by an entry the search ignores.
  searchFlags = 0;
  ttStore(White, TTExact, 10, 0, 20, 1, e2e4());
  ttNewGeneration();
  ttStore(White, TTUpper, -5, 0, 2, 1, 0);
  ASSERT_TRUE(ttProbe(White, 1, &hit));
  EXPECT_EQ(hit.score, -5);
  EXPECT_EQ(hit.depth, 2);
}

TEST_F(Table, EntriesValidateThemselves) {
  ttStore(White, TTExact, 12, 0, 4, 1, e2e4());
  TTHit hit;
  ASSERT_TRUE(ttProbe(White, 1, &hit));
  TTEntry* b = bucket();
  int k = 0;
  while (k < 4 && b[k].data0 == 0) k++;
  ASSERT_LT(k, 4);
  b[k].data0 ^= 0x10000;  // a torn write
  EXPECT_FALSE(ttProbe(White, 1, &hit));
  b[k].data0 ^= 0x10000;
  ASSERT_TRUE(ttProbe(White, 1, &hit));
  // A stored move that is no move of the position invalidates the entry.
  ttClear(true);
  ttStore(White, TTExact, 12, 0, 4, 1, makeMoveWord(12, 36, 0));  // e2e5
  EXPECT_FALSE(ttProbe(White, 1, &hit));
}

TEST_F(Table, LearnedEntriesSurviveClearingAndLoseOnlyToEachOther) {
  ttStore(White, TTExact | TTLearned | TTLearnStore, 250, 7, 10, 1, e2e4());
  ttClear(false);
  TTHit hit;
  ASSERT_TRUE(ttProbe(White, 1, &hit)) << "Clear Hash keeps learned entries";
  EXPECT_EQ(hit.score, 250);
  EXPECT_TRUE(hit.flags & TTLearned);
  ttNewGeneration();
  ASSERT_TRUE(ttProbe(White, 1, &hit)) << "usable in any generation";
  ttClear(true);
  EXPECT_FALSE(ttProbe(White, 1, &hit));

  // Victim choice in a full bucket: three learned entries and one normal
  // one of the current search; a new position replaces the normal one.
  TTEntry* b = bucket();
  for (int k = 0; k < 4; k++) fill(b[k], (k == 2 ? 0 : TTLearned) | TTExact | (5u << 8) | ttGeneration, k);
  ttStore(White, TTLower, 1, 0, 1, 1, 0);
  for (int k : {0, 1, 3}) EXPECT_TRUE(b[k].data0 & TTLearned) << k;
  EXPECT_FALSE(b[2].data0 & TTLearned);
  ASSERT_TRUE(ttProbe(White, 1, &hit));
  EXPECT_EQ(hit.score, 1);
}

// The search stores its result with the learned bit of the entry it
// probed; that must never rewrite the learning value (the learning file's
// order of keeping) or the move, nor make a learned entry of a position
// that was never learned.
TEST_F(Table, SearchStoresKeepTheLearningValueAndMoveOfALearnedEntry) {
  const Move learnedMove = e2e4(), searched = legal(6, 21);  // g1f3
  ttStore(White, TTExact | TTLearned | TTLearnStore, 250, 7, 10, 1, learnedMove);
  ttStore(White, TTLower | TTLearned, 300, -45, 20, 3, searched);  // a deeper search through it
  TTHit hit;
  ASSERT_TRUE(ttProbe(White, 1, &hit));
  EXPECT_TRUE(hit.flags & TTLearned);
  EXPECT_EQ(hit.move, learnedMove);
  EXPECT_EQ(hit.score, 300) << "the deeper result still replaces the bound";
  int found = 0;
  for (int k = 0; k < 4; k++) {
    if (!(bucket()[k].data0 & TTLearned)) continue;
    EXPECT_EQ(bucket()[k].data1 >> 16, 7u) << "learning value";
    ++found;
  }
  EXPECT_EQ(found, 1);

  // The entry was replaced between probe and store: the new one is plain.
  ttClear(true);
  ttStore(White, TTLower | TTLearned, 300, -45, 20, 3, searched);
  ASSERT_TRUE(ttProbe(White, 1, &hit));
  EXPECT_FALSE(hit.flags & TTLearned);
  EXPECT_EQ(hit.move, searched);
}

TEST_F(Table, OlderGenerationsAreReplacedBeforeCurrentOnes) {
  TTEntry* b = bucket();
  const uint32_t old = ttGeneration == 7 ? 1 : ttGeneration + 1;
  // Slot 1: a deep entry of an older search; the others shallow current ones.
  for (int k = 0; k < 4; k++) fill(b[k], TTExact | ((k == 1 ? 40u : 1u) << 8) | (k == 1 ? old : ttGeneration), k);
  ttStamped = 0;
  ttStore(White, TTUpper, 3, 0, 2, 1, 0);
  TTHit hit;
  ASSERT_TRUE(ttProbe(White, 1, &hit));
  EXPECT_EQ((b[1].data0 & TTDepthMask) >> 8, 2u) << "the older search's entry is the victim, however deep";
  EXPECT_EQ(ttStamped, 1u);
}

}  // namespace
