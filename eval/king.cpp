// The king term: pawn shelter on the king's files and the king square
// table in the middlegame, king activity in the endgame.
#include "board/geometry.h"
#include "eval/eval.h"
#include "eval/terms.h"

namespace {

inline int zoneCentre(int k) {
  int f = fileOf(k), r = rankOf(k);
  f = f < 1 ? 1 : (f > 6 ? 6 : f);
  r = r < 1 ? 1 : (r > 6 ? 6 : r);
  return r * 8 + f;
}

// True when `side` has no pawn on file f (0..7).
inline bool openFile(int side, int f) { return pos.pawnRanksOnFile[side][f + 1] == 0; }

}  // namespace

// Shelter of side c's king: penalties for open and half-open files on and
// beside the king's file.
int kingShelter(int c) {
  const int e = c ^ 1;
  if ((liveSet(pos.rookSet, e) | liveSet(pos.queenSet, e)) == 0) return 0;
  const int f = fileOf(kingSquare(c));
  int s = 0;
  if (openFile(e, f)) s -= 21;
  if (openFile(c, f)) s -= 15;
  if (f == 1 || f == 2 || f == 3 || f == 7) {
    if (openFile(e, f - 1)) s -= 18;
    if (openFile(c, f - 1)) s -= 13;
    if (f != 7) {
      if (openFile(e, f + 1)) s -= 11;
      if (f == 2) {
        if (openFile(e, 0)) s -= 15;
        if (openFile(c, 0)) s -= 11;
      }
    } else if (openFile(e, f)) {
      s -= 11;
    }
  } else {
    if (openFile(e, f + 1)) s -= 18;
    if (openFile(c, f + 1)) s -= 13;
    if (f != 0) {
      if (openFile(e, f - 1)) s -= 11;
      if (f == 5) {
        if (openFile(e, 7)) s -= 15;
        if (openFile(c, 7)) s -= 11;
      }
    } else if (openFile(e, 2)) {
      s -= 11;
    }
  }
  return s;
}

