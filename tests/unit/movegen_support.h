// Test helpers for move generation and set-up: FEN text of the board, a
// seeded random walk through legal games, and move-list comparisons.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "board/history.h"
#include "board/movegen.h"
#include "board/perft.h"
#include "board/position.h"
#include "board/setup.h"
#include "board/types.h"
#include "board_support.h"
#include "test_support.h"

namespace movegentest {

// FEN of the board; castling from the move counts, written with rook-file
// letters in Chess960 mode. Clocks are "0 1".
inline std::string fenOf() {
  char board[64] = {};
  for (int q = 0; q < 64; ++q)
    if (pos.colourOn[q] != NoColour) board[q] = pieceLetters[pos.pieceOn[q] + (pos.colourOn[q] == Black ? 6 : 0)];
  std::string fen = testsupport::placementFen(board);
  fen += pos.sideToMove == White ? " w " : " b ";
  const bool chess960 = (searchFlags & Chess960Flag) != 0;
  std::string castling;
  for (int s = 0; s < 2; ++s) {
    const int king = kingSquare(s);
    if (pos.moveCount[king] != 0) continue;
    const int rooks[2] = {pos.castleRookShort[s], pos.castleRookLong[s]};
    for (int wing = 0; wing < 2; ++wing) {
      const int r = rooks[wing];
      if (pos.pieceOn[r] != Rook || pos.colourOn[r] != s || pos.moveCount[r] != 0) continue;
      char c = chess960 ? static_cast<char>('A' + fileOf(r)) : (wing == 0 ? 'K' : 'Q');
      if (s == Black) c = static_cast<char>(c + ('a' - 'A'));
      castling += c;
    }
  }
  fen += castling.empty() ? "-" : castling;
  fen += ' ';
  if (pos.epSquare) {
    fen += static_cast<char>('a' + fileOf(pos.epSquare));
    fen += static_cast<char>('1' + rankOf(pos.epSquare));
  } else {
    fen += '-';
  }
  return fen + " 0 1";
}

struct Rng : testsupport::Lcg {
  explicit Rng(uint64_t seed) : Lcg{seed * 0x9E3779B97F4A7C15ULL + 1} {}
};

inline void setUp(const char* fen) { ASSERT_NE(parseFen(fen), 0u) << fen; }

using boardtest::legalMoves;
using boardtest::playMoves;
using boardtest::StartFen;

inline std::vector<Move> sorted(std::vector<Move> v) {
  std::sort(v.begin(), v.end());
  return v;
}

inline std::string coordinates(Move m) {
  char text[8];
  moveCoordinates(m, text);
  return text;
}

// Plays up to `plies` random legal moves from the current position (a game
// that ends early stops there), calling visit() on every position reached,
// the first included. The moves go into the game record, so walks of any
// length fit. Promotions are favoured now and then so that games with
// several promoted men come up. Returns the plies played.
template <typename Visit>
int randomWalk(Rng& rng, int plies, Visit visit) {
  int played = 0;
  for (; played < plies; ++played) {
    visit();
    const std::vector<Move> moves = legalMoves();
    if (moves.empty()) return played;
    Move m = moves[rng.below(static_cast<int>(moves.size()))];
    if (rng.below(4) == 0)
      for (Move c : moves)
        if (isPromotion(c)) m = c;
    playGameMove(m);
  }
  visit();
  return played;
}

}  // namespace movegentest
