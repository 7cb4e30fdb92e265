// Internal interface between the evaluation driver and its terms and
// endgame evaluators. Only eval/*.cpp and the tests include it.
#pragma once

#include <cstdint>
#include "board/types.h"

// --- small board queries --------------------------------------------------
// Men in a piece set (16 slot bits), by byte table: the build targets no
// particular processor, so the compiler's population count is a library call.
struct BitCountTable {
  uint8_t v[256];
  constexpr BitCountTable() : v() {
    for (int i = 0; i < 256; ++i) v[i] = static_cast<uint8_t>((i & 1) + (i >> 1 & 1) + (i >> 2 & 1) + (i >> 3 & 1) +
                                                             (i >> 4 & 1) + (i >> 5 & 1) + (i >> 6 & 1) + (i >> 7 & 1));
  }
};
inline constexpr BitCountTable bitCount{};
inline int popCount(uint32_t set) { return bitCount.v[set & 255] + bitCount.v[(set >> 8) & 255]; }
inline PieceSet liveSet(const PieceSet* typeSet, int side) { return typeSet[side] & pos.pieceSet[side]; }
inline int pawnCount(int side) { return popCount(liveSet(pos.pawnSet, side)); }
inline int knightCount(int side) { return popCount(liveSet(pos.knightSet, side)); }
inline int bishopCount(int side) { return popCount(liveSet(pos.bishopSet, side)); }
inline int rookCount(int side) { return popCount(liveSet(pos.rookSet, side)); }
inline int queenCount(int side) { return popCount(liveSet(pos.queenSet, side)); }
// Material points of a side: knight and bishop 3, rook 5, queen 10 (signature byte 0).
inline int materialPoints(int side) { return pos.materialSignature[side] & 0xFF; }
// Pieces (not pawns, not the king) of a side (signature byte 1).
inline int pieceCountOf(int side) { return (pos.materialSignature[side] >> 8) & 0xFF; }

// King (Chebyshev) distance of every pair of squares, looked up rather than
// computed: the king and passed-pawn terms ask for it many times per call.
struct KingDistanceTable {
  uint8_t v[64][64];
  constexpr KingDistanceTable() : v() {
    for (int a = 0; a < 64; ++a)
      for (int b = 0; b < 64; ++b) {
        const int dr = rankOf(a) - rankOf(b), df = fileOf(a) - fileOf(b);
        const int r = dr < 0 ? -dr : dr, f = df < 0 ? -df : df;
        v[a][b] = static_cast<uint8_t>(r > f ? r : f);
      }
  }
};
inline constexpr KingDistanceTable kingDistances{};
inline int kingDistance(int a, int b) { return kingDistances.v[a][b]; }
inline int manhattan(int a, int b) {
  const int dr = rankOf(a) - rankOf(b), df = fileOf(a) - fileOf(b);
  return (dr < 0 ? -dr : dr) + (df < 0 ? -df : df);
}
inline bool edgeSquare(int sq) {
  const int r = rankOf(sq), f = fileOf(sq);
  return r == 0 || r == 7 || f == 0 || f == 7;
}

// Centre closeness of each square, rank 1 first (0 corner .. 12 centre).
constexpr int8_t centreValue[64] = {
    0, 1, 2, 3, 3, 2, 1, 0,  1, 3, 5, 6, 6, 5, 3, 1,  2, 5, 8, 9, 9, 8, 5, 2,
    3, 6, 9, 12, 12, 9, 6, 3, 3, 6, 9, 12, 12, 9, 6, 3, 2, 5, 8, 9, 9, 8, 5, 2,
    1, 3, 5, 6, 6, 5, 3, 1,  0, 1, 2, 3, 3, 2, 1, 0};

// Lone-king tables (signed bytes by square): centre, dark corners low, light corners low.
extern const int8_t loneKingCentre[64];
extern const int8_t loneKingDarkCorners[64];
extern const int8_t loneKingLightCorners[64];

// Material of each side at the root of the current search.
extern int32_t rootMaterial[2];

// --- positional terms, White's view ----------------------------------------
int pieceTerm();
int pawnTerm(int whiteToMove);
// Forgets every pawn structure the pawn term has kept.
void pawnCacheClear();
// Starts loading the pawn-structure entry of the current pawns, so that the
// pawn term finds it in the processor cache after the king and threat terms.
void pawnEntryPrefetch();
int kingTerm();
// Pawn-shelter penalty of side c's king (0 when the enemy has no rook or queen).
int kingShelter(int c);
// Attack assessment of side c's king (<= 0); raises the king flags.
int kingAttack(int c);
// Hanging men, pins and overloaded defenders; fills threatBest/threatSecond.
int threatTerm();
// Mobility and activity of the bishop of `side` on sq.
int bishopActivity(int sq, int side);

// --- endgame evaluators ------------------------------------------------------
// Score for the side to move of a bare king against mating material.
int mateEvaluation(int strong, int sideToMove);
// Bishop and rook-file pawns with the wrong corner: lowers scale[strong];
// may set the draw verdict.
void wrongBishopScale(int strong, int sideToMove, int scale[2], uint32_t* flags);
// Minor piece against bishop and pawn: scale[strong] = 0 in drawn set-ups.
void bishopPawnScale(int strong, int scale[2]);
// Set by a class correction when the position is a known drawing set-up:
// the corrected material score is then the whole evaluation, without the
// positional terms (the passer's and kings' bonuses would undo the draw).
constexpr uint32_t ClassNearDraw = 0x1000000;
// Queen against pawn: correction for the strong side; marks the drawing
// set-ups of a rook or bishop pawn on the seventh with ClassNearDraw.
int queenPawnCorrection(int sideToMove, int strong, uint32_t* flags);
// Rook against rook and pawn: correction for the strong side; may lower scale[strong].
int rookPawnCorrection(int strong, int sideToMove, int scale[2]);
// King and pawn against king: score for the side to move with its verdict.
int kpkEvaluation(int strong, int sideToMove, uint32_t* flags);
// Pawn endings: complete score for the side to move, given the material score.
int pawnEndingEvaluation(int sideToMove, int score, int strong, int weak, uint32_t* flags);
// Exact king-and-pawn-against-king result: true when the side with the pawn
// wins. Squares are in the normalised frame (pawn White's, strongMoves says
// whose turn it is).
bool kpkWon(int strongKing, int pawn, int weakKing, bool strongToMove);
