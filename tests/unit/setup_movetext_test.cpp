// Reading move text: coordinates, SAN with disambiguation and pins,
// castling, promotion letters of either case, and what is not a move.
#include <gtest/gtest.h>

#include <string>

#include "board/history.h"
#include "board/movegen.h"
#include "board/setup.h"
#include "movegen_support.h"

using namespace movegentest;

namespace {

// The completed move of a text, as coordinates; "" when it is refused.
std::string read(const char* text) {
  Move m = parseMoveText(text);
  if (m == 0 || !completeMove(static_cast<int>(pos.sideToMove), &m)) return "";
  return coordinates(m);
}

}  // namespace

TEST(MoveText, CoordinatesAndPromotionLetters) {
  newGame();
  EXPECT_EQ(parseMoveText("e2e4"), makeMoveWord(12, 28, QuietKind));
  EXPECT_EQ(read("g1f3"), "g1f3");
  EXPECT_EQ(read("e2-e4"), "e2e4");
  EXPECT_EQ(read("e2e5"), "");
  setUp("r3k3/1P6/8/8/8/8/8/4K3 w - - 0 1");
  EXPECT_EQ(parseMoveText("b7b8q"), makeMoveWord(49, 57, PromoteQueen));
  EXPECT_EQ(parseMoveText("b7b8Q"), makeMoveWord(49, 57, PromoteQueen));
  EXPECT_EQ(parseMoveText("b7b8n"), makeMoveWord(49, 57, PromoteKnight));
  EXPECT_EQ(parseMoveText("b7b8R"), makeMoveWord(49, 57, PromoteRook));
  EXPECT_EQ(parseMoveText("b7a8b"), makeMoveWord(49, 56, PromoteBishop));
  // No letter: completeMove makes it a queen promotion, capture or not.
  EXPECT_EQ(read("b7b8"), "b7b8q");
  EXPECT_EQ(read("b7a8"), "b7a8q");
  EXPECT_EQ(read("b8=N"), "b7b8n");
  EXPECT_EQ(read("bxa8=R+"), "b7a8r");
}

TEST(MoveText, SanPiecesPawnsAndSuffixes) {
  newGame();
  EXPECT_EQ(read("Nf3"), "g1f3");
  EXPECT_EQ(read("nc3"), "b1c3");
  EXPECT_EQ(read("e4"), "e2e4");
  EXPECT_EQ(read("e3!?"), "e2e3");
  EXPECT_EQ(read("Ng1f3"), "g1f3");
  EXPECT_EQ(read("Bf1e2"), "");   // e2 holds the bishop's own pawn
  EXPECT_EQ(read("Qd1d3"), "");   // the d2 pawn blocks the queen
  EXPECT_EQ(read("Nd2"), "");     // the b1 knight reaches d2, which holds a pawn
  EXPECT_EQ(read("e5"), "");      // no pawn gets there in one move
  setUp("rnbqkbnr/ppp1pppp/8/3p4/4P3/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 2");
  EXPECT_EQ(read("exd5"), "e4d5");
  EXPECT_EQ(read("d5"), "e4d5");  // the only pawn that can take there
  setUp("rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3");
  EXPECT_EQ(read("exf6"), "e5f6");
  Move ep = parseMoveText("exf6");
  ASSERT_TRUE(completeMove(White, &ep));
  EXPECT_EQ(ep & KindMask, EnPassantKind);
  EXPECT_EQ(read("exd6"), "");    // no en passant there
  // Black pawns step towards rank 1, a promotion on a1 included.
  setUp("4k3/8/8/8/8/8/p3K3/8 b - - 0 1");
  EXPECT_EQ(read("a1=Q"), "a2a1q");
  EXPECT_EQ(read("a1N#"), "a2a1n");
  setUp("4k3/4p3/8/8/8/8/8/4K3 b - - 0 1");
  EXPECT_EQ(read("e5"), "e7e5");
  EXPECT_EQ(read("e6"), "e7e6");
}

TEST(MoveText, DisambiguationByFileRankAndPin) {
  setUp("1n2k3/8/5n2/8/8/8/8/4K3 b - - 0 1");
  EXPECT_EQ(read("Nd7"), "");  // b8 and f6 both reach d7
  EXPECT_EQ(read("Nbd7"), "b8d7");
  EXPECT_EQ(read("Nfd7"), "f6d7");
  setUp("k7/8/8/8/4R3/8/8/4RK2 w - - 0 1");
  EXPECT_EQ(read("Re2"), "");
  EXPECT_EQ(read("R1e2"), "e1e2");
  EXPECT_EQ(read("R4e2"), "e4e2");
  EXPECT_EQ(read("Re4e2"), "e4e2");
  // The e2 knight is pinned on the e-file: Nc3 can only be the b1 knight.
  setUp("4r1k1/8/8/8/8/8/4N3/1N2K3 w - - 0 1");
  EXPECT_EQ(read("Nc3"), "b1c3");
  EXPECT_EQ(read("Nec3"), "");
  // A pinned man moving along its pin line still counts; off it, not.
  setUp("4r1k1/8/8/8/8/4R3/R7/4K3 w - - 0 1");
  EXPECT_EQ(read("Re2"), "");
  EXPECT_EQ(read("Rae2"), "a2e2");
  EXPECT_EQ(read("R3e2"), "e3e2");
  EXPECT_EQ(read("Rd3"), "");
}

TEST(MoveText, CastlingTextsInBothModes) {
  setUp("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
  EXPECT_EQ(read("O-O"), "e1g1");
  EXPECT_EQ(read("O-O-O"), "e1c1");
  EXPECT_EQ(read("0-0"), "e1g1");
  EXPECT_EQ(read("e1g1"), "e1g1");
  Move castle = parseMoveText("O-O+");
  ASSERT_TRUE(completeMove(White, &castle));
  EXPECT_EQ(castle & KindMask, CastleKind);
  setUp("1r3kr1/8/8/8/8/8/8/1R3KR1 w GBgb - 0 1");
  EXPECT_EQ(read("O-O-O"), "f1b1");
  EXPECT_EQ(read("f1b1"), "f1b1");
  EXPECT_EQ(read("f1c1"), "");  // in Chess960 castling is written king takes rook
}

TEST(MoveText, WhatIsNotAMove) {
  newGame();
  for (const char* text : {"", "+", "e", "e9", "i2", "z9", "Nz3", "xx", "Xe4", "NN3", "e2e4e5", "Ke2e4",
                           "O-O-O-O", "0-O", "=Q", "e2e4qq", "thisisfartoolongforamovetext"})
    EXPECT_EQ(parseMoveText(text), 0) << '"' << text << '"';
  EXPECT_EQ(parseMoveText(nullptr), 0);
}
