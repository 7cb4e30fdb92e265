// The incremental attack tables: adding and removing a man's attacks, the
// three ray updates for a square that fills, empties or changes its kind of
// man, the dirty marks for the threat values, and the exchange estimate.
#include "board/attacks.h"

#include <cstring>

#include "board/geometry.h"

namespace {

// ---------------------------------------------------------------------------
// Dirty marks. An attack of `side` on the man standing on r was added or
// removed; mark that man when its threat value may have changed. The mark
// is computed, not branched on: which men an update meets is anyone's guess.

inline void markIf(bool mark, int c, int r) {
  pos.dirtyPieces[c] |= pos.slotBitOn[r] & (0u - static_cast<PieceSet>(mark));
}

inline void markAdded(int side, int r) {
  const int c = pos.colourOn[r];
  markIf(c != side || pos.pieceThreat[r] != 0, c, r);
}

inline void markRemoved(int side, int r) {
  const int c = pos.colourOn[r];
  const bool threatened = pos.pieceThreat[r] != 0, attacked = pos.attackTable[side ^ 1].sq[r].directCounts != 0;
  markIf(c != side ? threatened : attacked, c, r);
}

template <bool Add, bool Mark>
inline void markAt(int side, int r) {
  if constexpr (Mark) {
    if (Add) markAdded(side, r);
    else markRemoved(side, r);
  }
}

inline bool transparent(int d, int r) { return (passMask[d] & (1 << pos.pieceOn[r])) != 0; }

template <bool Add>
inline void directAt(SquareAttacks& a, uint16_t w, uint16_t bit) {
  if (Add) {
    a.directCounts += w;
    a.directAttackers |= bit;
    ++a.totalCount;
  } else {
    a.directCounts -= w;
    a.directAttackers ^= bit;
    --a.totalCount;
  }
}

template <bool Add>
inline void xrayAt(SquareAttacks& a, uint16_t bit) {
  if (Add) {
    a.xrayCount2 += 2;
    a.xrayAttackers |= bit;
    ++a.totalCount;
  } else {
    a.xrayCount2 -= 2;
    a.xrayAttackers ^= bit;
    --a.totalCount;
  }
}

// Adds or removes the x-rays of a slider (bit) running in direction d from
// the square after q, up to and including the first man that is not
// transparent for d.
template <bool Add, bool Mark = true>
inline void xrayWalk(SquareAttacks* t, int side, int q, int d, uint16_t bit) {
  for (int r = nextSquare[d][q]; r != NoSquare; r = nextSquare[d][r]) {
    xrayAt<Add>(t[r], bit);
    if (pos.colourOn[r] != NoColour) {
      markAt<Add, Mark>(side, r);
      if (!transparent(d, r)) return;
    }
  }
}

// Direct attacks of a slider on q's line beyond q, up to and including the
// first occupied square, which is returned (NoSquare at the board's edge).
template <bool Add>
inline int directWalk(SquareAttacks* t, int side, int q, int d, uint16_t w, uint16_t bit) {
  for (int r = nextSquare[d][q]; r != NoSquare; r = nextSquare[d][r]) {
    directAt<Add>(t[r], w, bit);
    if (pos.colourOn[r] != NoColour) {
      markAt<Add, true>(side, r);
      return r;
    }
  }
  return NoSquare;
}

// Direct attacks beyond q up to the first occupied square turn into x-rays
// (ToXray) or back into direct attacks.
template <bool ToXray>
inline void convertWalk(SquareAttacks* t, int side, int q, int d, uint16_t w, uint16_t bit) {
  for (int r = nextSquare[d][q]; r != NoSquare; r = nextSquare[d][r]) {
    SquareAttacks& a = t[r];
    if (ToXray) {
      a.directCounts -= w;
      a.directAttackers ^= bit;
      a.xrayCount2 += 2;
      a.xrayAttackers |= bit;
    } else {
      a.xrayCount2 -= 2;
      a.xrayAttackers ^= bit;
      a.directCounts += w;
      a.directAttackers |= bit;
    }
    if (pos.colourOn[r] != NoColour) {
      if (ToXray) markRemoved(side, r);
      else markAdded(side, r);
      return;
    }
  }
}

// ---------------------------------------------------------------------------
// One man's attacks.

template <bool Add, bool Mark>
inline void stepAttacks(SquareAttacks* t, int side, int q, int type) {
  const uint16_t w = attackWeight[type];
  const uint16_t bit = static_cast<uint16_t>(pos.slotBitOn[q]);
  for (const RayEntry* e = rayList[type][q]; e->square != NoSquare; ++e) {
    directAt<Add>(t[e->square], w, bit);
    if (pos.colourOn[e->square] != NoColour) markAt<Add, Mark>(side, e->square);
  }
}

template <bool Add, bool Mark>
inline void pawnAttacks(SquareAttacks* t, int side, int q) {
  const uint16_t bit = static_cast<uint16_t>(pos.slotBitOn[q]);
  const int d = pawnCaptureDir[side];
  for (int k = 0; k < 2; ++k) {
    const int r = nextSquare[d + k][q];
    if (r == NoSquare) continue;
    directAt<Add>(t[r], 1024, bit);
    if (pos.colourOn[r] != NoColour) markAt<Add, Mark>(side, r);
  }
}

template <bool Add, bool Mark>
void sliderAttacks(SquareAttacks* t, int side, int q, int type) {
  const uint16_t w = attackWeight[type];
  const uint16_t bit = static_cast<uint16_t>(pos.slotBitOn[q]);
  const RayEntry* e = rayList[type][q];
  while (e->square != NoSquare) {
    int r = e->square;
    int left = e->remaining;
    ++e;
    directAt<Add>(t[r], w, bit);
    if (pos.colourOn[r] == NoColour) continue;
    markAt<Add, Mark>(side, r);
    if (left == 0) continue;
    const int d = directionTo[r][q];
    if (transparent(d, r)) {
      while (left > 0) {
        r = e->square;
        --left;
        ++e;
        xrayAt<Add>(t[r], bit);
        if (pos.colourOn[r] != NoColour) {
          markAt<Add, Mark>(side, r);
          if (!transparent(d, r)) break;
        }
      }
    }
    e += left;
  }
}

template <bool Add, bool Mark>
void manAttacks(SquareAttacks* t, int side, int q, int type) {
  switch (type) {
    case Knight:
    case King: stepAttacks<Add, Mark>(t, side, q, type); break;
    case Bishop:
    case Rook:
    case Queen: sliderAttacks<Add, Mark>(t, side, q, type); break;
    default: pawnAttacks<Add, Mark>(t, side, q); break;
  }
}

template <bool Add, int Type>
void updateOne(int side, int q) {
  manAttacks<Add, true>(pos.attackTable[side].sq, side, q, Type);
}

// ---------------------------------------------------------------------------
// Exchange estimate tables.

// Value of one attacker unit in the swap-off: pawn, minor, rook, and the
// units counted together (queen, king, x-ray).
constexpr int PawnUnit = 128, MinorUnit = 416, RookUnit = 640, HeavyUnit = 1248;

constexpr int classOfCounts(int pawns, int minors, int rooks, int heavy) {
  int c = (pawns >= 1 ? 64 : 0) + (pawns >= 2 ? 32 : 0);
  c += 16 * (minors > 3 ? 3 : minors) + 4 * (rooks > 3 ? 3 : rooks) + (heavy > 3 ? 3 : heavy);
  return c > 127 ? 127 : c;
}

constexpr ConstTable<uint8_t, 3072> buildAttackClass() {
  ConstTable<uint8_t, 3072> t{};
  for (int w = 0; w < 3072; ++w) {
    const int heavy = (w & 1) + ((w >> 1) & 7);
    t.v[w] = static_cast<uint8_t>(
        classOfCounts((w >> 10) & 3, ((w >> 6) & 3) + ((w >> 8) & 3), (w >> 4) & 3, heavy));
  }
  return t;
}

// The men a class stands for, cheapest first; pawns are read first, so
// 96 means two pawns.
struct Men {
  int value[12];
  int count;
};

constexpr Men menOfClass(int c) {
  Men m{};
  int pawns = c >= 96 ? 2 : c >= 64 ? 1 : 0;
  int rest = c - (pawns == 2 ? 96 : pawns * 64);
  const int counts[4] = {pawns, rest >> 4, (rest >> 2) & 3, rest & 3};
  const int values[4] = {PawnUnit, MinorUnit, RookUnit, HeavyUnit};
  for (int k = 0; k < 4; ++k)
    for (int i = 0; i < counts[k]; ++i) m.value[m.count++] = values[k];
  return m;
}

// Best gain of the side about to capture `onSquare`, given the next men of
// both sides (mover first); either side may stop capturing at any point.
constexpr int swapGain(int onSquare, const Men& mover, int im, const Men& other, int io) {
  if (im >= mover.count) return 0;
  const int g = onSquare - swapGain(mover.value[im], other, io, mover, im + 1);
  return g > 0 ? g : 0;
}

constexpr ConstTable<uint8_t[128], 128> buildExchangeLoss() {
  ConstTable<uint8_t[128], 128> t{};
  for (int a = 1; a < 128; ++a) {
    const Men att = menOfClass(a);
    for (int d = 1; d < 128; ++d) {
      const Men def = menOfClass(d);
      // The first attacker has taken; what the defence wins back from it.
      t.v[a][d] = static_cast<uint8_t>(swapGain(att.value[0], def, 0, att, 1) / 8);
    }
  }
  return t;
}

}  // namespace

