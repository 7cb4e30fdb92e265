// Constant geometry of the 8x8 board: steps, rays, directions between
// squares, bit-scan tables and the per-type attack weights.
#pragma once

#include "board/types.h"

// Direction steps: 0 E, 1 N, 2 W, 3 S, 4 NW, 5 NE, 6 SW, 7 SE, 8..15 knight jumps.
constexpr int directionStep[16] = {1, 8, -1, -8, 7, 9, -9, -7, -17, -10, 6, 15, 17, 10, -6, -15};

// One entry of a ray list: the square reached and how many squares of the
// same ray follow it (0 on the last square, always 0 for knight and king).
struct RayEntry {
  uint8_t square;
  uint8_t remaining;
};
constexpr int RayListLength = 28;  // queen's 27 squares plus the terminator

// A constant table built at compile time; indexing reads like a plain array.
template <typename T, int N>
struct ConstTable {
  T v[N];
  constexpr const T& operator[](int i) const { return v[i]; }
};

// nextSquare[d][q]: one step from q in direction d, 255 off the board.
extern const ConstTable<uint8_t[64], 16> nextSquare;
// directionTo[a][b]: direction from b to a (0..15), 16 when none.
extern const ConstTable<uint8_t[64], 64> directionTo;
// rayList[type][q]: squares reached on an empty board, ray by ray, ended by 255.
extern const ConstTable<RayEntry[64][RayListLength], 7> rayList;
// rayMask[d][q]: the squares beyond q in line direction d (0..7), one bit
// per square; rayLength[d][q]: how many there are.
extern const ConstTable<uint64_t[64], 8> rayMask;
extern const ConstTable<uint8_t[64], 8> rayLength;
// highestBit[b] / lowestBit[b]: index of the highest / lowest set bit of a byte.
extern const ConstTable<uint8_t, 256> highestBit;
extern const ConstTable<uint8_t, 256> lowestBit;
// squareShade[q]: 1 for a dark square (a1 is dark).
extern const ConstTable<uint8_t, 64> squareShade;

// First of the two pawn capture directions: 4 (NW) for White, 6 (SW) for Black.
constexpr int pawnCaptureDir[2] = {4, 6};
// Attack weight per PieceType in directCounts.
constexpr uint16_t attackWeight[7] = {0, 1024, 256, 64, 16, 2, 1};
// Weights of the men that move along each direction.
constexpr uint16_t lineWeightMask[16] = {62, 62, 62, 62, 206, 206, 206, 206,
                                         768, 768, 768, 768, 768, 768, 768, 768};
// Line classes: bit 8 diagonals, 16 ranks and files, 32 any line.
constexpr uint8_t lineClass[7] = {0, 0, 0, 40, 48, 56, 0};
// Class bit of each direction.
constexpr uint8_t dirClass[16] = {16, 16, 16, 16, 8, 8, 8, 8, 4, 4, 4, 4, 4, 4, 4, 4};
// (1 << type) of the men a line in each direction continues through.
constexpr uint8_t passMask[16] = {48, 48, 48, 48, 40, 40, 40, 40, 4, 4, 4, 4, 4, 4, 4, 4};

// The first square of `squares` (a bit per square) beyond q in line
// direction d, NoSquare when the ray holds none. East, north, north-west
// and north-east raise the square index; the other four lower it.
inline int firstOnRay(int d, int q, uint64_t squares) {
  const uint64_t hit = rayMask[d][q] & squares;
  if (hit == 0) return NoSquare;
  return (0x33 >> d) & 1 ? __builtin_ctzll(hit) : 63 - __builtin_clzll(hit);
}

// The squares beyond q in line direction d up to the first man of `men`,
// that man's square left out.
inline uint64_t openRay(int d, int q, uint64_t men) {
  const int b = firstOnRay(d, q, men);
  return b == NoSquare ? rayMask[d][q] : rayMask[d][q] ^ (rayMask[d][b] | uint64_t{1} << b);
}

// The bit of square q in a set of squares; none for NoSquare.
inline uint64_t squareBit(int q) { return q < 64 ? uint64_t{1} << q : 0; }

// Highest set bit (0 for an empty set); one bit-scan instruction.
inline int highestSlot(PieceSet set) { return set ? 31 - __builtin_clz(set) : 0; }
inline int lowestSlot(PieceSet set) {
  return (set & 255) ? lowestBit[set & 255] : lowestBit[(set >> 8) & 255] + 8;
}