namespace {

// Weight of the attackers in a slot set: king 2, queen 4, rooks 3, minors 2;
// slots 8..15 (pawns and extra men) count 0.
struct WeightTable {
  uint8_t v[256];
  constexpr WeightTable() : v() {
    constexpr uint8_t slotWeight[8] = {2, 4, 3, 3, 2, 2, 2, 2};
    for (int i = 0; i < 256; ++i) {
      int w = 0;
      for (int b = 0; b < 8; ++b)
        if (i & (1 << b)) w += slotWeight[b];
      v[i] = static_cast<uint8_t>(w);
    }
  }
};
constexpr WeightTable weights;
inline int attackerWeight(PieceSet set) { return weights.v[set & 255]; }

constexpr int occupantWeight[7] = {0, 0, 2, 2, 3, 4, 2};
// Weight of an attack on each zone square, rank 1 first.
constexpr int8_t zoneWeight[64] = {
    6, 6, 6, 6, 6, 6, 6, 6,  4, 12, 8, 6, 6, 8, 12, 4,  10, 14, 10, 10, 10, 10, 14, 10,
    14, 14, 14, 14, 14, 14, 14, 14, 14, 14, 14, 14, 14, 14, 14, 14, 10, 14, 10, 10, 10, 10, 14, 10,
    4, 12, 8, 6, 6, 8, 12, 4,  6, 6, 6, 6, 6, 6, 6, 6};
// Flight squares a checking line from direction d covers (by d = 0..15).
constexpr uint8_t lineMask[16] = {5, 10, 5, 10, 144, 96, 96, 144, 128, 16, 64, 32, 16, 128, 32, 64};
constexpr uint8_t rookContactMask[4] = {164, 56, 81, 194};
constexpr uint8_t queenNearMask[8] = {165, 58, 85, 202, 144, 96, 96, 144};
// Flights a queen in contact covers, [blocked flights of directions 0..3][d].
constexpr uint8_t queenContactMask[16][8] = {
    {174, 61, 91, 199, 230, 211, 188, 121}, {174, 61, 91, 199, 230, 83, 188, 89},
    {174, 61, 91, 199, 198, 195, 188, 121}, {174, 61, 91, 199, 198, 67, 188, 89},
    {174, 61, 91, 199, 166, 211, 172, 121}, {174, 61, 91, 199, 166, 83, 172, 89},
    {174, 61, 91, 199, 134, 195, 172, 121}, {174, 61, 91, 199, 134, 67, 172, 89},
    {174, 61, 91, 199, 230, 211, 60, 57},   {174, 61, 91, 199, 230, 83, 60, 25},
    {174, 61, 91, 199, 198, 195, 60, 57},   {174, 61, 91, 199, 198, 67, 60, 25},
    {174, 61, 91, 199, 166, 211, 44, 57},   {174, 61, 91, 199, 166, 83, 44, 25},
    {174, 61, 91, 199, 134, 195, 44, 57},   {174, 61, 91, 199, 134, 67, 44, 25}};
// Danger by attack index; the plateau of 640 from index 27 on.
constexpr int kingDanger[28] = {0,   1,   3,   6,   10,  16,  25,  38,  57,  85,  113, 141, 169, 197,
                                225, 256, 288, 320, 352, 384, 416, 448, 480, 512, 544, 576, 608, 640};

inline int attackerCount(unsigned w) {
  return (w & 1) + ((w >> 1) & 7) + ((w >> 4) & 3) + ((w >> 6) & 3) + ((w >> 8) & 3) + ((w >> 10) & 3);
}

// Scratch state of one king's attack assessment.
struct KingScan {
  int c, e, king;
  uint32_t blocked = 0, safe = 0, covered = 0;
  PieceSet checkers = 0;
  uint8_t slotFlightCover[16] = {};
  int d = 0, U = 0;
  bool mate = false, attacked = false;
};

void recordThreatMove(const KingScan& k, int from, int to) {
  PlyRecord* rec = pos.plyTop;
  if (rec->mover != k.c || (rec->flags & EvalThreatMoveSet)) return;
  rec->threatMove = static_cast<uint16_t>(from * 64 + to);
  rec->flags |= EvalThreatMoveSet;
}

// A check on q by the man in slot p that may leave the king no flight.
void testNoFlight(KingScan& k, int slot, int q, uint32_t mask) {
  k.covered |= mask;
  if (((k.slotFlightCover[slot] ^ k.safe) & ~mask) == 0) {
    recordThreatMove(k, pos.pieceList[k.e][slot], q);
    k.mate = true;
  }
}

// The king's flight squares: an own man blocks one, and so does an enemy
// man other than a rook or queen; a flight no enemy man attacks is safe,
// and one that a single enemy man covers is noted under that man's slot.
// Returns every enemy man that bears on a neighbour of the king.
PieceSet scanFlights(KingScan& k) {
  const AttackTable& them = pos.attackTable[k.e];
  PieceSet involved = 0;
  for (const RayEntry* r = rayList[King][k.king]; r->square != 255; ++r) {
    const int z = r->square;
    const SquareAttacks& en = them.sq[z];
    const uint32_t bit = 1u << directionTo[k.king][z];
    involved |= en.directAttackers | en.xrayAttackers;
    if (pos.colourOn[z] == k.c) {
      k.blocked |= bit;
      continue;
    }
    if (pos.colourOn[z] == k.e && pos.pieceOn[z] != Rook && pos.pieceOn[z] != Queen) k.blocked |= bit;
    if (en.directCounts == 0) k.safe |= bit;
    if (en.totalCount == 1) {
      const PieceSet one = (en.directAttackers | en.xrayAttackers) & 0xFFFF;
      if (one) k.slotFlightCover[__builtin_ctz(one)] |= static_cast<uint8_t>(bit);
    }
  }
  return involved;
}

// The opposite of each line direction 0..7.
constexpr int towardsKing[8] = {2, 3, 0, 1, 7, 6, 5, 4};

// Checks along the rays of one line class: diagonal (directions 4..7) or
// orthogonal (0..3).
void lineChecks(KingScan& k, bool diagonal) {
  const AttackTable& own = pos.attackTable[k.c];
  const AttackTable& them = pos.attackTable[k.e];
  const unsigned fieldMask = diagonal ? 206 : 62;
  const PieceSet sliders = (diagonal ? pos.diagSliders[k.e] : pos.orthoSliders[k.e]) & pos.pieceSet[k.e];
  const PieceSet queens = liveSet(pos.queenSet, k.e);
  for (int ray = diagonal ? 4 : 0; ray < (diagonal ? 8 : 4); ++ray) {
    int r = 0;
    PieceSet counted = 0;
    const int dir = towardsKing[ray];  // direction from any square of the ray to the king
    for (int q = nextSquare[ray][k.king]; q != 255; q = nextSquare[ray][q]) {
      const bool occupied = pos.pieceOn[q] != None;
      const int diff = own.sq[q].totalCount - them.sq[q].totalCount;
      if (diff > 1) {
        r += diff;
      } else if (them.sq[q].directCounts & fieldMask) {
        if (pos.colourOn[q] == k.e) {
          // Discovered check by a slider behind an enemy man.
          const int man = pos.pieceOn[q];
          if (man != Pawn) k.d += r - 5;
          if (r == 0) {
            const int ahead = q + (k.e == White ? 8 : -8);
            const bool pawnStuck = man == Pawn && (ahead < 0 || ahead > 63 || pos.pieceOn[ahead] != None ||
                                                   (!diagonal && (dir == 1 || dir == 3)));
            for (PieceSet set = them.sq[q].directAttackers & sliders; set && !pawnStuck; set &= set - 1) {
              const int slot = __builtin_ctz(set);
              const int from = pos.pieceList[k.e][slot];
              if (directionTo[q][from] != dir || pos.pieceThreat[from] != 0) continue;
              k.d -= 16;
              k.checkers |= 1u << slot;
              k.U += attackerWeight(1u << slot) + 6;
              k.covered |= lineMask[dir];
              k.attacked = true;
              if ((k.safe & ~static_cast<uint32_t>(lineMask[dir])) == 0) k.mate = true;
            }
          }
        } else if (diff < 0) {
          k.d += r - 10;
          const PieceSet fresh = them.sq[q].directAttackers & sliders & ~counted;
          counted |= fresh;
          k.checkers |= fresh;
          for (PieceSet set = fresh; set; set &= set - 1) k.U += attackerWeight(set & (0u - set)) + 6;
          const unsigned enemyWord = (them.sq[q].directCounts + them.sq[q].xrayCount2) & fieldMask;
          const unsigned ownWord = (own.sq[q].directCounts + own.sq[q].xrayCount2) & ~1u;
          if (r == 0 && attackerCount(enemyWord) > attackerCount(ownWord)) {
            k.d -= 12;
            const bool contact = kingDistance(q, k.king) == 1;
            for (PieceSet set = them.sq[q].directAttackers & sliders; set; set &= set - 1) {
              const int slot = __builtin_ctz(set);
              const bool queen = (queens >> slot) & 1;
              uint32_t mask;
              if (diagonal) {
                mask = queen && contact && own.sq[q].totalCount < 2 ? queenContactMask[k.blocked & 15][dir]
                                                                    : lineMask[dir];
              } else if (contact) {
                mask = queen && own.sq[q].totalCount <= 1 ? queenContactMask[k.blocked & 15][dir]
                                                          : rookContactMask[dir];
              } else if (kingDistance(q, k.king) == 2 && queen && own.sq[q].totalCount == 0) {
                mask = queenNearMask[dir];
              } else {
                mask = lineMask[dir];
              }
              testNoFlight(k, slot, q, mask);
            }
          }
        } else if (diff == 0) {
          k.d += r - 6;
        }
      }
      if (occupied) break;
    }
  }
}

void knightChecks(KingScan& k) {
  const AttackTable& own = pos.attackTable[k.c];
  const AttackTable& them = pos.attackTable[k.e];
  const PieceSet knights = liveSet(pos.knightSet, k.e);
  for (const RayEntry* j = rayList[Knight][k.king]; j->square != 255; ++j) {
    const int q = j->square;
    if (!(them.sq[q].directCounts & 768) || own.sq[q].totalCount > them.sq[q].totalCount) continue;
    const bool enemyMan = pos.colourOn[q] == k.e;
    if (!enemyMan) {
      const PieceSet attackers = them.sq[q].directAttackers & knights;
      k.checkers |= attackers;
      for (PieceSet set = attackers; set; set &= set - 1) k.U += attackerWeight(set & (0u - set)) + 6;
      if (popCount(attackers) > own.sq[q].totalCount) {
        k.d -= 20;
        const int dir = directionTo[k.king][q];
        for (PieceSet set = attackers; set; set &= set - 1) testNoFlight(k, __builtin_ctz(set), q, lineMask[dir]);
      } else {
        k.d -= 6;
      }
      if (k.safe == 0) k.d -= 24;
    } else if (pos.pieceOn[q] != Pawn) {
      k.d -= 5;
    }
  }
}

}  // namespace

