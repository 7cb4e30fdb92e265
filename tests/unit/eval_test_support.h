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
  iterationDepth = 1;
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
