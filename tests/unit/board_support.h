// Test helpers for the board: squares by name, FEN set-up, legal moves.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "board/build.h"
#include "board/setup.h"
#include "board/geometry.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "board/types.h"

namespace boardtest {

inline int squareOf(const char* s) { return (s[1] - '1') * 8 + (s[0] - 'a'); }

inline void loadFen(const std::string& fen) {
  if (parseFen(fen.c_str()) == 0) ADD_FAILURE() << "FEN refused: " << fen;
}

// The legal moves of the side to move; the generator itself is checked
// against stockfish elsewhere.
inline std::vector<Move> legalMoves() {
  Move moves[MaxMovesPerPly];
  const int n = generateLegalMoves(moves);
  return std::vector<Move>(moves, moves + n);
}

}  // namespace boardtest
