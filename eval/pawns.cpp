// The pawn term: every pawn once, from its prepared square value, its role
// in the king's shelter, structural weaknesses, storms and, for passed
// pawns, the path ahead with king distances and rooks behind. Black's pawns
// are handled in the same code through ranks seen from their own side.
// What depends on the pawns alone is kept per pawn structure in a table.
#include <cstring>

#include "board/attacks.h"
#include "board/geometry.h"
#include "board/position.h"
#include "engine/options.h"
#include "eval/eval.h"
#include "eval/terms.h"
#include "search/think.h"

int32_t bishopColourPawns[2][2];

namespace {

// Tables by rank index seen from the pawn's side (0 = own first rank).
constexpr int shieldRankShift[8] = {0, 1, 2, 3, 3, 2, 1, 0};
constexpr int isolatedPenalty[8] = {4, 6, 8, 10, 10, 8, 6, 4};  // by file
constexpr int backwardRankWeight[8] = {0, 12, 8, 4, 2, 1, 1, 1};
constexpr int stormRank[8] = {0, 0, 0, 2, 3, 3, 3, 0};
constexpr int passedBase[8] = {8, 16, 16, 32, 64, 112, 160, 208};
constexpr int passedDefendedFront[8] = {0, 4, 7, 14, 28, 56, 112, 0};
constexpr int passedDefended[8] = {0, 6, 6, 12, 24, 48, 96, 0};
constexpr int passedSupportable[8] = {0, 2, 2, 4, 8, 16, 32, 0};
// Cost of an enemy man standing in front of a weak pawn, by PieceType.
constexpr int blockerPenalty[7] = {0, 0, 8, 6, 4, 2, 6};
// Weakness of the square in front of a pawn, by relative square (rank 1 first).
constexpr int8_t weakSquareValue[64] = {
    0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0, 0,  3, 4, 6, 9, 9, 6, 4, 3,
    2, 3, 5, 7, 7, 5, 3, 2,  1, 2, 3, 4, 4, 3, 2, 1,  0, 0, 1, 2, 2, 1, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0, 0};

constexpr uint8_t reverseByte(int b) {
  int r = 0;
  for (int i = 0; i < 8; ++i)
    if (b & (1 << i)) r |= 1 << (7 - i);
  return static_cast<uint8_t>(r);
}
struct ReverseTable {
  uint8_t v[256];
  constexpr ReverseTable() : v() {
    for (int i = 0; i < 256; ++i) v[i] = reverseByte(i);
  }
};
constexpr ReverseTable reversed;

inline int absInt(int x) { return x < 0 ? -x : x; }
inline int lowBits(int n) { return n <= 0 ? 0 : (n >= 8 ? 0xFF : (1 << n) - 1); }  // ranks 0..n-1
inline int rankRange(int lo, int hi) { return lo > hi ? 0 : lowBits(hi + 1) & ~lowBits(lo); }
inline int pawnAttackCount(const AttackTable& t, int sq) { return (t.sq[sq].directCounts >> 10) & 3; }

// The pawns of one side on each file, as rank bits seen from side `view`.
struct FileMasks {
  uint8_t own[10], enemy[10];
};

void fillMasks(int c, FileMasks* m) {
  for (int i = 0; i < 10; ++i) {
    const uint8_t a = pos.pawnRanksOnFile[c][i], b = pos.pawnRanksOnFile[c ^ 1][i];
    m->own[i] = c == White ? a : reversed.v[a];
    m->enemy[i] = c == White ? b : reversed.v[b];
  }
}

// Number of neighbouring files of f whose mask has a bit in `ranks`.
inline int adjacentCount(const uint8_t* mask, int f, int ranks) {
  return ((mask[f] & ranks) != 0) + ((mask[f + 2] & ranks) != 0);
}
// Lowest rank of at least `from` with a pawn on a neighbouring file, or `none`.
inline int lowestAdjacent(const uint8_t* mask, int f, int from, int none) {
  const int bits = (mask[f] | mask[f + 2]) & ~lowBits(from);
  return bits ? __builtin_ctz(static_cast<unsigned>(bits)) : none;
}

// Files of the shelter in front of an unmoved king (0 when the king moved).
int shelterMask(int c) {
  if (pos.moveCount[kingSquare(c)] != 0) return 0;
  auto rookHome = [c](int sq) {
    return sq < 64 && pos.pieceOn[sq] == Rook && pos.colourOn[sq] == c && pos.moveCount[sq] == 0;
  };
  int mask = rookHome(pos.castleRookLong[c]) ? 3 : 0;
  if (rookHome(pos.castleRookShort[c])) mask |= 224;
  else if (mask) mask |= 56;
  return mask;
}

inline int zoneCentre(int k) {
  int f = fileOf(k), r = rankOf(k);
  f = f < 1 ? 1 : (f > 6 ? 6 : f);
  r = r < 1 ? 1 : (r > 6 ? 6 : r);
  return r * 8 + f;
}

void enterThreat(int side, int v) {
  if (v > threatBest[side]) {
    threatSecond[side] = threatBest[side];
    threatBest[side] = v;
  } else if (v > threatSecond[side]) {
    threatSecond[side] = v;
  }
}

// Value of promoting on q now for side c: a queen, less what the enemy
// wins back by taking it there.
int promotionValue(int c, int q) {
  const AttackTable& own = pos.attackTable[c];
  const AttackTable& them = pos.attackTable[c ^ 1];
  if (them.sq[q].directCounts == 0) return pieceValue[Queen];
  const int g = exchangeLoss[attackClassOf(them.sq[q].directCounts + them.sq[q].xrayCount2)]
                            [attackClassOf(own.sq[q].directCounts + own.sq[q].xrayCount2)];
  const int loss = pieceValue[Queen] - 8 * g;
  return loss > 0 ? pieceValue[Queen] - loss : pieceValue[Queen];
}

struct PawnContext {
  int c, e, up, toMove;
  int shelter, ownPoints, enemyPoints, kingZone;
  bool enemyMajors;
};

int passedPawn(const PawnContext& x, int s, int r, bool frontDefended) {
  const int c = x.c, e = x.e, up = x.up;
  const AttackTable& own = pos.attackTable[c];
  const AttackTable& them = pos.attackTable[e];
  const int front = s + up;
  int ev = 0, bias = 0;
  if (pawnAttackCount(them, s) == 0) {
    if (frontDefended) ev = passedDefendedFront[r];
    else if (pawnAttackCount(own, s)) ev = passedDefended[r];
    else if (pos.pieceOn[front] == None && r < 6 && pawnAttackCount(own, front + up)) ev = passedSupportable[r];
  }
  // Rooks and queens behind the pawn on its file.
  const int behindDir = c == White ? 1 : 3;  // direction of travel from behind to the pawn
  for (int side = 0; side < 2; ++side) {
    const SquareAttacks& a = pos.attackTable[side].sq[s];
    PieceSet set = (a.directAttackers | a.xrayAttackers) & (pos.orthoSliders[side] & pos.pieceSet[side]);
    for (; set; set &= set - 1) {
      const int from = pos.pieceList[side][__builtin_ctz(set)];
      if (directionTo[s][from] != behindDir) continue;
      if (side == c) ev += 17, bias += 1;
      else ev -= 21, bias -= 1;
    }
  }
  const int promo = fileOf(s) + (c == White ? 56 : 0);
  const int ok = kingSquare(c), ek = kingSquare(e);
  const int enemyToMove = x.toMove == e ? 1 : 0;
  const int dk = kingDistance(ok, s) - kingDistance(ek, s) + enemyToMove;
  const int dq = kingDistance(ok, promo) - kingDistance(ek, promo) + enemyToMove;
  if (x.enemyPoints < 4) {
    if (dk < 0 && dq < 0) bias += 1;
    if (dk > 0 && dq > 0) bias -= 1;
  }
  int w = passedBase[r], n = 2, blockers = 0;
  for (int t = front;; t += up) {
    if (pos.pieceOn[t] == None) {
      n += 1;
      if (own.sq[t].totalCount - them.sq[t].totalCount + bias < 0) {
        w -= w >> n;
        n += 1;
      } else {
        w += w >> n;
      }
    } else {
      blockers += 1;
      if (pos.colourOn[t] == e && pos.pieceThreat[t] == 0) {
        w -= w >> n;
        n += 1;
      }
      n += 2;
    }
    if (t == promo) break;
  }
  int shift = (n + 2 * r - 8) / 2;
  if (shift < 0) shift = 0;
  ev += w + (shift > 30 ? 0 : w >> shift);
  ev -= 2 * dk + 2 * dq;
  const int u = (r == 1 ? 1 : 0) - blockers - enemyToMove + kingDistance(ek, promo) + r - 7;
  if (u > 0) ev += (u + 4) << openingWeightEighth;
  if (x.enemyPoints < 4) {
    if (u > 0 && pieceCountOf(e) == 0) ev += 160;
    if (u <= 0 && dk <= 0 && dq < 0) ev += w / 2;
  }
  const int scaled = (((endgamePhase >> 3) + openingWeight) * ev) >> 4;
  int v = scaled;
  if (r == 6) {
    int t = pos.pieceOn[promo] == None ? promotionValue(c, promo) : 0;
    t -= 128 + scaled;
    if (t > 0) {
      const bool underThreat = pos.pieceThreat[s] != 0;
      v += (x.toMove != c && underThreat) ? scaled : (t >> pawnThreatShift[e]);
      enterThreat(e, t);
    }
  }
  return v;
}

// --- pawn structure cache -----------------------------------------------------
// Much of the pawn term depends on nothing but where the pawns stand (and on
// the wing flags of the search): isolated, doubled and backward pawns, weak
// squares, storms, which pawns are passed or candidates. That part is worked
// out once per pawn structure and kept in a table; every evaluation adds the
// part that reads the pieces, the kings and the material.

// What the structure says about one pawn.
enum PawnFact : uint16_t {
  PawnSupported = 1,     // an own pawn attacks the pawn or the square in front
  FrontDefended = 2,     // an own pawn attacks the square in front
  PawnAhead = 4,         // a pawn of either side stands in front (bishop weight known)
  HomeFilePawn = 8,      // a d- or e-pawn on its start square, which can lock in its bishop
  WeakFront = 16,        // an enemy piece in front costs its blocker penalty
  BackwardPawn = 32,     // gets +4 when the front square is held
  PassedPawn = 64,
  CandidatePawn = 128,
};

struct PawnNote {
  uint8_t square, rank;  // rank seen from the pawn's side
  uint16_t facts;
};

// The structure's verdict on one side's pawns (1/128 pawn, the side's view).
struct PawnSideNotes {
  PawnNote pawn[8];
  uint8_t count;
  uint8_t isolated;       // isolated pawns: each also costs openingWeightHalf
  uint8_t openWeak;       // isolated or backward pawns on a clear file: 8 more against rooks or queens
  uint8_t doubled;        // doubled pawns: each also costs openingWeightQuarter
  uint8_t stormPawns;     // pawns on the attack wing (storm cost 2 << shift each)
  int32_t fixed;          // every term that depends on the pawns alone
  int32_t stormFull;      // storm ranks gained in full (<< shift)
  int32_t stormHalf;      // storm ranks gained at half
  int32_t shadeWeight[2]; // bishop colour weight of pawns blocked by a pawn [light, dark]
};

struct PawnEntry {
  uint64_t ranks[2];      // pawnRanksOnFile[side][1..8]; both zero in an empty entry
  uint8_t wings[4];       // castledWings and attackWing of both sides
  bool used;
  PawnSideNotes side[2];
};

constexpr uint32_t PawnEntries = 4096;
PawnEntry pawnEntries[PawnEntries];

// One pawn's facts and the structure-only part of its value.
void notePawn(int c, const FileMasks& m, int s, PawnSideNotes* out) {
  const int e = c ^ 1, up = c == White ? 8 : -8;
  const AttackTable& own = pos.attackTable[c];
  const AttackTable& them = pos.attackTable[e];
  const int f = fileOf(s), r = c == White ? rankOf(s) : 7 - rankOf(s);
  const int rel = c == White ? s : s ^ 56;
  const int front = s + up;
  const uint8_t* ownM = m.own;
  const uint8_t* enemyM = m.enemy;
  uint16_t facts = 0;
  int v = 0;

  if (pawnAttackCount(own, s) || pawnAttackCount(own, front)) facts |= PawnSupported;
  const bool enemyPawnFront = pos.pieceOn[front] == Pawn && pos.colourOn[front] == e;
  if (pos.pieceOn[front] == Pawn) {
    const int cv = centreValue[s];
    const bool contact = pawnAttackCount(own, s) || pawnAttackCount(them, s) || pawnAttackCount(own, front) ||
                         pawnAttackCount(them, front);
    out->shadeWeight[squareShade[s]] += (enemyPawnFront && !contact) ? cv : (cv + cv / 2) / 2;
    facts |= PawnAhead;
  }
  if (rel == 11 || rel == 12) facts |= HomeFilePawn;

  const bool frontDefended = pawnAttackCount(own, front) != 0;
  if (frontDefended) facts |= FrontDefended;

  const bool clearAhead = ((ownM[f + 1] | enemyM[f + 1]) & ~lowBits(r + 1)) == 0;
  const bool unsupported = r == 6 || adjacentCount(ownM, f, lowBits(r)) == 0;
  bool backward = false;
  if (unsupported && (!frontDefended || clearAhead)) {
    if (!frontDefended && !enemyPawnFront) {
      v -= weakSquareValue[rel + 8];
      facts |= WeakFront;
    }
    if (ownM[f] == 0 && ownM[f + 2] == 0) {
      v -= isolatedPenalty[f];
      out->isolated++;
      if (clearAhead) out->openWeak++;
    }
    const int ep = lowestAdjacent(enemyM, f, r + 2, 7);
    const int kp = lowestAdjacent(ownM, f, r, 6);
    if (ep >= 3 && ep <= 6 && ep <= kp + 2 &&
        adjacentCount(ownM, f, lowBits(ep - 1)) < adjacentCount(enemyM, f, rankRange(ep, 6))) {
      backward = true;
      facts |= BackwardPawn;
      v -= 3;
      if (clearAhead) out->openWeak++;
      if (!enemyPawnFront) {
        const int atRank = ep - 1 < 4 ? ep - 1 : r + 1;
        const int sq = f + 8 * (c == White ? atRank : 7 - atRank);
        const int diff = pawnAttackCount(them, sq) - pawnAttackCount(own, sq);
        if (diff > 0) {
          const int relSq = c == White ? sq : sq ^ 56;
          const int cost = weakSquareValue[relSq] + backwardRankWeight[atRank];
          v -= diff >= 2 ? 2 * cost : cost;
        }
      }
    }
  }

  if ((ownM[f + 1] & (ownM[f + 1] - 1)) != 0) {
    v -= 4 + (backward ? 5 : 0);
    out->doubled++;
  }

  // Pawn storm against the enemy king's wing: which ranks count, in full or half.
  if (castledWings[c] != 4 && (attackWing[c] & (1 << f))) {
    out->stormPawns++;
    const bool attacked = pawnAttackCount(them, s) != 0;
    if (castledWings[c] == 0) {
      if (r > 2 && (!enemyPawnFront || attacked || frontDefended)) out->stormFull += stormRank[r];
    } else if (castledWings[c] == 2 && r > 2) {
      const int ownFileEnemy = enemyM[f + 1] & ~lowBits(r + 1);
      const int nearestOwnFile = ownFileEnemy ? __builtin_ctz(static_cast<unsigned>(ownFileEnemy)) : 8;
      const int nearestAdjacent = lowestAdjacent(enemyM, f, r + 1, 8);
      if (nearestAdjacent >= nearestOwnFile) {
        if (pos.pieceOn[front] == Pawn) {
          if (attacked || frontDefended) out->stormHalf += stormRank[r];
        } else {
          out->stormFull += stormRank[r];
        }
      }
    }
  }

  // Passed pawns and candidates.
  if (clearAhead && !backward) {
    if (adjacentCount(enemyM, f, ~lowBits(r + 2) & 0xFF) == 0) {
      facts |= PassedPawn;
    } else {
      const int ep = lowestAdjacent(enemyM, f, r + 2, 7);
      const int attackSq = f + 8 * (c == White ? ep - 1 : 7 - (ep - 1));
      if (adjacentCount(ownM, f, lowBits(ep - 1)) >= adjacentCount(enemyM, f, rankRange(ep, 6)) &&
          adjacentCount(ownM, f, lowBits(ep)) - pawnAttackCount(them, attackSq) >=
              adjacentCount(enemyM, f, rankRange(ep + 1, 6)))
        facts |= CandidatePawn;
    }
  }
  out->fixed += v;
  PawnNote& n = out->pawn[out->count++];
  n.square = static_cast<uint8_t>(s);
  n.rank = static_cast<uint8_t>(r);
  n.facts = facts;
}

inline uint64_t pawnRanksOf(int side) {
  uint64_t v;
  std::memcpy(&v, &pos.pawnRanksOnFile[side][1], sizeof v);
  return v;
}

// Where the structure of pawn ranks w and b is kept.
inline PawnEntry& pawnSlot(uint64_t w, uint64_t b) {
  const uint64_t mix = (w * 0x9E3779B97F4A7C15ull) ^ (b * 0xC2B2AE3D27D4EB4Full);
  return pawnEntries[(mix >> 40) & (PawnEntries - 1)];
}

// The entry of the current pawn structure, filled when it is not there.
const PawnEntry& pawnEntry() {
  const uint64_t w = pawnRanksOf(White), b = pawnRanksOf(Black);
  const uint8_t wings[4] = {castledWings[White], castledWings[Black], attackWing[White], attackWing[Black]};
  PawnEntry& entry = pawnSlot(w, b);
  if (entry.used && entry.ranks[0] == w && entry.ranks[1] == b && std::memcmp(entry.wings, wings, 4) == 0)
    return entry;
  entry.used = true;
  entry.ranks[0] = w;
  entry.ranks[1] = b;
  std::memcpy(entry.wings, wings, 4);
  for (int c = 0; c < 2; ++c) {
    PawnSideNotes& notes = entry.side[c];
    notes = PawnSideNotes{};
    FileMasks m;
    fillMasks(c, &m);
    for (PieceSet set = liveSet(pos.pawnSet, c); set; set &= set - 1) {
      const int s = pos.pieceList[c][__builtin_ctz(set)];
      const int r = c == White ? rankOf(s) : 7 - rankOf(s);
      if (r < 1 || r > 6) continue;  // never on the first or last rank
      notePawn(c, m, s, &notes);
    }
  }
  return entry;
}

// Bishop-colour weight of a pawn by square: with the square in front empty,
// and with a piece (not a pawn) standing there.
struct FrontWeightTable {
  int8_t v[64];
  constexpr explicit FrontWeightTable(bool blocked) : v() {
    for (int q = 0; q < 64; ++q) v[q] = static_cast<int8_t>(blocked ? (centreValue[q] + centreValue[q] / 2) / 2 : centreValue[q] / 2);
  }
};
constexpr FrontWeightTable openFrontWeight(false), blockedFrontWeight(true);

// Shelter bonus of the pawn on s in front of its own king.
int shelterBonus(const PawnContext& x, int s, int r, uint16_t facts) {
  const int f = fileOf(s);
  int b = 0;
  if (x.shelter) {
    if (x.shelter & (1 << f)) b = (2 * endgamePhase + (f <= 5 ? endgamePhaseHalf : 0)) >> shieldRankShift[r];
  } else {
    const int d = kingDistance(x.kingZone, s);
    if (d < 3) {
      const int base = (f <= 1 || f >= 6) ? 3 * endgamePhase : 2 * endgamePhase;
      const int sh = d - 1 + shieldRankShift[r];
      b = sh < 0 ? base : base >> sh;
    }
  }
  if (b && (f <= 1 || f >= 6) && (facts & PawnSupported)) b += b / 4;
  return b;
}

// The value of one pawn beyond what its structure alone gives: square value,
// shelter, its bishop-colour weight, and the tests that read the pieces.
int pawnValue(const PawnContext& x, const PawnNote& n, int shadeWeight[2]) {
  const int c = x.c, e = x.e, s = n.square, r = n.rank, front = s + x.up;
  const uint16_t facts = n.facts;
  int v = pieceSquare[c][Pawn][s];
  if (x.enemyPoints > 12) v += shelterBonus(x, s, r, facts);

  // The square in front and the bishop colour weights.
  if (!(facts & PawnAhead))
    shadeWeight[squareShade[s]] += pos.pieceOn[front] == None ? openFrontWeight.v[s] : blockedFrontWeight.v[s];
  if ((facts & HomeFilePawn) && pos.pieceOn[front] != None) {
    const int home = c == White ? 0 : 56;
    const int bishopSq = home + (fileOf(s) == 3 ? 2 : 5);
    if (pos.pieceOn[bishopSq] == Bishop && pos.colourOn[bishopSq] == c) v -= 20;
  }
  if ((facts & FrontDefended) && r >= 3) v += (v + 8) / 4 + r;
  if ((facts & WeakFront) && pos.colourOn[front] == e) v -= blockerPenalty[pos.pieceOn[front]];
  if ((facts & BackwardPawn) && pos.attackTable[c].sq[front].totalCount >= pos.attackTable[e].sq[front].totalCount)
    v += 4;
  if (facts & PassedPawn) {
    v += passedPawn(x, s, r, (facts & FrontDefended) != 0);
  } else if (facts & CandidatePawn) {
    v += ((r - (r == 2 ? 1 : 0)) << openingWeightEighth) + absInt(fileOf(s) - fileOf(kingSquare(e))) +
         openingWeightHalf;
  }
  return v;
}

// All of one side's pawns: the cached structure terms scaled by the
// material of the moment, then every pawn's own value.
int sidePawns(const PawnContext& x, const PawnSideNotes& notes) {
  const int c = x.c;
  int total = notes.fixed - notes.isolated * openingWeightHalf - notes.doubled * openingWeightQuarter;
  if (x.enemyMajors) total -= 8 * notes.openWeak;
  if (castledWings[c] != 4 && x.ownPoints > 16 && notes.stormPawns) {
    const int k = castledWings[c] + (x.ownPoints - 17) / 8;
    const int kk = k > 20 ? 20 : k;
    total -= notes.stormPawns * (2 << kk);
    total += notes.stormFull << kk;
    if (notes.stormHalf) total += (notes.stormHalf << kk) / 2;
  }
  int shadeWeight[2] = {notes.shadeWeight[0], notes.shadeWeight[1]};
  for (int i = 0; i < notes.count; ++i) total += pawnValue(x, notes.pawn[i], shadeWeight);
  bishopColourPawns[c][0] += shadeWeight[0];
  bishopColourPawns[c][1] += shadeWeight[1];
  return total;
}

}  // namespace

