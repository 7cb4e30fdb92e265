// Per-search preparation of the evaluation: the piece-square tables built
// from the root position (phase, king squares, development), the lone-king
// table, the wing flags of the pawn storm, the playing-style shifts and the
// positional extremes of the lazy exit.
#include "board/geometry.h"
#include "board/position.h"
#include "engine/options.h"
#include "eval/eval.h"
#include "eval/terms.h"
#include "search/think.h"
#include "tablebase/tablebase.h"

int16_t pieceSquare[2][7][64];
uint8_t developedMinors[2];
uint8_t attackWing[2];
uint8_t castledWings[2] = {4, 4};

namespace {

// Base tables, White's view, written rank 8 first (as a board is printed);
// read through baseAt(), which turns a square a1 = 0 into the row order.
constexpr int8_t knightBase[64] = {
    -20, -5, 5, 10, 10, 5, -5, -20,   -10, 5, 15, 20, 20, 15, 5, -10,
    0, 15, 25, 30, 30, 25, 15, 0,     -5, 10, 20, 25, 25, 20, 10, -5,
    -10, 5, 15, 20, 20, 15, 5, -10,   -15, 0, 10, 15, 15, 10, 0, -15,
    -25, -10, 0, 0, 0, 0, -10, -25,   -35, -20, -10, -5, -5, -10, -20, -35};
constexpr int8_t bishopBase[64] = {
    0, -2, -4, -5, -5, -4, -2, 0,  -2, 4, 2, 1, 1, 2, 4, -2,  -4, 2, 7, 6, 6, 7, 2, -4,
    -5, 1, 6, 12, 12, 6, 1, -5,    -5, 1, 6, 12, 12, 6, 1, -5, -4, 2, 7, 6, 6, 7, 2, -4,
    -2, 4, 2, 1, 1, 2, 4, -2,      0, -2, -4, -5, -5, -4, -2, 0};
constexpr int8_t rookFileBase[8] = {-1, 0, 2, 3, 3, 2, 0, -1};
constexpr int8_t queenBase[64] = {
    -12, -8, -2, 0, 0, -2, -8, -12,  -8, 2, 4, 6, 6, 4, 2, -8,  -2, 2, 6, 8, 8, 6, 2, -2,
    0, 5, 8, 12, 12, 8, 5, 0,        -2, 5, 8, 12, 12, 8, 5, -2, -8, 2, 6, 8, 8, 6, 2, -8,
    -10, 1, 8, 8, 8, 8, 1, -10,      -12, -8, -2, 0, 0, -2, -8, -12};
constexpr int8_t pawnBase[64] = {
    0, 0, 0, 0, 0, 0, 0, 0,      14, 17, 24, 30, 30, 24, 17, 14,  11, 14, 22, 28, 28, 22, 14, 11,
    7, 10, 19, 25, 25, 19, 10, 7, 3, 8, 16, 22, 22, 16, 8, 3,      3, 4, 8, 9, 9, 8, 4, 3,
    0, 0, -1, -2, -2, -1, 0, 0,  0, 0, 0, 0, 0, 0, 0, 0};
constexpr int8_t kingMiddleBase[64] = {
    0, 2, -9, -12, -12, -9, 2, 0,         -8, -4, -12, -17, -17, -12, -4, -8,
    -21, -19, -25, -27, -27, -25, -19, -21, -26, -26, -30, -33, -33, -30, -26, -26,
    -26, -26, -30, -33, -33, -30, -26, -26, -21, -19, -25, -27, -27, -25, -19, -21,
    -8, -4, -12, -17, -17, -12, -4, -8,   0, 2, -9, -12, -12, -9, 2, 0};
constexpr int8_t kingEndBase[64] = {
    -2, 2, 6, 10, 10, 6, 2, -2,  2, 10, 14, 18, 18, 14, 10, 2,  6, 14, 22, 26, 26, 22, 14, 6,
    10, 18, 26, 34, 34, 26, 18, 10, 10, 18, 26, 34, 34, 26, 18, 10, 6, 14, 22, 26, 26, 22, 14, 6,
    2, 10, 14, 18, 18, 14, 10, 2,  -2, 2, 6, 10, 10, 6, 2, -2};

// Value of a rank-8-first table at square sq (a1 = 0).
constexpr int baseAt(const int8_t* table, int sq) { return table[(7 - rankOf(sq)) * 8 + fileOf(sq)]; }

inline int absInt(int x) { return x < 0 ? -x : x; }
inline int lineDistance(int a, int b) {
  const int dr = absInt(rankOf(a) - rankOf(b)), df = absInt(fileOf(a) - fileOf(b));
  return dr < df ? dr : df;
}

// Home squares of the minors (b, c, f, g files) and the type that starts there.
constexpr int minorHomeFile[4] = {1, 2, 5, 6};
constexpr PieceType minorHomeType[4] = {Knight, Bishop, Bishop, Knight};

int countDevelopedMinors(int side) {
  int n = 0;
  for (int i = 0; i < 4; ++i) {
    const int sq = (side == White ? 0 : 56) + minorHomeFile[i];
    if (pos.pieceOn[sq] != minorHomeType[i] || pos.colourOn[sq] != side) ++n;
  }
  return n;
}

void applyDevelopment(int side) {
  if (developedMinors[side] == 4 && pos.plyCount > 16) return;
  const int home = side == White ? 0 : 56;
  pieceSquare[side][Knight][home + 1] -= 14;
  pieceSquare[side][Knight][home + 6] -= 17;
  pieceSquare[side][Bishop][home + 2] -= 8;
  pieceSquare[side][Bishop][home + 5] -= 8;
  developedMinors[side] = static_cast<uint8_t>(countDevelopedMinors(side));
}

void chooseLoneKingTable() {
  loneKingTable = loneKingCentre;
  for (int side = 0; side < 2; ++side) {
    const int o = side ^ 1;
    const bool bishopAndKnight = pawnCount(side) == 0 && knightCount(side) == 1 &&
                                 bishopCount(side) == 1 && rookCount(side) == 0 &&
                                 queenCount(side) == 0;
    if (bishopAndKnight && pos.pieceSet[o] == 1u) {
      const int b = pos.pieceList[side][__builtin_ctz(liveSet(pos.bishopSet, side))];
      loneKingTable = squareShade[b] ? loneKingDarkCorners : loneKingLightCorners;
    }
  }
}

void setWings() {
  castledWings[White] = castledWings[Black] = 4;
  if (endgamePhase <= 4) return;
  for (int side = 0; side < 2; ++side) {
    const int f = fileOf(kingSquare(side)), ef = fileOf(kingSquare(side ^ 1));
    if (f <= 2) {
      attackWing[side] = 224;
      castledWings[side] = ef >= 5 ? 2 : 0;
    } else if (f >= 5) {
      attackWing[side] = 7;
      castledWings[side] = ef <= 2 ? 2 : 0;
    }
  }
}

void setStyle() {
  threatShift[0] = threatShift[1] = 6;
  pawnThreatShift[0] = pawnThreatShift[1] = 5;
  styleSide = 0;
  const uint32_t style = (searchFlags >> OptPlayingStyleShift) & 3;
  if (style != 1 && style != 2) return;
  const int favoured = style == 1 ? rootSide : rootSide ^ 1;
  styleSide = static_cast<uint8_t>(favoured + 1);
  threatShift[favoured] = 7;
  pawnThreatShift[favoured] = 6;
}

// Distance sum of one pawn for the king square table of pawn endings.
int pawnDistance(int sq, int side, int p) {
  const int o = side ^ 1, f = fileOf(p);
  const int up = side == White ? 8 : -8;
  int d = 0;
  if (pos.pawnRanksOnFile[side][f] == 0 && pos.pawnRanksOnFile[side][f + 2] == 0) d += manhattan(sq, p);
  int state = 2;
  const int lastRank = side == White ? 7 : 0;
  int t = p + up;
  for (; rankOf(t) != lastRank; t += up) {
    if (pos.pieceOn[t] == Pawn) {
      state = 0;
      break;
    }
    if (pos.attackTable[o].sq[t].directCounts & 0xC00) state = 1;
  }
  const int promotion = fileOf(p) + lastRank * 8;
  const int seventh = side == White ? 6 : 1;
  int target;
  if (pos.pieceOn[p + up] == Pawn) target = p + up;
  else if (pawnCount(side) >= pawnCount(o) && rankOf(p) != seventh) target = p + 2 * up;
  else target = p + up;
  if (state < 2) {
    const int x = absInt(rankOf(sq) - rankOf(target)) + absInt(fileOf(sq) - fileOf(target)) +
                  kingDistance(sq, target);
    d += state == 1 ? 2 * x : x;
  } else {
    d += absInt(rankOf(sq) - rankOf(promotion)) + absInt(rankOf(sq) - rankOf(target)) +
         absInt(fileOf(sq) - fileOf(promotion)) + absInt(fileOf(sq) - fileOf(target)) +
         2 * kingDistance(sq, target) + kingDistance(sq, promotion);
  }
  return d;
}

void pawnEndingKingTables() {
  const int pawns = pawnCount(White) + pawnCount(Black);
  if (endgamePhase >= 9 || pawns == 0) return;
  const int k = (openingWeight - 8) / 2 + 1;
  for (int sq = 0; sq < 64; ++sq) {
    int d = 0;
    for (int side = 0; side < 2; ++side)
      for (PieceSet set = liveSet(pos.pawnSet, side); set; set &= set - 1)
        d += pawnDistance(sq, side, pos.pieceList[side][__builtin_ctz(set)]);
    const int add = 6 * k - (d * k) / pawns;
    pieceSquare[White][King][sq] = static_cast<int16_t>(pieceSquare[White][King][sq] + add);
    pieceSquare[Black][King][sq] = static_cast<int16_t>(pieceSquare[Black][King][sq] + add);
  }
}

}  // namespace