void endgameMateThreat(int c) {
  KingScan k;
  k.c = c;
  k.e = c ^ 1;
  k.king = kingSquare(c);
  const AttackTable& own = pos.attackTable[c];
  const AttackTable& them = pos.attackTable[k.e];
  const PieceSet involved = scanFlights(k);
  const PieceSet queens = liveSet(pos.queenSet, k.e);
  bool anyMask = false;
  uint32_t& flags = pos.plyTop->flags;
  for (const RayEntry* r = rayList[King][k.king]; r->square != 255; ++r) {
    const int q = r->square;
    if (pos.colourOn[q] == k.e) continue;
    if (them.sq[q].totalCount <= own.sq[q].totalCount) continue;
    const int out = directionTo[q][k.king];  // direction from the king to q
    const int dir = directionTo[k.king][q];
    const PieceSet lineSliders = (out < 4 ? pos.orthoSliders[k.e] : pos.diagSliders[k.e]) & pos.pieceSet[k.e];
    const unsigned word = (them.sq[q].directCounts + them.sq[q].xrayCount2) & lineWeightMask[out];
    if (attackerCount(word) < own.sq[q].totalCount) continue;
    PieceSet set = them.sq[q].directAttackers & lineSliders;
    while (set) {
      const int slot = highestSlot(set);
      set &= ~(1u << slot);
      uint32_t mask;
      if (((queens >> slot) & 1) && own.sq[q].totalCount < 2) mask = queenContactMask[k.blocked & 15][dir];
      else if (attackerCount(word) > own.sq[q].totalCount || dir >= 4) mask = lineMask[dir];
      else mask = rookContactMask[dir];
      k.covered |= mask;
      anyMask = true;
      if (((k.slotFlightCover[slot] ^ k.safe) & ~mask) == 0) {
        flags |= mateThreatFlag(c);
        return;
      }
    }
  }
  if (anyMask && (k.safe & ~k.covered) == 0 && popCount(involved & 0xFF & pos.pieceSet[k.e]) >= 2)
    flags |= kingAttackedFlag(c);
}

