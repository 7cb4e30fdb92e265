// The game record: repetition and fifty-move detection across the game
// history and the search line, compaction in long games, take-backs.
#include <gtest/gtest.h>

#include <random>

#include "board/attacks.h"
#include "board/history.h"
#include "board_support.h"

using namespace boardtest;

namespace {

Move quiet(const char* text) {
  return makeMoveWord(squareOf(text), squareOf(text + 2), QuietKind);
}

// The game as the test sees it: the key of every position and the ply of
// the last irreversible move, kept without any compaction.
struct TrueGame {
  std::vector<uint64_t> keys;  // keys[p] = key at true ply p (index 0 unused)
  int irreversible = 1;

  void start() {
    keys.assign(2, pos.hashKey);
    irreversible = 1;
  }
  void played(bool irreversibleMove) {
    keys.push_back(pos.hashKey);
    if (irreversibleMove) irreversible = static_cast<int>(keys.size()) - 1;
  }
  int ply() const { return static_cast<int>(keys.size()) - 1; }
  int clock() const { return ply() - irreversible; }
  int repetitions() const {
    int n = 0;
    for (int p = ply() - 4; p >= irreversible; p -= 2) n += keys[p] == keys.back();
    return n;
  }
};

}  // namespace

TEST(GameHistory, SixHundredKnightPliesKeepDrawDetection) {
  loadFen(StartFen);
  TrueGame game;
  game.start();
  const char* cycle[4] = {"g1f3", "g8f6", "f3g1", "f6g8"};
  for (int k = 0; k < 600; ++k) {
    ASSERT_TRUE(playGameMove(quiet(cycle[k % 4])));
    game.played(false);
    ASSERT_LT(pos.plyCount, static_cast<uint32_t>(GameHistorySize));
    ASSERT_EQ(pos.plyTop, &pos.plyStack[0]);
    // Every position from the fourth ply on has been seen four plies before.
    ASSERT_EQ(isRepetition(), k >= 3) << k;
    ASSERT_GE(countRepetitions(), k >= 3 ? 1 : 0);
    ASSERT_LE(countRepetitions(), game.repetitions());
    ASSERT_EQ(fiftyMoveDraw(), game.clock() > 99) << k;
    if (game.clock() < CompactionKeep - 1) {
      ASSERT_EQ(static_cast<int>(pos.plyCount - pos.lastIrreversiblePly), game.clock());
    }
  }
  EXPECT_TRUE(attackTablesAgree());
  EXPECT_EQ(pos.hashKey, computeHashKey());
  ASSERT_EQ(gameMoveTotal, 600);
  for (int k = 0; k < 600; ++k) ASSERT_EQ(gameMoves[k], quiet(cycle[k % 4]));

  // Take-backs after compaction land on the right positions.
  for (int k = 0; k < 7; ++k) {
    ASSERT_TRUE(takeBackGameMove());
    game.keys.pop_back();
    ASSERT_EQ(pos.hashKey, game.keys.back());
    ASSERT_TRUE(attackTablesAgree());
    ASSERT_TRUE(isRepetition());
  }
  EXPECT_EQ(gameMoveTotal, 593);
}

