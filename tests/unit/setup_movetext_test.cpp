// Reading move text: coordinates, SAN with disambiguation and pins,
// castling, promotion letters of either case, and what is not a move.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

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

// Each text read in its position: the completed move, "" when refused.
TEST(MoveText, TextsReadInTheirPositions) {
  const struct { const char* fen; std::vector<std::pair<const char*, const char*>> reads; } cases[] = {
      {StartFen, {{"g1f3", "g1f3"}, {"e2-e4", "e2e4"}, {"e2e5", ""}, {"Nf3", "g1f3"}, {"nc3", "b1c3"}}},
      {StartFen, {{"e4", "e2e4"}, {"e3!?", "e2e3"}, {"Ng1f3", "g1f3"}}},
      // Bishop and queen blocked by their own pawns, a knight onto one, a
      // pawn that cannot get there in one move.
      {StartFen, {{"Bf1e2", ""}, {"Qd1d3", ""}, {"Nd2", ""}, {"e5", ""}}},
      // No letter: completeMove makes it a queen promotion, capture or not.
      {"r3k3/1P6/8/8/8/8/8/4K3 w - - 0 1", {{"b7b8", "b7b8q"}, {"b7a8", "b7a8q"}, {"b8=N", "b7b8n"}}},
      {"r3k3/1P6/8/8/8/8/8/4K3 w - - 0 1", {{"bxa8=R+", "b7a8r"}}},
      // d5: the only pawn that can take there.
      {"rnbqkbnr/ppp1pppp/8/3p4/4P3/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 2", {{"exd5", "e4d5"}, {"d5", "e4d5"}}},
      {"rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3", {{"exf6", "e5f6"}, {"exd6", ""}}},
      // Black pawns step towards rank 1, a promotion on a1 included.
      {"4k3/8/8/8/8/8/p3K3/8 b - - 0 1", {{"a1=Q", "a2a1q"}, {"a1N#", "a2a1n"}}},
      {"4k3/4p3/8/8/8/8/8/4K3 b - - 0 1", {{"e5", "e7e5"}, {"e6", "e7e6"}}},
      // b8 and f6 both reach d7.
      {"1n2k3/8/5n2/8/8/8/8/4K3 b - - 0 1", {{"Nd7", ""}, {"Nbd7", "b8d7"}, {"Nfd7", "f6d7"}}},
      {"k7/8/8/8/4R3/8/8/4RK2 w - - 0 1", {{"Re2", ""}, {"R1e2", "e1e2"}, {"R4e2", "e4e2"}, {"Re4e2", "e4e2"}}},
      // The e2 knight is pinned on the e-file: Nc3 can only be the b1 knight.
      {"4r1k1/8/8/8/8/8/4N3/1N2K3 w - - 0 1", {{"Nc3", "b1c3"}, {"Nec3", ""}}},
      // A pinned man moving along its pin line still counts; off it, not.
      {"4r1k1/8/8/8/8/4R3/R7/4K3 w - - 0 1", {{"Re2", ""}, {"Rae2", "a2e2"}, {"R3e2", "e3e2"}, {"Rd3", ""}}},
      {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", {{"O-O", "e1g1"}, {"O-O-O", "e1c1"}, {"0-0", "e1g1"}}},
      {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", {{"e1g1", "e1g1"}}},
      // In Chess960 castling is written king takes rook.
      {"1r3kr1/8/8/8/8/8/8/1R3KR1 w GBgb - 0 1", {{"O-O-O", "f1b1"}, {"f1b1", "f1b1"}, {"f1c1", ""}}},
  };
  for (const auto& c : cases) {
    setUp(c.fen);
    for (const auto& [text, move] : c.reads) EXPECT_EQ(read(text), move) << c.fen << ": " << text;
  }
}

// Promotion letters of either case, and the kind a text completes to.
TEST(MoveText, PromotionLettersAndMoveKinds) {
  EXPECT_EQ(parseMoveText("e2e4"), makeMoveWord(12, 28, QuietKind));
  const std::pair<const char*, Move> promotions[] = {{"b7b8q", makeMoveWord(49, 57, PromoteQueen)},
                                                     {"b7b8Q", makeMoveWord(49, 57, PromoteQueen)},
                                                     {"b7b8n", makeMoveWord(49, 57, PromoteKnight)},
                                                     {"b7b8R", makeMoveWord(49, 57, PromoteRook)},
                                                     {"b7a8b", makeMoveWord(49, 56, PromoteBishop)}};
  for (const auto& [text, move] : promotions) EXPECT_EQ(parseMoveText(text), move) << text;
  const struct { const char* fen; const char* text; Move kind; } kinds[] = {
      {"rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3", "exf6", EnPassantKind},
      {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "O-O+", CastleKind}};
  for (const auto& c : kinds) {
    setUp(c.fen);
    Move m = parseMoveText(c.text);
    ASSERT_TRUE(completeMove(White, &m)) << c.text;
    EXPECT_EQ(m & KindMask, c.kind) << c.text;
  }
}

TEST(MoveText, WhatIsNotAMove) {
  newGame();
  for (const char* text : {"", "+", "e", "e9", "i2", "z9", "Nz3", "xx", "Xe4", "NN3", "e2e4e5", "Ke2e4",
                           "O-O-O-O", "0-O", "=Q", "e2e4qq", "thisisfartoolongforamovetext"})
    EXPECT_EQ(parseMoveText(text), 0) << '"' << text << '"';
  EXPECT_EQ(parseMoveText(nullptr), 0);
}