int kingAttack(int c) {
  KingScan k;
  k.c = c;
  k.e = c ^ 1;
  k.king = kingSquare(c);
  const AttackTable& own = pos.attackTable[c];
  const AttackTable& them = pos.attackTable[k.e];
  scanFlights(k);
  const int centre = zoneCentre(k.king);
  PieceSet A = 0, X = 0;
  int u = 0, x = 0;
  const PieceSet enemyBishops = liveSet(pos.bishopSet, k.e), ownBishops = liveSet(pos.bishopSet, c);
  const int pawnAhead = c == White ? -8 : 8;  // an enemy pawn advances towards c
  for (int i = -1; i < 8; ++i) {
    const int z = i < 0 ? centre : rayList[King][centre][i].square;
    const SquareAttacks& en = them.sq[z];
    const SquareAttacks& ow = own.sq[z];
    const bool enemyMan = pos.colourOn[z] == k.e;
    const bool ownMan = pos.colourOn[z] == c;
    if (enemyMan && pos.pieceOn[z] == Pawn) {
      const int ahead = z + pawnAhead;
      if (ahead >= 0 && ahead < 64 && pos.pieceOn[ahead] != None) continue;
    }
    int bal = en.totalCount - ow.totalCount;
    A |= en.directAttackers;
    X |= en.xrayAttackers;
    u += attackerWeight(en.directAttackers);
    x += attackerWeight(en.xrayAttackers);
    bool undefended = true;
    if (en.directCounts >= ow.directCounts) {
      if (en.directCounts != 0) undefended = false;
      if (bal >= 0) {
        const PieceSet shadeBit = squareShade[z] ? 1u << 5 : 1u << 4;
        const bool enemyHas = (enemyBishops & shadeBit) != 0, ownHas = (ownBishops & shadeBit) != 0;
        k.d -= zoneWeight[z];
        if (enemyHas && !ownHas) k.d -= zoneWeight[z];
        if ((ownMan && pos.pieceOn[z] == Bishop) || (ownHas && !enemyHas)) k.d += zoneWeight[z];
      }
    }
    if (enemyMan) {
      if (pos.pieceOn[z] != Pawn) bal += 1;
      if (ow.directCounts == 1 || pos.pieceThreat[z] == 0) undefended = false;
      u += occupantWeight[pos.pieceOn[z]];
    }
    if (undefended && bal < 0) continue;
    if (ownMan && en.directCounts != 0) undefended = false;
    const int und = undefended ? 1 : 0;
    if (bal >= und) {
      u += 4;
      if (bal >= und + 1) u += 8;
    } else if (!undefended) {
      u += 4;
    }
  }
  if (rankOf(centre) == 1 || rankOf(centre) == 6) {
    const int step = rankOf(centre) == 1 ? 16 : -16;
    for (int off = -1; off <= 1; ++off) X |= them.sq[centre + step + off].directAttackers;
  }
  if (edgeSquare(k.king)) u += 8;
  k.U = attackerWeight(A) + u + (attackerWeight(X) >> 1);

  if (liveSet(pos.bishopSet, k.e) | liveSet(pos.queenSet, k.e)) lineChecks(k, true);
  if (liveSet(pos.rookSet, k.e) | liveSet(pos.queenSet, k.e)) {
    if ((k.safe & 0xFA) == 0) k.d -= 2 * openingWeight;
    lineChecks(k, false);
  }
  if (liveSet(pos.knightSet, k.e)) knightChecks(k);

  const PieceSet S = (A | k.checkers) & 0xFFFF;
  const int k1 = popCount(S);
  const int k2 = k1 + popCount(X & ~S & 0xFFFF);
  int index = x / 2 + k.U + 2 * k1 + 2 * k2;
  if (k2 < 2) index >>= 1;
  index >>= 3;
  if (index > 27) index = 27;
  if (index < 0) index = 0;
  int result = k.d - kingDanger[index];

  uint32_t& flags = pos.plyTop->flags;
  if (k.attacked) flags |= kingAttackedFlag(c);
  if (k.mate) flags |= mateThreatFlag(c);
  const bool allCovered = (k.safe & ~k.covered) == 0 && k.covered != 0 && popCount((X | S) & 0xFF & pos.pieceSet[k.e]) >= 2;
  if (flags & mateThreatFlag(c)) {
    if (allCovered) {
      flags |= kingAttackedFlag(c);
      return result - 96;
    }
    return result - 64;
  }
  if (allCovered) {
    flags |= kingAttackedFlag(c);
    return result - 32;
  }
  return result;
}

namespace {

int kingValue(int c) {
  const int e = c ^ 1, k = kingSquare(c);
  const int16_t* table = pieceSquare[c][King];
  if (materialPoints(e) >= 13) {
    int v = kingShelter(c) + kingAttack(c);
    if (pos.plyTop->flags & mateThreatFlag(c)) {
      threatSecond[c] = threatBest[c];
      threatBest[c] = 1248;
    }
    const int w = endgamePhase + (liveSet(pos.queenSet, e) ? 1 : 0);
    v = (w * v) >> 4;
    if (styleSide != c + 1) v = (v * 5) >> 2;
    return v + table[k];
  }
  if (pieceCountOf(e) >= 2 && materialPoints(e) >= 8) endgameMateThreat(c);
  const int h = table[k];
  int b = h;
  const AttackTable& them = pos.attackTable[e];
  for (const RayEntry* r = rayList[King][k]; r->square != 255; ++r)
    if (them.sq[r->square].directCounts == 0 && table[r->square] > b) b = table[r->square];
  return (h + b) / 2;
}

}  // namespace

int kingTerm() { return kingValue(White) - kingValue(Black); }
