// The piece term: knights, bishops, rooks and queens of both sides from the
// prepared piece-square tables, pawn-count dependent values, outposts,
// bishop activity, open files and rook mobility, plus the material bias.
#include "board/geometry.h"
#include "eval/eval.h"
#include "eval/terms.h"
#include "search/think.h"

namespace {

// Value adjustments by the own pawn count 0..8.
constexpr int knightPawnBonus[9] = {0, -16, -16, -16, -8, 0, 8, 16, 16};
constexpr int rookPawnBonus[9] = {0, 8, 8, 8, 8, 4, 0, -12, -24};
// Bishop pair by own pawn count, [enemy has a bishop][pawns].
constexpr int bishopPairBonus[2][9] = {{0, 74, 74, 74, 68, 62, 56, 52, 50},
                                       {0, 54, 54, 54, 48, 42, 36, 32, 30}};
// Mobility by squares reached; bishop also by free directions 0..4.
constexpr int rookMobility[15] = {-5, -2, 0, 1, 5, 8, 11, 13, 15, 17, 18, 19, 20, 21, 22};
constexpr int bishopMobility[14] = {-8, -4, -1, 2, 5, 8, 10, 12, 14, 16, 18, 20, 21, 22};
constexpr int bishopDirections[5] = {-12, -4, 0, 2, 4};
// Penalty of a hemmed-in bishop by its rank index (White's view).
constexpr int trappedBishop[8] = {2, 4, 10, 24, 48, 72, 164, 172};
// Cost of an own pawn in the bishop's way, by the pawn's rank index.
constexpr int blockedPawnWeight[8] = {0, 3, 3, 2, 2, 3, 3, 0};
// Worth of an enemy man seen through an own piece, by PieceType.
constexpr int xrayTarget[7] = {0, 1, 5, 5, 7, 13, 16};

inline bool pawnGuarded(const AttackTable& t, int sq) { return (t.sq[sq].directCounts & 0xC00) != 0; }

// No enemy pawn on a neighbouring file can still advance to attack sq.
bool outpost(int sq, int c) {
  const int e = c ^ 1, f = fileOf(sq), r = rankOf(sq);
  const int ahead = c == White ? (0xFF << (r + 1)) & 0xFF : (1 << r) - 1;
  return ((pos.pawnRanksOnFile[e][f] | pos.pawnRanksOnFile[e][f + 2]) & ahead) == 0;
}

int knightValue(int c, int sq, int pawns) {
  const int e = c ^ 1, r = rankOf(sq);
  int v = pieceSquare[c][Knight][sq] + knightPawnBonus[pawns];
  if (centreValue[sq] >= 8 && outpost(sq, c)) {
    int b = centreValue[sq];
    if (pawnGuarded(pos.attackTable[c], sq)) b += b / 2;
    b += c == White ? 4 * r : 4 * (7 - r);
    v += b >> openingWeightEighth;
  }
  v -= 4 * rookCount(e);
  if (liveSet(pos.queenSet, c)) v += 8;
  return v;
}

// Squares a rook on sq reaches in line direction d, seeing through rooks
// and queens of either side (a battery or a contested file still counts).
int rookReach(int d, int sq) {
  int reach = 0;
  for (int from = sq;;) {
    const int t = firstOnRay(d, from, pos.occupied);
    if (t == NoSquare) return reach + rayLength[d][from];
    reach += kingDistance(from, t);  // the empty squares before t, and t itself
    const int type = pos.pieceOn[t];
    if (type != Rook && type != Queen) return reach - 1;
    from = t;
  }
}

int rookValue(int c, int sq, int slot, int pawns) {
  const int e = c ^ 1, r = rankOf(sq), f = fileOf(sq);
  const AttackTable& own = pos.attackTable[c];
  int v = pieceSquare[c][Rook][sq] + rookPawnBonus[pawns];
  if ((own.sq[sq].directCounts >> 4) & 3) v += 7;
  if (pos.pawnRanksOnFile[c][f + 1] == 0) v += pos.pawnRanksOnFile[e][f + 1] ? 12 : 22;
  const int ekRank = rankOf(kingSquare(e));
  const bool noPawnOnRank = (pos.pawnsOnRank[e][r] & liveSet(pos.pawnSet, e)) == 0;
  if (c == White) {
    if (r > 2 && r == ekRank - 1 && noPawnOnRank) v += 4 * r;
    if (r == 6 && ekRank >= 6) v += openingWeightHalf + 12;
  } else {
    if (r < 5 && r == ekRank + 1 && noPawnOnRank) v += 4 * (7 - r);
    if (r == 1 && ekRank <= 1) v += openingWeightHalf + 12;
  }
  int m = 0;
  for (int d = 0; d < 4; ++d) m += rookReach(d, sq);
  if (m > 14) m = 14;
  int mobility = rookMobility[m];
  const int k = kingSquare(c);
  if (m <= 2 && endgamePhase >= 4 && centreValue[sq] <= 1 && pos.moveCount[k] != 0 &&
      (own.sq[k].directAttackers & (1u << slot)))
    mobility -= 38;  // shut in by its own king
  return v + mobility;
}

int bishopValue(int c, int sq, int pawns) {
  const int e = c ^ 1;
  int v = pieceSquare[c][Bishop][sq] - bishopColourPawns[c][squareShade[sq]];
  if (centreValue[sq] >= 8 && outpost(sq, c)) v += centreValue[sq] / 2;
  if (bishopCount(c) >= 2) v += bishopPairBonus[bishopCount(e) ? 1 : 0][pawns] / 2;
  return v + bishopActivity(sq, c);
}

}  // namespace

