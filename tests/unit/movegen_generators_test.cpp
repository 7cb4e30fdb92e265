// The generators' order, keys and completeness, checked on telling
// positions and against make/unmake over positions from random games.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "board/makemove.h"
#include "board/movegen.h"
#include "board/setup.h"
#include "movegen_support.h"

using namespace movegentest;

namespace {

// The n moves a generator wrote at the start of ply `ply`'s list.
std::vector<ScoredMove> listed(int n, int ply = 0) {
  return std::vector<ScoredMove>(moveListStart[ply], moveListStart[ply] + n);
}

std::vector<ScoredMove> generatedAll(int mode = 0) {
  return listed(generateAll(moveListStart[0], static_cast<int>(pos.sideToMove), 0, mode));
}

std::vector<std::string> texts(const std::vector<ScoredMove>& list) {
  std::vector<std::string> out;
  for (const ScoredMove& e : list) out.push_back(coordinates(e.move));
  return out;
}

// Each move's key by its text.
std::map<std::string, int> keysOf(const std::vector<ScoredMove>& list) {
  std::map<std::string, int> out;
  for (const ScoredMove& e : list) out[coordinates(e.move)] = e.key;
  return out;
}

std::vector<Move> movesOf(const std::vector<ScoredMove>& list) {
  std::vector<Move> out;
  for (const ScoredMove& e : list) out.push_back(e.move);
  return out;
}

bool checksAfter(Move m) {
  makeMove(m);
  const bool check = isInCheck();
  unmakeMove();
  return check;
}

bool legalByMaking(Move m) {
  makeMove(m);
  const bool legal = !moverLeftKingInCheck();
  unmakeMove();
  return legal;
}

// Positions from random games, standard and Chess960, with the FEN that
// reproduces each (the walk's game record is not needed afterwards).
std::vector<std::string> randomPositions(int games, int plies, uint64_t seed) {
  static const char* starts[] = {
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
      "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
      "bqnb1rkr/pp3ppp/3ppn2/2p5/5P2/P2P4/NPP1P1PP/BQ1BNRKR w HFhf - 0 9",
      "qbbnnrkr/2pp2pp/p7/1p2pp2/8/P3PP2/1PPP1KPP/QBBNNR1R w hf - 0 9",
      "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1",
      "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
  };
  std::vector<std::string> out;
  Rng rng(seed);
  for (int g = 0; g < games; ++g) {
    parseFen(starts[g % 6]);
    randomWalk(rng, plies, [&] { out.push_back(fenOf()); });
  }
  return out;
}

}  // namespace

TEST(Generators, StartPositionOrderPawnsBySlotThenKnights) {
  newGame();
  const std::vector<ScoredMove> list = generatedAll();
  const std::vector<std::string> expected = {"a2a3", "a2a4", "b2b3", "b2b4", "c2c3", "c2c4", "d2d3",
                                             "d2d4", "e2e3", "e2e4", "f2f3", "f2f4", "g2g3", "g2g4",
                                             "h2h3", "h2h4", "g1f3", "g1h3", "b1a3", "b1c3"};
  EXPECT_EQ(texts(list), expected);
  for (const ScoredMove& e : list) EXPECT_EQ(e.key, 0);
  EXPECT_EQ(moveListStart[1], moveListStart[0] + 20);
}

TEST(Generators, NeverWritePastTheSharedBuffer) {
  newGame();
  ScoredMove* nearEnd = moveBuffer + MoveBufferSize - 10;
  EXPECT_EQ(generateAll(nearEnd, White, 5, 0), 0);
  EXPECT_EQ(moveListStart[6], nearEnd);
  EXPECT_EQ(generateCaptures(White, 5, 6, nearEnd), 0);
  uint32_t flags = 1;
  EXPECT_EQ(generateEvasions(&flags, White, 5, 0, nearEnd), 0);
  // The last ply's list still fits and closes the table.
  ScoredMove* last = moveBuffer + (MaxPly - 1) * MaxMovesPerPly;
  EXPECT_EQ(generateAll(last, White, MaxPly - 1, 0), 20);
  EXPECT_EQ(moveListStart[MaxPly], last + 20);
}