void pawnCacheClear() { std::memset(pawnEntries, 0, sizeof pawnEntries); }

void pawnEntryPrefetch() {
  const uintptr_t first = reinterpret_cast<uintptr_t>(&pawnSlot(pawnRanksOf(White), pawnRanksOf(Black)));
  for (uintptr_t line = first & ~uintptr_t{63}; line < first + sizeof(PawnEntry); line += 64)
    __builtin_prefetch(reinterpret_cast<const void*>(line));
}

int pawnTerm(int whiteToMove) {
  bishopColourPawns[0][0] = bishopColourPawns[0][1] = bishopColourPawns[1][0] = bishopColourPawns[1][1] = 0;
  const PawnEntry& entry = pawnEntry();
  int sum = 0;
  for (int c = 0; c < 2; ++c) {
    PawnContext x;
    x.c = c;
    x.e = c ^ 1;
    x.up = c == White ? 8 : -8;
    x.toMove = whiteToMove ? White : Black;
    x.shelter = shelterMask(c);
    x.ownPoints = materialPoints(c);
    x.enemyPoints = materialPoints(c ^ 1);
    x.enemyMajors = (liveSet(pos.rookSet, c ^ 1) | liveSet(pos.queenSet, c ^ 1)) != 0;
    x.kingZone = zoneCentre(kingSquare(c));
    const int total = sidePawns(x, entry.side[c]);
    sum += c == White ? total : -total;
  }
  if (searchFlags & OptHyperModern) {
    const int h = (bishopColourPawns[rootSide][0] + bishopColourPawns[rootSide][1]) / 2;
    sum += rootSide == White ? -h : h;
  }
  return sum;
}