namespace {
constexpr ConstTable<uint8_t[128], 128> lossTable = buildExchangeLoss();
// The entries the threat evaluation is tuned on.
static_assert(lossTable[4][1] == 80 && lossTable[4][127] == 80);
static_assert(lossTable[1][1] == 156 && lossTable[1][64] == 156);
static_assert(lossTable[64][1] == 16 && lossTable[16][96] == 52);
static_assert(lossTable[5][1] == 0 && lossTable[77][0] == 0);
}  // namespace

constinit const ConstTable<uint8_t, 3072> attackClass = buildAttackClass();
constinit const ConstTable<uint8_t[128], 128> exchangeLoss = lossTable;

const AttackUpdate addAttacks[7] = {updateOne<true, Pawn>,   updateOne<true, Pawn>,
                                    updateOne<true, Knight>, updateOne<true, Bishop>,
                                    updateOne<true, Rook>,   updateOne<true, Queen>,
                                    updateOne<true, King>};
const AttackUpdate removeAttacks[7] = {updateOne<false, Pawn>,   updateOne<false, Pawn>,
                                       updateOne<false, Knight>, updateOne<false, Bishop>,
                                       updateOne<false, Rook>,   updateOne<false, Queen>,
                                       updateOne<false, King>};

// ---------------------------------------------------------------------------
// Ray updates.