TEST(GameHistory, LongRandomGameCountsRepetitionsExactly) {
  for (unsigned seed = 1; seed < 40; ++seed) {
    std::mt19937 rng(seed);
    loadFen(StartFen);
    TrueGame game;
    game.start();
    for (int ply = 0; ply < 520; ++ply) {
      std::vector<Move> moves = legalMoves();
      if (moves.empty()) break;
      // Prefer quiet moves so that long reversible stretches occur.
      Move m = moves[rng() % moves.size()];
      for (int tries = 0; tries < 3 && (m & CaptureKind); ++tries) m = moves[rng() % moves.size()];
      const bool irreversible = pos.pieceOn[moveFrom(m)] == Pawn || pos.colourOn[moveTo(m)] != NoColour ||
                                (m & KindMask) == EnPassantKind;
      ASSERT_TRUE(playGameMove(m));
      // A game position keeps its tables in the first slot, where the
      // search's first make copies them from.
      ASSERT_EQ(pos.tables, &boardTables[0]);
      game.played(irreversible);
      ASSERT_EQ(pos.hashKey, computeHashKey());
      ASSERT_EQ(fiftyMoveDraw(), game.clock() > 99);
      if (game.clock() < CompactionKeep - 1) {
        ASSERT_EQ(countRepetitions(), game.repetitions()) << "seed " << seed << " ply " << ply;
        ASSERT_EQ(isRepetition(), game.repetitions() > 0);
      }
    }
    if (game.ply() > 520) {
      EXPECT_TRUE(attackTablesAgree());
      // Take back through castling, en passant, promotions and the
      // compacted part of the record.
      int back = 0;
      for (; back < 400 && takeBackGameMove(); ++back) {
        game.keys.pop_back();
        ASSERT_EQ(pos.hashKey, game.keys.back()) << "take-back " << back;
        ASSERT_EQ(pos.hashKey, computeHashKey());
        ASSERT_TRUE(attackTablesAgree());
        ASSERT_EQ(pos.tables, &boardTables[0]);
      }
      // Everything kept since the last compaction can be taken back.
      EXPECT_GE(back, 520 - CompactionPly);
      EXPECT_EQ(pos.plyCount, static_cast<uint32_t>(gameHistoryFloor));
      return;
    }
  }
  FAIL() << "no random game reached 520 plies";
}

TEST(GameHistory, RepetitionAcrossGameAndSearchLine) {
  loadFen(StartFen);
  ASSERT_TRUE(playGameMove(quiet("g1f3")));
  ASSERT_TRUE(playGameMove(quiet("g8f6")));
  // The search goes on from the game position on the ply stack.
  makeMove(quiet("f3g1"));
  EXPECT_FALSE(isRepetition());
  makeMove(quiet("f6g8"));
  EXPECT_TRUE(isRepetition());  // the start position, read from the game record
  makeMove(quiet("g1f3"));
  EXPECT_TRUE(isRepetition());  // the position after 1. Nf3, from the game record
  makeMove(quiet("b8c6"));
  EXPECT_FALSE(isRepetition());
  for (int k = 0; k < 4; ++k) unmakeMove();
  EXPECT_EQ(pos.plyTop, &pos.plyStack[0]);
  EXPECT_EQ(pos.lastTo, static_cast<uint32_t>(squareOf("f6")));
  // A pawn move cuts the search off from the older positions.
  makeMove(makeMoveWord(squareOf("e2"), squareOf("e3"), QuietKind));
  makeMove(quiet("f6g8"));
  makeMove(quiet("f3g1"));
  makeMove(quiet("g8f6"));
  makeMove(quiet("g1f3"));
  EXPECT_TRUE(isRepetition());
  EXPECT_EQ(pos.plyCount - pos.lastIrreversiblePly, 4u);
  for (int k = 0; k < 5; ++k) unmakeMove();
}

TEST(GameHistory, HalfmoveClockFromSetUpAndTakeBackFloor) {
  loadFen(StartFen);
  setHalfmoveClock(99);
  EXPECT_FALSE(fiftyMoveDraw());
  EXPECT_FALSE(isRepetition());
  ASSERT_TRUE(playGameMove(quiet("g1f3")));
  EXPECT_TRUE(fiftyMoveDraw());
  EXPECT_TRUE(takeBackGameMove());
  EXPECT_EQ(pos.pieceOn[squareOf("g1")], Knight);
  const uint64_t key = pos.hashKey;
  EXPECT_FALSE(takeBackGameMove());  // nothing before the set-up
  EXPECT_EQ(pos.hashKey, key);
  EXPECT_EQ(pos.plyCount, 100u);
}

TEST(GameHistory, IllegalGameMoveIsRefused) {
  loadFen("4k3/8/8/8/8/8/3r4/4K3 w - - 0 1");
  const uint64_t before = pos.hashKey;
  EXPECT_FALSE(playGameMove(makeMoveWord(squareOf("e1"), squareOf("e2"), QuietKind)));
  EXPECT_EQ(pos.hashKey, before);
  EXPECT_EQ(pos.plyCount, 1u);
  EXPECT_EQ(gameTop, &gameHistory[1]);
  EXPECT_TRUE(attackTablesAgree());
}
