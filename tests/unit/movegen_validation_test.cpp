// completeMove against the generator over every from/to pair, the exact
// stalemate test against full legal generation, pins and SAN
// disambiguation.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "board/history.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/setup.h"
#include "movegen_support.h"

using namespace movegentest;

namespace {

std::vector<Move> generated() {
  const int n = generateAll(moveListStart[0], static_cast<int>(pos.sideToMove), 0, 0);
  std::vector<Move> out;
  for (int i = 0; i < n; ++i) out.push_back(moveListStart[0][i].move);
  return out;
}

// Every move completeMove accepts from a bare from/to pair, and with each
// promotion letter.
std::vector<Move> acceptedByCompleteMove() {
  const int s = static_cast<int>(pos.sideToMove);
  std::vector<Move> out;
  for (int f = 0; f < 64; ++f)
    for (int t = 0; t < 64; ++t)
      for (Move kind : {QuietKind, PromoteQueen, PromoteKnight, PromoteRook, PromoteBishop}) {
        Move m = makeMoveWord(f, t, kind);
        if (!completeMove(s, &m)) continue;
        // The bare pair of a promotion becomes the queen promotion, which
        // the queen letter gives again: count it once.
        if (kind == QuietKind && (m & KindMask) == PromoteQueen) continue;
        out.push_back(m);
      }
  return out;
}

}  // namespace

TEST(CompleteMove, AcceptsExactlyTheGeneratedMoves) {
  Rng rng(5);
  int positions = 0;
  static const char* starts[] = {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
                                 "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
                                 "2nnrbkr/p1qppppp/8/1ppb4/6PP/3PP3/PPP2P2/BQNNRBKR w HEhe - 0 9",
                                 "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1"};
  for (int game = 0; game < 16; ++game) {
    setUp(starts[game % 4]);
    randomWalk(rng, 40, [&] {
      ++positions;
      const std::vector<Move> expected = sorted(generated());
      ASSERT_EQ(sorted(acceptedByCompleteMove()), expected) << fenOf();
      // A complete move validates to itself.
      for (Move m : expected) {
        Move again = m;
        ASSERT_TRUE(completeMove(static_cast<int>(pos.sideToMove), &again)) << coordinates(m);
        ASSERT_EQ(again, m);
      }
    });
  }
  EXPECT_GT(positions, 500);
}

TEST(CompleteMove, RefusesWhatIsNotShapedLikeALegalMove) {
  setUp("4k3/P7/8/3pP3/8/8/P6P/R3K2R w KQ d6 0 1");
  struct Case { int from, to; Move kind; bool ok; const char* why; } cases[] = {
      {8, 15, QuietKind, false, "a2-h2 wraps round the board: not a pawn capture"},
      {15, 8, QuietKind, false, "h2-a2 likewise"},
      {36, 43, QuietKind, true, "exd6 en passant"},
      {36, 43, CaptureKind, false, "en passant given as a plain capture"},
      {36, 44, PromoteQueen, false, "promotion letter on a move short of the last rank"},
      {8, 24, QuietKind, true, "double step"},
      {8, 24, PromoteKnight, false, "promotion letter on a double step"},
      {8, 16, CaptureKind, false, "capture kind on a quiet push"},
      {48, 56, QuietKind, true, "push to the last rank becomes a queen promotion"},
      {4, 6, QuietKind, true, "castling kingside"},
      {4, 2, QuietKind, true, "castling queenside"},
      {4, 7, QuietKind, false, "king onto its own rook outside Chess960"},
      {4, 5, CastleKind, false, "castling kind on a king step"},
      {0, 3, CastleKind, false, "castling kind on a rook move"},
      {4, 20, QuietKind, false, "king two squares up the file"},
      {0, 0, CastleKind, false, "the null move"},
      {0, 9, QuietKind, false, "rook move along a diagonal"},
  };
  for (const Case& c : cases) {
    Move m = makeMoveWord(c.from, c.to, c.kind);
    EXPECT_EQ(completeMove(White, &m), c.ok) << c.why;
  }
  Move checkMarked = static_cast<Move>(makeMoveWord(8, 16, QuietKind) | CheckMark);
  EXPECT_FALSE(completeMove(White, &checkMarked));
  Move promo = makeMoveWord(48, 56, QuietKind);
  ASSERT_TRUE(completeMove(White, &promo));
  EXPECT_EQ(promo & KindMask, PromoteQueen);

  // Castling needs the king on its start square: a king that went away and
  // came back has moved.
  setUp("4k3/8/8/8/8/8/8/R3K2R w KQ - 0 1");
  playMoves({"e1f1", "e8d8", "f1e1", "d8e8"});
  Move castle = makeMoveWord(4, 6, QuietKind);
  EXPECT_FALSE(completeMove(White, &castle));
}

// FEN of a random placement: both kings and a few other men, Black to move
// (most such boards that are legal leave Black short of moves).
std::string randomPlacement(Rng& rng) {
  char board[64] = {};
  static const char men[] = "QRBNPqrbnp";
  const int extra = 1 + rng.below(3);
  board[rng.below(64)] = 'K';
  for (int placed = 0; placed < extra + 1;) {
    const int q = rng.below(64);
    if (board[q]) continue;
    board[q] = placed == 0 ? 'k' : men[rng.below(placed == 1 ? 5 : 10)];
    ++placed;
  }
  return testsupport::placementFen(board) + " b - - 0 1";
}