void blockSquare(int side, int q, int cls) {
  SquareAttacks* t = pos.attackTable[side].sq;
  const SquareAttacks& at = t[q];
  for (PieceSet set = at.directAttackers & pos.sliders[side]; set;) {
    const int slot = highestSlot(set);
    const uint16_t bit = static_cast<uint16_t>(1u << slot);
    set ^= bit;
    const int a = pos.pieceList[side][slot];
    const int d = directionTo[q][a];
    const uint16_t w = attackWeight[pos.pieceOn[a]];
    if (dirClass[d] & cls) {
      convertWalk<true>(t, side, q, d, w, bit);
    } else {
      const int r = directWalk<false>(t, side, q, d, w, bit);
      if (r != NoSquare && transparent(d, r)) xrayWalk<false>(t, side, r, d, bit);
    }
  }
  for (PieceSet set = at.xrayAttackers; set;) {
    const int slot = highestSlot(set);
    const uint16_t bit = static_cast<uint16_t>(1u << slot);
    set ^= bit;
    const int d = directionTo[q][pos.pieceList[side][slot]];
    if (!(dirClass[d] & cls)) xrayWalk<false>(t, side, q, d, bit);
  }
}

void unblockSquare(int side, int q, int cls) {
  SquareAttacks* t = pos.attackTable[side].sq;
  const SquareAttacks& at = t[q];
  for (PieceSet set = at.directAttackers & pos.sliders[side]; set;) {
    const int slot = highestSlot(set);
    const uint16_t bit = static_cast<uint16_t>(1u << slot);
    set ^= bit;
    const int a = pos.pieceList[side][slot];
    const int d = directionTo[q][a];
    const uint16_t w = attackWeight[pos.pieceOn[a]];
    if (dirClass[d] & cls) {
      convertWalk<false>(t, side, q, d, w, bit);
    } else {
      const int r = directWalk<true>(t, side, q, d, w, bit);
      if (r != NoSquare && transparent(d, r)) xrayWalk<true>(t, side, r, d, bit);
    }
  }
  for (PieceSet set = at.xrayAttackers; set;) {
    const int slot = highestSlot(set);
    const uint16_t bit = static_cast<uint16_t>(1u << slot);
    set ^= bit;
    const int d = directionTo[q][pos.pieceList[side][slot]];
    if (!(dirClass[d] & cls)) xrayWalk<true>(t, side, q, d, bit);
  }
}