int bishopActivity(int sq, int c) {
  const int e = c ^ 1;
  const AttackTable& them = pos.attackTable[e];
  int a = 0, count = 0, dirs = 0;
  for (int d = 4; d < 8; ++d) {
    const int t = firstOnRay(d, sq, pos.occupied);
    const int free = t == NoSquare ? rayLength[d][sq] : kingDistance(sq, t) - 1;
    count += free;
    if (free) dirs |= 1 << (d - 4);
    if (t == NoSquare) continue;
    const int type = pos.pieceOn[t];
    const int next = nextSquare[d][t];
    if (pos.colourOn[t] == e && type == Pawn) {
      if (pawnGuarded(them, t)) {
        a -= 2;
        if (next != 255 && pos.pieceOn[next] == Pawn && pos.colourOn[next] == e) {
          a -= 2;
          if (pawnGuarded(them, next)) a -= 5;
        }
      } else {
        a += 1;
      }
    } else if (pos.colourOn[t] == c && type == Pawn) {
      const int pr = rankOf(t);
      const bool inWay = c == White ? (pr > rankOf(sq) && pr <= 3) : (pr < rankOf(sq) && pr >= 4);
      if (inWay) {
        const int front = t + (c == White ? 8 : -8);
        const bool blocked = pos.pieceOn[front] == Pawn || pos.colourOn[front] == e;
        a -= blocked ? 4 * blockedPawnWeight[pr] : blockedPawnWeight[pr];
      }
    } else if (pos.colourOn[t] == c && type != King && next != 255) {
      const int u = firstOnRay(d, t, pos.occupied);
      if (u != NoSquare && pos.colourOn[u] == e) {
        const int tt = pos.pieceOn[u];
        if (tt == Rook || tt == Queen || tt == King || them.sq[u].directCounts == 0) a += xrayTarget[tt] + 4;
      }
    }
  }
  const int r = rankOf(sq);
  // Backward directions: south-west and south-east for White (bits 2, 3),
  // north-west and north-east for Black (bits 0, 1).
  if (c == White) {
    if ((dirs & 12) == 0 || (count < 2 && r == 7)) a -= rootSide == Black ? trappedBishop[r] / 2 : trappedBishop[r];
  } else {
    if ((dirs & 3) == 0 || (count < 2 && r == 0))
      a -= rootSide == White ? trappedBishop[7 - r] / 2 : trappedBishop[7 - r];
  }
  return bishopDirections[popCount(static_cast<uint32_t>(dirs))] + bishopMobility[count > 13 ? 13 : count] + a;
}

int pieceTerm() {
  int sum = 0;
  for (int c = 0; c < 2; ++c) {
    pos.attacksUs = &pos.attackTable[c];
    pos.attacksThem = &pos.attackTable[c ^ 1];
    const int pawns = pawnCount(c) > 8 ? 8 : pawnCount(c);
    int total = 0;
    const PieceSet men = pos.pieceSet[c] & ~liveSet(pos.pawnSet, c) & ~1u;
    for (PieceSet set = men; set; set &= set - 1) {
      const int slot = __builtin_ctz(set);
      const int sq = pos.pieceList[c][slot];
      switch (pos.pieceOn[sq]) {
        case Knight: total += knightValue(c, sq, pawns); break;
        case Bishop: total += bishopValue(c, sq, pawns); break;
        case Rook: total += rookValue(c, sq, slot, pawns); break;
        case Queen: total += pieceSquare[c][Queen][sq]; break;
        default: break;
      }
    }
    sum += c == White ? total : -total;
  }
  return sum + materialBias;
}
