// Position indexing of the endgame tables: the board symmetries that bring
// a position into its normal form, the king-pair numbering, the enumeration
// tables of the men that stand beside the kings, and the generic index
// computation that every class's index function runs with its own layout.
#pragma once
#include <cstdint>

#include "board/geometry.h"
#include "tablebase/tbclasses.h"

// Result of an index function for input that no legal position produces
// (kings on equal or adjacent squares, a man of the side to move giving
// check from a neighbouring square, a pawn on the first or last rank...).
// It lies above every class's range, so a probe treats it as "unknown".
constexpr uint64_t TbNoIndex = ~0ull;

// Number of king pairs in each numbering.
constexpr int KingPairsPawnless = 462;
constexpr int KingPairsPawns = 1806;
constexpr int16_t NoKingPair = 4000;

// XOR masks that bring a square into the a1..d4 quadrant.
extern const ConstTable<uint8_t, 64> quadrantMask;
// XOR mask that brings a square onto files a..d.
extern const ConstTable<uint8_t, 64> fileMirrorMask;
// XOR mask of the colour-swapped board: 0, or 56 for a vertical flip.
constexpr uint8_t invertMask[2] = {0, 56};
// Square (rank, file) -> (file, rank).
extern const ConstTable<uint8_t, 64> diagonalReflect;
// 1 on a1 b1 c1 d1 b2 c2 d2 c3 d3 d4.
extern const ConstTable<uint8_t, 64> inTriangle;
// 0 on the a1..h8 diagonal, 1 elsewhere.
extern const ConstTable<uint8_t, 64> offDiagonal;
// 1 where rank <= file.
extern const ConstTable<uint8_t, 64> onOrBelowDiagonal;

// King-pair numbers [first king][second king], NoKingPair for a pair that
// cannot occur. The first king is the king of the side to move.
extern const ConstTable<int16_t[64], 64> kkPawnless;
extern const ConstTable<int16_t[64], 64> kkPawns;

// Enumeration kinds of the men numbered beside the kings.
constexpr int KindPawnNotToMove = 0, KindPawnToMove = 1, KindKnight = 2, KindBishop = 3, KindRook = 4,
              KindQueen = 5, TbKinds = 6;

// Running number of square S for a man of a kind, relative to the king of
// the side not to move on square K; 255 where such a man may not stand.
extern uint8_t squareNumber[TbKinds][64][64];  // [kind][K][S]
extern uint8_t squareCount[TbKinds][64];       // [kind][K]
// The square of each running number: squareOfNumber[kind][K][n].
extern uint8_t squareOfNumber[TbKinds][64][64];
// The two kings' squares of each king-pair number, [0] pawnless, [1] pawns.
extern uint8_t kingPairSquares[2][KingPairsPawns][2];

// First index of each king pair's block, for one, two and three men of the
// side to move (kinds in ascending order), accumulated over the king pairs
// in their numbering order. [0] uses the pawnless king pairs (kinds 2..5),
// [1] the pawn king pairs; the entry after the last pair holds the total.
constexpr int TbPairSlots = KingPairsPawns + 1;
extern uint32_t pairOffset[2][TbKinds][TbPairSlots];
extern uint32_t pairOffset2[2][TbKinds][TbKinds][TbPairSlots];
extern uint32_t pairOffset3[2][TbKinds][TbKinds][TbKinds][TbPairSlots];

// Builds squareNumber, squareCount and the pair-offset sets. Idempotent.
void buildEnumerations();

// One group of men of the same side and kind, as the layout of a class
// orders them.
struct TbGroup {
  uint8_t list;   // 0: the side to move's list, 1: the other side's
  uint8_t first;  // first entry of the kind in the list (TbListPawn...)
  uint8_t count;  // men in the group, 1..3
  uint8_t kind;   // enumeration kind of a numbered group; pawn or not for the others
};

// How one index function of one class turns squares into an index:
// numbered men of the side to move (or, when it has none, the pawns of the
// other side) beside the king pair, then appended groups as plain factors;
// classes with pawns on both sides add a block for positions where an
// en-passant capture is possible.
struct TbLayout {
  uint8_t side;   // side to move of this function
  uint8_t pawns;  // the class has pawns: pawn king pairs, no diagonal symmetry
  uint8_t numberedGroups, appendedGroups, epGroups;
  uint8_t epBlock;       // both sides have pawns
  uint8_t pawnCount[2];  // pawns of the side to move and of the other side
  TbGroup numbered[3];
  TbGroup appended[5];
  TbGroup ep[10];  // all men but the kings; the pawn groups hold capturer and victim
  uint64_t appendedRange[5];
  uint64_t epRange[10];     // pawn groups: without the capturer and the victim
  const uint32_t* offsets;  // pair offsets of the numbered groups, null when none
  uint64_t plainTotal;      // positions without en passant
  uint64_t epTotal;         // positions of the en-passant block
};

// Fills a layout from a class's men (counts of pawns, knights, bishops,
// rooks and queens of White and of Black) for one side to move. Needs buildEnumerations().
void buildLayout(TbLayout* layout, const int whiteMen[5], const int blackMen[5], int side);

// The index of a position under a layout (see TbIndexFn for the arguments).
uint64_t tbIndex(const TbLayout& layout, const uint8_t* white, const uint8_t* black, int ep, int invert);

// The position an index stands for, in the normal form the index function
// brings it to (lists filled as for the index function, ep = TbNoEp or the
// en-passant square). False for an index that no placement of the men
// gives (two men on one square, a second number of a twin); on true,
// tbIndex of the result is the index again. The position may still be
// illegal (the side not to move in check from afar): the caller checks.
bool tbPosition(const TbLayout& layout, uint64_t index, uint8_t* white, uint8_t* black, int* ep);

// The same for class cls and side to move side (after initTbClasses()).
const TbLayout& tbClassLayout(int cls, int side);
bool tbClassPosition(int cls, int side, uint64_t index, uint8_t* white, uint8_t* black, int* ep);
