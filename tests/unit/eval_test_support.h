// Helpers shared by the evaluation tests: set up a FEN the way a search
// start would, evaluate it, and build the colour-mirrored twin of a FEN.
#pragma once

#include <string>

#include "board/position.h"
#include "board/setup.h"
#include "board/types.h"
#include "eval/eval.h"
#include "search/think.h"

namespace evaltest {

// Sets up the position, prepares the evaluation as a search start does
// (Active style, no draw offset) and clears the root ply record's flags.
inline bool setUp(const std::string& fen, uint32_t flags = 0) {
  if (!parseFen(fen.c_str())) return false;
  searchFlags = flags;
  rootSide = static_cast<uint8_t>(pos.sideToMove);
  drawScoreFor[0] = drawScoreFor[1] = 0;
  iterationDepth = 0;  // 0 = no search under way (the driver reads it too)
  developedMinors[0] = developedMinors[1] = 0;
  prepareEvaluation();
  pos.plyTop->flags = isInCheck() ? EvalInCheck : 0;
  return true;
}

// Evaluates the current position for the side to move.
inline int eval(int depth = EvalFullDepth, int ply = 2, int alpha = -16384, int beta = 16384) {
  pos.plyTop->flags &= EvalInCheck;
  return evaluate(static_cast<int>(pos.sideToMove), ply, depth, alpha, beta);
}

inline int setUpAndEval(const std::string& fen, int depth = EvalFullDepth) {
  if (!setUp(fen)) return -99999;
  return eval(depth);
}

// The same position with colours exchanged and the board turned upside
// down: pieces swap case, ranks reverse, side, castling and en passant follow.
inline std::string mirrorFen(const std::string& fen) {
  std::string fields[6];
  int n = 0;
  for (size_t i = 0; i < fen.size() && n < 6;) {
    while (i < fen.size() && fen[i] == ' ') ++i;
    size_t j = i;
    while (j < fen.size() && fen[j] != ' ') ++j;
    if (j > i) fields[n++] = fen.substr(i, j - i);
    i = j;
  }
  std::string ranks[8];
  int r = 0;
  for (char ch : fields[0]) {
    if (ch == '/') {
      ++r;
      continue;
    }
    if (r < 8) ranks[r] += ch;
  }
  auto swapCase = [](std::string s) {
    for (char& ch : s) {
      if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 32);
      else if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch + 32);
    }
    return s;
  };
  std::string board;
  for (int i = 7; i >= 0; --i) {
    board += swapCase(ranks[i]);
    if (i) board += '/';
  }
  const std::string side = fields[1] == "b" ? "w" : "b";
  std::string castle = fields[2].empty() ? "-" : fields[2];
  if (castle != "-") {
    std::string upper, lower;
    for (char ch : swapCase(castle)) (ch >= 'A' && ch <= 'Z' ? upper : lower) += ch;
    castle = upper + lower;
  }
  std::string ep = fields[3].empty() ? "-" : fields[3];
  if (ep != "-" && ep.size() == 2) ep[1] = static_cast<char>('1' + ('8' - ep[1]));
  std::string out = board + " " + side + " " + castle + " " + ep;
  if (!fields[4].empty()) out += " " + fields[4] + " " + (fields[5].empty() ? "1" : fields[5]);
  return out;
}

}  // namespace evaltest

namespace evaltest {

// FEN of the current board (standard castling letters from the unmoved
// kings and rooks, en-passant square only when it can be taken).
inline std::string currentFen() {
  std::string out;
  for (int r = 7; r >= 0; --r) {
    int empty = 0;
    for (int f = 0; f < 8; ++f) {
      const int q = r * 8 + f;
      if (pos.pieceOn[q] == None) {
        ++empty;
        continue;
      }
      if (empty) out += static_cast<char>('0' + empty), empty = 0;
      out += pieceLetters[pos.pieceOn[q] + (pos.colourOn[q] == Black ? 6 : 0)];
    }
    if (empty) out += static_cast<char>('0' + empty);
    if (r) out += '/';
  }
  out += pos.sideToMove == White ? " w " : " b ";
  std::string castle;
  for (int side = 0; side < 2; ++side) {
    const int k = kingSquare(side);
    if (k != (side == White ? 4 : 60) || pos.moveCount[k] != 0) continue;
    const int shortRook = side == White ? 7 : 63, longRook = side == White ? 0 : 56;
    auto unmovedRook = [side](int q) {
      return pos.pieceOn[q] == Rook && pos.colourOn[q] == side && pos.moveCount[q] == 0;
    };
    if (unmovedRook(shortRook)) castle += side == White ? 'K' : 'k';
    if (unmovedRook(longRook)) castle += side == White ? 'Q' : 'q';
  }
  out += castle.empty() ? "-" : castle;
  if (pos.epSquare) {
    out += ' ';
    out += static_cast<char>('a' + fileOf(static_cast<int>(pos.epSquare)));
    out += static_cast<char>('1' + rankOf(static_cast<int>(pos.epSquare)));
  } else {
    out += " -";
  }
  return out + " 0 1";
}

}  // namespace evaltest