void recolourSquare(int side, int q, int oldCls, int newCls) {
  SquareAttacks* t = pos.attackTable[side].sq;
  const SquareAttacks& at = t[q];
  for (PieceSet set = (at.directAttackers | at.xrayAttackers) & pos.sliders[side]; set;) {
    const int slot = highestSlot(set);
    const uint16_t bit = static_cast<uint16_t>(1u << slot);
    set ^= bit;
    const int d = directionTo[q][pos.pieceList[side][slot]];
    const int c = dirClass[d];
    if ((c & oldCls) && !(c & newCls)) xrayWalk<false>(t, side, q, d, bit);
    else if (!(c & oldCls) && (c & newCls)) xrayWalk<true>(t, side, q, d, bit);
  }
}

// ---------------------------------------------------------------------------
// From scratch, threats and the validator.

namespace {

void buildInto(int side, AttackTable* table) {
  std::memset(table, 0, sizeof(AttackTable));
  for (PieceSet set = pos.pieceSet[side]; set;) {
    const int slot = highestSlot(set);
    set ^= 1u << slot;
    const int q = pos.pieceList[side][slot];
    manAttacks<true, false>(table->sq, side, q, pos.pieceOn[q]);
  }
}

}  // namespace

void buildAttackTable(int side, AttackTable* table) { buildInto(side, table); }

int threatOf(int q) {
  const int side = pos.colourOn[q];
  const SquareAttacks& them = pos.attackTable[side ^ 1].sq[q];
  if (them.directCounts == 0 || pos.pieceOn[q] == King) return 0;
  const SquareAttacks& own = pos.attackTable[side].sq[q];
  const int g = exchangeLoss[attackClassOf(them.directCounts + them.xrayCount2)]
                            [attackClassOf(own.directCounts + own.xrayCount2)];
  const int v = pieceValue[pos.pieceOn[q]] - 8 * g;
  return v > 0 ? v : 0;
}

void refreshThreats() {
  for (int side = 0; side < 2; ++side) {
    for (PieceSet set = pos.dirtyPieces[side] & pos.pieceSet[side] & ~1u; set;) {
      const int slot = highestSlot(set);
      const PieceSet bit = 1u << slot;
      set ^= bit;
      const int q = pos.pieceList[side][slot];
      pos.threatSum[side] -= pos.pieceThreat[q];
      pos.evalSet[side] &= ~bit;
      const int v = threatOf(q);  // never negative
      pos.pieceThreat[q] = static_cast<int16_t>(v);
      pos.threatSum[side] += v;
      pos.evalSet[side] |= bit & (0u - static_cast<PieceSet>(v > 0));
    }
    // The marks are consumed: the values of every marked man are current.
    pos.dirtyPieces[side] = 0;
  }
}

bool attackTablesAgree() {
  for (int side = 0; side < 2; ++side) {
    AttackTable fresh;
    buildInto(side, &fresh);
    if (std::memcmp(&fresh, &pos.attackTable[side], sizeof(AttackTable)) != 0) return false;
  }
  return true;
}
