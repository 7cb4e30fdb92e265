// Test helpers for the board: squares by name, FEN set-up, moves played
// from their text, legal moves.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "board/build.h"
#include "board/setup.h"
#include "board/geometry.h"
#include "board/history.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "board/types.h"

namespace boardtest {

constexpr const char* StartFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

inline int squareOf(const char* s) { return (s[1] - '1') * 8 + (s[0] - 'a'); }

inline void loadFen(const std::string& fen) {
  if (parseFen(fen.c_str()) == 0) ADD_FAILURE() << "FEN refused: " << fen;
}

// Plays the moves (any text the engine reads) into the game record; the
// first one refused fails the test and ends the line.
inline void playMoves(const std::vector<std::string>& texts) {
  for (const std::string& text : texts) {
    Move m = parseMoveText(text.c_str());
    if (m == 0 || !completeMove(static_cast<int>(pos.sideToMove), &m) || !playGameMove(m)) {
      ADD_FAILURE() << "move refused: " << text;
      return;
    }
  }
}

// The legal moves of the side to move; the generator itself is checked
// against stockfish elsewhere.
inline std::vector<Move> legalMoves() {
  Move moves[MaxMovesPerPly];
  const int n = generateLegalMoves(moves);
  return std::vector<Move>(moves, moves + n);
}

}  // namespace boardtest