TEST(NoLegalMove, AgreesWithFullGenerationOnRandomGames) {
  Rng rng(99);
  // Sparse starts give many mates; the others cover pins, en passant and
  // castling of both kinds.
  static const char* starts[] = {
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
      "4k3/8/8/8/8/8/4P3/4K3 w - - 0 1",
      "7k/8/8/8/8/8/5Q2/K7 w - - 0 1",
      "4k3/pppppppp/8/8/8/8/PPPPPPPP/4K3 w - - 0 1",
      "bqnb1rkr/pp3ppp/3ppn2/2p5/5P2/P2P4/NPP1P1PP/BQ1BNRKR w HFhf - 0 9",
      "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
      "6k1/8/8/8/8/8/r7/4K2R w K - 0 1",
      "3k4/3p4/8/K1P4r/8/8/8/8 b - - 0 1",
      "k7/8/8/8/8/8/1R6/K7 w - - 0 1",
      "7k/8/8/8/8/8/8/K5Q1 w - - 0 1",
  };
  int positions = 0, none = 0, stalemates = 0;
  auto compare = [&] {
    ++positions;
    const bool noneLegal = legalMoves().empty();
    none += noneLegal;
    stalemates += noneLegal && !isInCheck();
    ASSERT_EQ(noLegalMove(static_cast<int>(pos.sideToMove)), noneLegal) << fenOf();
  };
  while (positions < 100000) {
    setUp(starts[rng.below(10)]);
    randomWalk(rng, 120, compare);
  }
  // Random boards with few men: stalemates are common among them.
  for (int i = 0; i < 200000; ++i)
    if (parseFen(randomPlacement(rng).c_str())) compare();
  EXPECT_GT(stalemates, 250) << "too few stalemates to tell";
  EXPECT_GT(none, stalemates);
}

TEST(NoLegalMove, TheKnownTraps) {
  // A pawn pinned along its file with the king behind it may still push.
  setUp("7r/8/8/8/8/P7/2k5/Kb6 b - - 0 1");
  playMoves({"h8a8"});
  EXPECT_FALSE(noLegalMove(White));
  const std::vector<Move> only = legalMoves();
  ASSERT_EQ(only.size(), 1u);
  EXPECT_EQ(coordinates(only[0]), "a3a4");

  // A pinned bishop may take its pinner, and nothing else moves.
  setUp("7k/8/8/8/8/1pb5/1Bp5/K7 w - - 0 1");
  EXPECT_FALSE(noLegalMove(White));
  ASSERT_EQ(legalMoves().size(), 1u);
  EXPECT_EQ(coordinates(legalMoves()[0]), "b2c3");

  // Chess960: the king already on g1 castles with the h1 rook although it
  // cannot step to the attacked f1; castling is the only move.
  setUp("5r1k/8/8/8/8/7p/7P/6KR w H - 0 1");
  EXPECT_FALSE(noLegalMove(White));
  ASSERT_EQ(legalMoves().size(), 1u);
  EXPECT_EQ(coordinates(legalMoves()[0]), "g1h1");

  // A true stalemate, and a mate (in check, no move) which is not one.
  setUp("7k/5Q2/6K1/8/8/8/8/8 b - - 0 1");
  EXPECT_TRUE(noLegalMove(Black));
  setUp("7k/6Q1/7K/8/8/8/8/8 b - - 0 1");
  EXPECT_TRUE(noLegalMove(Black));
  EXPECT_TRUE(isInCheck());
}

TEST(Pins, PinnedMenAreSeenFromTheTables) {
  setUp("4r1k1/8/8/b7/8/2N5/4N3/4K3 w - - 0 1");
  EXPECT_TRUE(isPinned(12, Black));   // e2 knight on the e-file
  EXPECT_TRUE(isPinned(18, Black));   // c3 knight on the a5-e1 diagonal
  EXPECT_FALSE(isPinned(12, White));  // no white slider behind it towards g8
  setUp("4r1k1/8/8/b7/8/2N5/3PN3/4K3 w - - 0 1");
  EXPECT_FALSE(isPinned(18, Black));  // d2 stands between c3 and the king
}

TEST(SanDisambiguation, FileRankBothAndPinnedRivals) {
  // Knights b1 and f3 both reach d2: the file tells them apart.
  setUp("4k3/8/8/8/8/5N2/8/1N2K3 w - - 0 1");
  EXPECT_EQ(sanDisambiguation(makeMoveWord(1, 11, QuietKind)), Knight | 8);
  // Rooks a1 and a5 on one file: the rank tells them apart.
  setUp("4k3/8/8/R7/8/8/8/R3K3 w - - 0 1");
  EXPECT_EQ(sanDisambiguation(makeMoveWord(0, 16, QuietKind)), Rook | 16);
  // Queens a1, a3 and c1 all reach c3; a1 shares its file with a3 and its
  // rank with c1, so both are needed.
  setUp("4k3/8/8/8/8/Q7/8/Q1Q1K3 w - - 0 1");
  EXPECT_EQ(sanDisambiguation(makeMoveWord(0, 18, QuietKind)), Queen | 24);
  // A rival pinned off the line does not count.
  setUp("4r1k1/8/8/8/8/8/4N3/1N2K3 w - - 0 1");
  EXPECT_EQ(sanDisambiguation(makeMoveWord(1, 18, QuietKind)), Knight);
  // Pawns and kings carry their type only.
  newGame();
  EXPECT_EQ(sanDisambiguation(makeMoveWord(12, 28, QuietKind)), Pawn);
}