void prepareEvaluation() {
  updatePhase();
  const int wk = kingSquare(White), bk = kingSquare(Black);
  for (int sq = 0; sq < 64; ++sq) {
    const int mirrored = sq ^ 56;
    pieceSquare[White][Pawn][sq] = 0;
    pieceSquare[Black][Pawn][sq] = 0;
    pieceSquare[White][Knight][sq] = static_cast<int16_t>(baseAt(knightBase, sq));
    pieceSquare[Black][Knight][sq] = static_cast<int16_t>(baseAt(knightBase, mirrored));
    pieceSquare[White][Queen][sq] = static_cast<int16_t>(baseAt(queenBase, sq));
    pieceSquare[Black][Queen][sq] = static_cast<int16_t>(baseAt(queenBase, mirrored));
    for (int side = 0; side < 2; ++side) {
      pieceSquare[side][None][sq] = 0;
      pieceSquare[side][Bishop][sq] = static_cast<int16_t>(baseAt(bishopBase, sq));
      pieceSquare[side][Rook][sq] = rookFileBase[fileOf(sq)];
      pieceSquare[side][King][sq] = static_cast<int16_t>(
          (baseAt(kingMiddleBase, sq) * endgamePhase + baseAt(kingEndBase, sq) * openingWeight) >> 4);
    }
  }
  applyDevelopment(White);
  applyDevelopment(Black);
  chooseLoneKingTable();
  setWings();

  for (int sq = 0; sq < 64; ++sq) {
    const int pawnW = (baseAt(pawnBase, sq) * (endgamePhaseHalf + 8)) / 16 + openingWeightHalf - 8;
    const int pawnB = (baseAt(pawnBase, 63 - sq) * (endgamePhaseHalf + 8)) / 16 + openingWeightHalf - 8;
    pieceSquare[White][Pawn][sq] = static_cast<int16_t>(pieceSquare[White][Pawn][sq] + pawnW);
    pieceSquare[Black][Pawn][sq] = static_cast<int16_t>(pieceSquare[Black][Pawn][sq] + pawnB);
    const int knightPull = manhattan(sq, wk) + manhattan(sq, bk);
    for (int side = 0; side < 2; ++side) {
      pieceSquare[side][Knight][sq] = static_cast<int16_t>(pieceSquare[side][Knight][sq] - knightPull);
      pieceSquare[side][Bishop][sq] = static_cast<int16_t>(pieceSquare[side][Bishop][sq] + 12);
    }
    pieceSquare[White][Rook][sq] = static_cast<int16_t>(pieceSquare[White][Rook][sq] - lineDistance(sq, bk));
    pieceSquare[Black][Rook][sq] = static_cast<int16_t>(pieceSquare[Black][Rook][sq] - lineDistance(sq, wk));
    if (developedMinors[White] == 4)
      pieceSquare[White][Queen][sq] = static_cast<int16_t>(pieceSquare[White][Queen][sq] + 8 - manhattan(sq, bk));
    if (developedMinors[Black] == 4)
      pieceSquare[Black][Queen][sq] = static_cast<int16_t>(pieceSquare[Black][Queen][sq] + 8 - manhattan(sq, wk));
  }
  pawnEndingKingTables();

  setStyle();
  posScoreHigh[0] = posScoreHigh[1] = 100;
  posScoreLow[0] = posScoreLow[1] = -100;
  rootMaterial[White] = pos.material[White];
  rootMaterial[Black] = pos.material[Black];
  tablebaseDrawPlayOn = 0;
  tablebaseMaxMen = tbMaxMen;
}
