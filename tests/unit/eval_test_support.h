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

}  // namespace evaltest