TEST(Generators, CapturesComeFirstWithVictimKeysAndRecaptureBonus) {
  setUp("4k3/8/5n2/8/2P1P3/8/8/4K3 b - - 0 1");
  ASSERT_TRUE(playGameMove(makeMoveWord(45, 35, QuietKind)));  // Nf6-d5
  const std::vector<ScoredMove> list = generatedAll();
  ASSERT_GE(list.size(), 2u);
  // Both pawns take the knight that just arrived, highest slot (c4) first.
  EXPECT_EQ(coordinates(list[0].move), "c4d5");
  EXPECT_EQ(coordinates(list[1].move), "e4d5");
  EXPECT_EQ(list[0].move & KindMask, CaptureKind);
  EXPECT_EQ(list[0].key, 416 + 100);
  EXPECT_EQ(list[1].key, 416 + 100);
}

// Moves that must and must not come from full generation, or from the
// evasions when in check: the king never takes a defended man nor steps
// away along the checking line, and a fourth knight, rook or bishop is
// still a legal promotion.
TEST(Generators, TellingPositionsGiveTheirMovesAndNotOthers) {
  const struct { const char* fen; std::vector<const char*> present, absent; } cases[] = {
      {"4k3/8/8/8/8/3pp3/4K3/8 w - - 0 1", {"e2d3", "e2e3"}, {}},    // neither pawn defends the other
      {"4k3/8/8/8/5p2/3pp3/4K3/8 w - - 0 1", {"e2d3"}, {"e2e3"}},    // f4 now defends e3
      {"4r1k1/8/8/8/8/8/4K3/8 w - - 0 1", {"e2d1"}, {"e2e1", "e2e3"}},
      {"7k/1P6/8/8/8/8/5BBB/NNNRRRK1 w - - 0 1", {"b7b8q", "b7b8n", "b7b8r", "b7b8b"}, {}},
  };
  for (const auto& c : cases) {
    setUp(c.fen);
    uint32_t flags = 0;
    const bool inCheck = isInCheck();
    const std::map<std::string, int> moves =
        keysOf(inCheck ? listed(generateEvasions(&flags, White, 0, 0, moveListStart[0])) : generatedAll());
    for (const char* m : c.present) EXPECT_TRUE(moves.count(m)) << c.fen << " " << m;
    for (const char* m : c.absent) EXPECT_FALSE(moves.count(m)) << c.fen << " " << m;
    if (inCheck) EXPECT_TRUE(flags & EvasionDiscovered) << "the rook did not just move there";
  }
  // The promotions of the last position complete as given.
  for (Move kind : {PromoteKnight, PromoteRook, PromoteBishop}) {
    Move m = makeMoveWord(49, 57, kind);
    EXPECT_TRUE(completeMove(White, &m));
    EXPECT_EQ(m, makeMoveWord(49, 57, kind));
  }
}

TEST(Generators, PromotionsAllKindsInModeZeroQueenAndKnightOtherwise) {
  setUp("r3k3/1P6/8/8/8/8/8/4K3 w - - 0 1");
  const std::vector<ScoredMove> list = generatedAll(0);
  ASSERT_GE(list.size(), 8u);
  EXPECT_EQ(texts(listed(8)),
            (std::vector<std::string>{"b7a8q", "b7a8n", "b7a8r", "b7a8b", "b7b8q", "b7b8n", "b7b8r", "b7b8b"}));
  const int keys[] = {1056 + 640, -480, -608, -832, 1056};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(list[i].key, keys[i]) << i;
  ASSERT_GE(generatedAll(1).size(), 4u);
  EXPECT_EQ(texts(listed(4)), (std::vector<std::string>{"b7a8q", "b7a8n", "b7b8q", "b7b8n"}));
}

TEST(Generators, CaptureGeneratorKeysAndModes) {
  // Queen push-promotion, promotion-capture, a victim pawn about to promote,
  // en passant, and a sixth-rank pawn that mode 6 pushes.
  setUp("1r2k3/1P6/4P3/8/3Pp3/8/6p1/4K2R b - d3 0 1");
  int n = generateCaptures(Black, 0, 1, moveListStart[0]);
  const std::map<std::string, int> keys = keysOf(listed(n));
  // b7 is one step from promotion; the capture generator promotes to a queen only.
  for (const auto& [move, key] : {std::pair{"g2g1q", 1120}, {"g2h1q", 640 + 1120}, {"e4d3", 128}, {"b8b7", 128 + 256}})
    EXPECT_EQ(keys.count(move) ? keys.at(move) : -1, key) << move;
  EXPECT_FALSE(keys.count("g2h1n"));
  EXPECT_EQ(moveListStart[1], moveListStart[0] + n);

  // Mode 6 adds the push to the seventh rank unless it is blocked at once
  // or gives check (checks come from the quiet-check part instead).
  setUp("4k1n1/8/1P1P2P1/8/8/8/8/4K3 w - - 0 1");
  n = generateCaptures(White, 0, 6, moveListStart[0]);
  // b6b7 pushes; g6g7 would be blocked by the knight; d6d7 checks and comes
  // once, from the quiet checks, with key 0.
  EXPECT_EQ(texts(listed(n)), (std::vector<std::string>{"b6b7", "d6d7"}));
  EXPECT_EQ(keysOf(listed(n)), (std::map<std::string, int>{{"b6b7", 1056}, {"d6d7", 0}}));
  n = generateCaptures(White, 0, 1, moveListStart[0]);
  EXPECT_EQ(n, 0);
}

