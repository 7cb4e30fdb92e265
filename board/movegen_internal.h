// Small board queries shared by the move generators and the move tests.
#pragma once

#include "board/position.h"
#include "board/types.h"

namespace movegenDetail {

inline int highestBitOf(PieceSet set) { return 31 - __builtin_clz(set); }
inline int lowestBitOf(PieceSet set) { return __builtin_ctz(set); }

inline bool isEmpty(int sq) { return pos.colourOn[sq] == NoColour; }
inline bool isOwnPawn(int sq, int side) { return pos.colourOn[sq] == side && pos.pieceOn[sq] == Pawn; }
inline bool isChess960() { return (searchFlags & Chess960Flag) != 0; }

inline int backRank(int side) { return side == White ? 0 : 7; }
inline int secondRank(int side) { return side == White ? 1 : 6; }
inline int doubleStepRank(int side) { return side == White ? 3 : 4; }
inline int kingStart(int side) { return side == White ? 4 : 60; }

// The direction pointing the other way along the same line, for 0..7.
constexpr int oppositeDirection[8] = {2, 3, 0, 1, 7, 6, 5, 4};

// True when a man of the type moves along line direction d (0..7) or, for
// a knight, jumps in direction d (8..15).
inline bool movesAlong(int type, int d) {
  switch (type) {
    case Knight: return d >= 8 && d < 16;
    case Bishop: return d >= 4 && d < 8;
    case Rook: return d < 4;
    case Queen: return d < 8;
    default: return false;
  }
}

}  // namespace movegenDetail
