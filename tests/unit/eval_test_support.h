// Helpers shared by the evaluation tests: set up a FEN the way a search
// start would, evaluate it, and build the colour-mirrored twin of a FEN.
#pragma once

#include <cctype>
#include <sstream>
#include <string>

#include "board/position.h"
#include "board/setup.h"
#include "board/types.h"
#include "eval/eval.h"
#include "search/think.h"

namespace evaltest {

inline int sq(const char* name) { return (name[1] - '1') * 8 + (name[0] - 'a'); }

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

inline uint32_t verdict() { return pos.plyTop->flags & EvalVerdictMask; }

// The same position with colours exchanged and the board turned upside
// down: pieces swap case, ranks reverse, side, castling and en passant follow.
inline std::string mirrorFen(const std::string& fen) {
  std::istringstream in(fen);
  std::string board, side, castle = "-", ep = "-", half, full;
  in >> board >> side >> castle >> ep >> half >> full;
  auto swapCase = [](std::string s) {
    for (char& ch : s) ch = static_cast<char>(isupper(ch) ? tolower(ch) : toupper(ch));
    return s;
  };
  std::string out;
  for (size_t end = board.size(); end != std::string::npos;) {
    const size_t cut = board.rfind('/', end - 1);
    const size_t from = cut == std::string::npos ? 0 : cut + 1;
    out += swapCase(board.substr(from, end - from)) + (cut == std::string::npos ? "" : "/");
    end = cut;
  }
  if (castle != "-") {
    std::string upper, lower;
    for (char ch : swapCase(castle)) (isupper(ch) ? upper : lower) += ch;
    castle = upper + lower;
  }
  if (ep.size() == 2) ep[1] = static_cast<char>('1' + ('8' - ep[1]));
  out += (side == "b" ? " w " : " b ") + castle + " " + ep;
  if (!half.empty()) out += " " + half + " " + (full.empty() ? "1" : full);
  return out;
}

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
  auto unmoved = [](int q, int piece, int side) {
    return pos.pieceOn[q] == piece && pos.colourOn[q] == side && pos.moveCount[q] == 0;
  };
  for (int side = 0; side < 2; ++side) {
    const int home = side == White ? 0 : 56;
    if (!unmoved(home + 4, King, side)) continue;
    if (unmoved(home + 7, Rook, side)) castle += side == White ? 'K' : 'k';
    if (unmoved(home, Rook, side)) castle += side == White ? 'Q' : 'q';
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