TEST(Generators, DoubleCheckGivesOnlyKingMovesAndFlags) {
  // Knight and rook both check; a pawn could take the knight but may not.
  setUp("4r1k1/8/8/8/8/5n2/6P1/4K3 w - - 0 1");
  ASSERT_TRUE(isInCheck());
  uint32_t flags = 0;
  const int n = generateEvasions(&flags, White, 0, 0, moveListStart[0]);
  EXPECT_TRUE(flags & EvasionDoubleCheck);
  EXPECT_EQ(static_cast<int>(flags & EvasionKingMoveMask), n);
  for (int i = 0; i < n; ++i) EXPECT_EQ(moveFrom(moveListStart[0][i].move), 4);
}

// Over positions of random games: evasions find the same legal moves as
// full generation, givesCheck agrees with making the move, and the quiet
// checks are exactly the quiet moves that give check.
TEST(Generators, EvasionsChecksAndQuietChecksAgreeWithMaking) {
  int inCheck = 0, quietChecks = 0;
  for (const std::string& fen : randomPositions(240, 70, 11)) {
    ASSERT_NE(parseFen(fen.c_str()), 0u) << fen;
    const int s = static_cast<int>(pos.sideToMove);
    const std::vector<ScoredMove> all = generatedAll();
    if (isInCheck()) {
      ++inCheck;
      uint32_t flags = 0;
      const int n = generateEvasions(&flags, s, 1, 0, moveListStart[1]);
      std::vector<Move> fromEvasions, fromAll;
      for (int i = 0; i < n; ++i)
        if (legalByMaking(moveListStart[1][i].move)) fromEvasions.push_back(moveListStart[1][i].move);
      for (const ScoredMove& e : all)
        if (legalByMaking(e.move)) fromAll.push_back(e.move);
      ASSERT_EQ(sorted(fromEvasions), sorted(fromAll)) << fen;
      continue;
    }
    std::vector<Move> expectedChecks;
    for (const ScoredMove& e : all) {
      const bool check = checksAfter(e.move);
      ASSERT_EQ(givesCheck(e.move, s) != 0, check) << fen << " " << coordinates(e.move);
      if (check && (e.move & KindMask) == QuietKind) expectedChecks.push_back(e.move);
    }
    ScoredMove* end = generateQuietChecks(s, kingSquare(s ^ 1), moveListStart[1]);
    std::vector<Move> got;
    for (ScoredMove* e = moveListStart[1]; e != end; ++e) {
      EXPECT_EQ(e->key, 0);
      got.push_back(e->move);
    }
    ASSERT_EQ(sorted(got), sorted(expectedChecks)) << fen;
    quietChecks += static_cast<int>(got.size());
  }
  EXPECT_GT(inCheck, 100);
  EXPECT_GT(quietChecks, 1000);
}

// The capture generator writes exactly the captures, en-passant captures and
// queen promotions of full generation (plus nothing else in mode 1).
TEST(Generators, CaptureGeneratorIsTheTacticalPartOfFullGeneration) {
  for (const std::string& fen : randomPositions(120, 60, 23)) {
    ASSERT_NE(parseFen(fen.c_str()), 0u);
    if (isInCheck()) continue;
    const int s = static_cast<int>(pos.sideToMove);
    std::vector<Move> expected;
    for (Move m : movesOf(generatedAll())) {
      const Move kind = m & KindMask;
      if (kind == CaptureKind || kind == EnPassantKind || kind == PromoteQueen) expected.push_back(m);
    }
    const int n = generateCaptures(s, 1, 1, moveListStart[1]);
    ASSERT_EQ(sorted(movesOf(std::vector<ScoredMove>(moveListStart[1], moveListStart[1] + n))), sorted(expected))
        << fen;
  }
}
