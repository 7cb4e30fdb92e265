// Endgame evaluators of the special material classes: the mating drive
// against a bare king, the wrong-coloured bishop, minor against bishop and
// pawn, queen against pawn, rook against rook and pawn, king and pawn
// against king, and the pawn endings.
#include "board/geometry.h"
#include "board/makemove.h"
#include "eval/eval.h"
#include "eval/terms.h"
#include "search/think.h"

// Lone-king tables by square, rank 1 first. Centre: the king is worse off
// near the edge. Corner tables: low in the two corners of one colour.
const int8_t loneKingCentre[64] = {
    1, 8, 16, 24, 24, 16, 8, 1,     8, 32, 40, 48, 48, 40, 32, 8,
    16, 40, 56, 64, 64, 56, 40, 16, 24, 48, 64, 72, 72, 64, 48, 24,
    24, 48, 64, 72, 72, 64, 48, 24, 16, 40, 56, 64, 64, 56, 40, 16,
    8, 32, 40, 48, 48, 40, 32, 8,   1, 8, 16, 24, 24, 16, 8, 1};
const int8_t loneKingDarkCorners[64] = {
    1, 1, 27, 35, 57, 70, 83, 90,    1, 40, 45, 65, 70, 80, 95, 83,
    27, 45, 43, 80, 90, 100, 80, 70, 35, 65, 80, 90, 110, 90, 70, 57,
    57, 70, 90, 110, 90, 80, 65, 35, 70, 80, 100, 90, 80, 43, 45, 27,
    83, 95, 80, 70, 65, 45, 40, 1,   90, 83, 70, 57, 35, 27, 1, 1};
const int8_t loneKingLightCorners[64] = {
    90, 83, 70, 57, 35, 27, 1, 1,    83, 95, 80, 70, 65, 45, 40, 1,
    70, 80, 100, 90, 80, 43, 45, 27, 57, 70, 90, 110, 90, 80, 65, 35,
    35, 65, 80, 90, 110, 90, 70, 57, 27, 45, 43, 80, 90, 100, 80, 70,
    1, 40, 45, 65, 70, 80, 95, 83,   1, 1, 27, 35, 57, 70, 83, 90};

namespace {

// Moves a pawn needs to promote, by side and rank index.
constexpr int movesToQueen[2][8] = {{0, 5, 5, 4, 3, 2, 1, 0}, {0, 1, 2, 3, 4, 5, 5, 0}};
// Bonus of a passer the lone king cannot catch / can catch, by moves to queen 1..5.
constexpr int unstoppablePasser[6] = {0, 996, 904, 828, 750, 696};
constexpr int runningPasser[6] = {0, 196, 137, 90, 54, 30};
// Base score of a won king-and-pawn ending by the pawn's rank index 1..6.
constexpr int kpkWinBase[7] = {0, 1120, 1160, 1200, 1240, 1280, 1320};

inline int relativeRank(int side, int sq) { return side == White ? rankOf(sq) : 7 - rankOf(sq); }
inline int promotionSquare(int side, int sq) { return fileOf(sq) + (side == White ? 56 : 0); }
inline int absInt(int x) { return x < 0 ? -x : x; }
inline int firstSquare(PieceSet set, int side) { return pos.pieceList[side][__builtin_ctz(set)]; }

// Most advanced pawn of a side (by relative rank), 255 when it has none.
int leadingPawn(int side) {
  int best = 255;
  for (PieceSet set = liveSet(pos.pawnSet, side); set; set &= set - 1) {
    const int q = pos.pieceList[side][__builtin_ctz(set)];
    if (best == 255 || relativeRank(side, q) > relativeRank(side, best)) best = q;
  }
  return best;
}

// --- exact king and pawn against king -------------------------------------
// Won positions in a normalised frame: the pawn is White's and stands on
// files a..d, ranks 2..7. Index = ((stm * 24 + pawnIndex) * 64 + wk) * 64 + bk.
constexpr int KpkSize = 2 * 24 * 64 * 64;
uint8_t kpkWin[KpkSize / 8];
bool kpkReady = false;

inline int kpkIndex(int stm, int wk, int pawn, int bk) {
  const int pi = (rankOf(pawn) - 1) * 4 + fileOf(pawn);
  return ((stm * 24 + pi) * 64 + wk) * 64 + bk;
}
inline bool kpkGet(int i) { return (kpkWin[i >> 3] >> (i & 7)) & 1; }

inline bool adjacent(int a, int b) { return kingDistance(a, b) <= 1; }
inline bool pawnAttacks(int pawn, int sq) {
  return rankOf(sq) == rankOf(pawn) + 1 && absInt(fileOf(sq) - fileOf(pawn)) == 1;
}

// Result of one position given the current table: 1 won, 0 not (yet).
int kpkProbeStep(int stm, int wk, int pawn, int bk) {
  if (stm == White) {
    // Promotion to a queen that the black king cannot take.
    if (rankOf(pawn) == 6) {
      const int q = pawn + 8;
      if (q != wk && q != bk && (!adjacent(q, bk) || adjacent(q, wk))) return 1;
    }
    for (const RayEntry* r = rayList[King][wk]; r->square != 255; ++r) {
      const int t = r->square;
      if (t == pawn || adjacent(t, bk)) continue;
      if (kpkGet(kpkIndex(Black, t, pawn, bk))) return 1;
    }
    const int one = pawn + 8;
    if (rankOf(pawn) < 6 && one != wk && one != bk) {
      if (kpkGet(kpkIndex(Black, wk, one, bk))) return 1;
      const int two = pawn + 16;
      if (rankOf(pawn) == 1 && two != wk && two != bk && kpkGet(kpkIndex(Black, wk, two, bk))) return 1;
    }
    return 0;
  }
  bool anyMove = false;
  for (const RayEntry* r = rayList[King][bk]; r->square != 255; ++r) {
    const int t = r->square;
    if (adjacent(t, wk) || pawnAttacks(pawn, t)) continue;
    if (t == pawn) return 0;  // the pawn falls
    anyMove = true;
    if (!kpkGet(kpkIndex(White, wk, pawn, t))) return 0;
  }
  if (anyMove) return 1;
  return pawnAttacks(pawn, bk) ? 1 : 0;  // mate, or stalemate (a draw)
}

bool kpkLegal(int stm, int wk, int pawn, int bk) {
  if (wk == pawn || bk == pawn || wk == bk || adjacent(wk, bk)) return false;
  if (stm == White && pawnAttacks(pawn, bk)) return false;  // Black would be in check on White's move
  return true;
}

void buildKpk() {
  for (int i = 0; i < KpkSize / 8; ++i) kpkWin[i] = 0;
  bool changed = true;
  while (changed) {
    changed = false;
    for (int stm = 0; stm < 2; ++stm)
      for (int pi = 0; pi < 24; ++pi) {
        const int pawn = (pi / 4 + 1) * 8 + (pi & 3);
        for (int wk = 0; wk < 64; ++wk)
          for (int bk = 0; bk < 64; ++bk) {
            const int i = kpkIndex(stm, wk, pawn, bk);
            if (kpkGet(i) || !kpkLegal(stm, wk, pawn, bk)) continue;
            if (kpkProbeStep(stm, wk, pawn, bk)) {
              kpkWin[i >> 3] = static_cast<uint8_t>(kpkWin[i >> 3] | (1 << (i & 7)));
              changed = true;
            }
          }
      }
  }
  kpkReady = true;
}

}  // namespace

bool kpkWon(int strongKing, int pawn, int weakKing, bool strongToMove) {
  if (!kpkReady) buildKpk();
  if (fileOf(pawn) > 3) {
    strongKing ^= 7, pawn ^= 7, weakKing ^= 7;
  }
  if (!kpkLegal(strongToMove ? White : Black, strongKing, pawn, weakKing)) return false;
  return kpkGet(kpkIndex(strongToMove ? White : Black, strongKing, pawn, weakKing));
}

int kpkEvaluation(int s, int stm, uint32_t* flags) {
  const int w = s ^ 1;
  const int flip = s == White ? 0 : 56;
  int sk = kingSquare(s) ^ flip, wk = kingSquare(w) ^ flip;
  int pawn = firstSquare(liveSet(pos.pawnSet, s), s) ^ flip;
  if (fileOf(pawn) > 3) sk ^= 7, wk ^= 7, pawn ^= 7;
  int result;
  if (!kpkWon(sk, pawn, wk, stm == s)) {
    *flags |= EvalTablebaseDraw;
    return drawScoreFor[stm];
  }
  const int target = rankOf(pawn) == 6 ? pawn + 8 : pawn + 16;
  const int v = kpkWinBase[rankOf(pawn)] + 2 * (absInt(7 - 2 * fileOf(sk)) + 8 * rankOf(sk)) -
                8 * absInt(fileOf(pawn) - fileOf(sk)) + absInt(fileOf(wk) - fileOf(pawn)) -
                absInt(fileOf(sk) - fileOf(pawn)) + absInt(rankOf(wk) - rankOf(target)) -
                absInt(rankOf(sk) - rankOf(target));
  result = stm == s ? v : -v;
  *flags |= stm == s ? EvalTablebaseWin : EvalTablebaseLoss;
  if (iterationDepth < 2 && pos.plyCount - pos.lastIrreversiblePly > 3 && isRepetition()) result /= 2;
  return result;
}

int mateEvaluation(int s, int stm) {
  const int w = s ^ 1;
  const int sk = kingSquare(s), wk = kingSquare(w);
  const bool weakToMove = stm == w;
  const bool inCheck = (pos.plyTop->flags & EvalInCheck) != 0;
  int v;
  if (materialPoints(s) < 5 ||
      ((stm != s || inCheck || pos.material[s] < pos.material[w] + 640) &&
       pos.material[s] - pos.threatSum[s] < pos.material[w] + 640)) {
    v = pieceSquare[s][King][sk] - pieceSquare[w][King][wk];
  } else {
    const int8_t* lone = loneKingTable;
    int b, base;
    if (pos.material[w] == 0) {
      b = -1;
      for (const RayEntry* r = rayList[King][wk]; r->square != 255; ++r)
        if (pos.attackTable[s].sq[r->square].directCounts == 0 && lone[r->square] > b) b = lone[r->square];
      if (b < 0) b = lone[wk];
      base = 1460;
    } else {
      b = lone[wk];
      base = 256;
    }
    const bool hasMajor = (liveSet(pos.rookSet, s) | liveSet(pos.queenSet, s)) != 0;
    base += hasMajor ? 220 : pieceSquare[s][King][sk];
    v = base - (lone[wk] + b + 16 * absInt(rankOf(sk) - rankOf(wk)) + 16 * absInt(fileOf(sk) - fileOf(wk)));
  }
  for (PieceSet set = liveSet(pos.pawnSet, s); set; set &= set - 1) {
    const int q = pos.pieceList[s][__builtin_ctz(set)];
    const int m = movesToQueen[s][rankOf(q)];
    if (m < 1) continue;
    const int reach = kingDistance(wk, promotionSquare(s, q)) - (weakToMove ? 1 : 0);
    v += (v < 1000 && m < reach) ? unstoppablePasser[m] : runningPasser[m];
  }
  return stm == s ? v : -v;
}

void wrongBishopScale(int s, int stm, int scale[2], uint32_t* flags) {
  const int w = s ^ 1;
  const PieceSet bishops = liveSet(pos.bishopSet, s);
  const PieceSet pawns = liveSet(pos.pawnSet, s);
  if (!bishops || !pawns) return;
  const int fileMask = [&] {
    int m = 0;
    for (int f = 0; f < 8; ++f)
      if (pos.pawnRanksOnFile[s][f + 1]) m |= 1 << f;
    return m;
  }();
  int corner;
  if (fileMask == 1) corner = s == White ? 56 : 0;
  else if (fileMask == 128) corner = s == White ? 63 : 7;
  else return;
  const int bishop = firstSquare(bishops, s);
  if (squareShade[bishop] == squareShade[corner]) return;
  int d = kingDistance(kingSquare(w), corner);
  if (d < 2) {
    scale[s] = 0;
    if (pawnCount(w) == 0) *flags |= EvalTablebaseDraw;
    return;
  }
  if (stm == w) d -= 1;
  const int lead = leadingPawn(s);
  const int e = d - kingDistance(kingSquare(s), corner);
  if (d <= 7 - relativeRank(s, lead) && e <= 0) scale[s] = e < -3 ? 1 : 2 * e + 9;
}

void bishopPawnScale(int s, int scale[2]) {
  const int w = s ^ 1;
  const PieceSet bishops = liveSet(pos.bishopSet, s), pawns = liveSet(pos.pawnSet, s);
  if (!bishops || !pawns) return;
  const int bishop = firstSquare(bishops, s), pawn = firstSquare(pawns, s);
  const int wk = kingSquare(w);
  const bool kingAhead = fileOf(wk) == fileOf(pawn) && relativeRank(s, wk) > relativeRank(s, pawn);
  if (kingAhead && (squareShade[wk] != squareShade[bishop] || relativeRank(s, wk) < 6)) {
    scale[s] = 0;
    return;
  }
  const PieceSet defenders = liveSet(pos.bishopSet, w);
  if (!defenders || liveSet(pos.knightSet, w)) return;
  const int theirBishop = firstSquare(defenders, w);
  if (squareShade[theirBishop] == squareShade[bishop]) return;
  if (relativeRank(s, pawn) < 5) {
    scale[s] = 0;
    return;
  }
  const int up = s == White ? 8 : -8;
  const uint16_t bishopBit = static_cast<uint16_t>(pos.slotBitOn[theirBishop]);
  const bool bishopSafe = pos.attackTable[s].sq[theirBishop].directCounts == 0;
  for (int t = pawn + up; t >= 0 && t < 64; t += up) {
    if (t == wk || (bishopSafe && (pos.attackTable[w].sq[t].directAttackers & bishopBit))) {
      scale[s] = 0;
      return;
    }
  }
}

int queenPawnCorrection(int, int s, uint32_t* flags) {
  const int w = s ^ 1;
  const PieceSet pawns = liveSet(pos.pawnSet, w);
  if (!pawns) return 0;
  const int pawn = firstSquare(pawns, w);
  const int p = promotionSquare(w, pawn);
  const int wk = kingSquare(w), sk = kingSquare(s);
  const int c = 2 * (manhattan(wk, p) - manhattan(sk, p));
  if (relativeRank(w, pawn) != 6) return c;
  if (pos.pieceOn[p] == Queen && pos.colourOn[p] == s) return c + 96;
  const AttackTable& strongA = pos.attackTable[s];
  const AttackTable& weakA = pos.attackTable[w];
  // The king standing on the promotion square holds it as well.
  const bool weakControls = weakA.sq[p].directCounts != 0 || wk == p;
  const int materialLead = pos.material[s] - pos.material[w];
  if (!weakControls && (strongA.sq[pawn].directCounts || strongA.sq[p].directCounts || kingDistance(wk, p) != 2))
    return c + 32;
  // Rook and bishop pawns on the seventh, supported by their king, hold
  // unless the queen's king is close enough to help: taking a rook pawn
  // blocked by its king, or a bishop pawn whose king hides in the corner
  // beside it, stalemates.
  const int f = fileOf(pawn);
  const bool drawingFile = f == 0 || f == 2 || f == 5 || f == 7;
  const int corner = f == 2 ? p - 2 : f == 5 ? p + 2 : p;
  const bool bishopPawn = f == 2 || f == 5;
  const bool kingHolds = adjacent(wk, p) || wk == corner || (bishopPawn && adjacent(wk, pawn));
  if (drawingFile && kingHolds && kingDistance(sk, p) > 3) {
    // The queen's material is cancelled; what is left leans slightly
    // towards the queen (its king's approach), so that it plays on.
    *flags |= ClassNearDraw;
    return c / 2 - materialLead + 32;
  }
  return c;
}

namespace {

// Rook against rook and pawn, in a frame where the strong side is White and
// the pawn stands on files a..d.
struct RookPawnFrame {
  int pawn, strongKing, weakKing, strongRook, weakRook;  // 255 = no such rook
};

RookPawnFrame rookPawnFrame(int s) {
  const int w = s ^ 1;
  const int flip = s == White ? 0 : 56;
  const int pawn = firstSquare(liveSet(pos.pawnSet, s), s) ^ flip;
  const int mirror = fileOf(pawn) > 3 ? 7 : 0;
  auto frame = [&](int q) { return q == 255 ? 255 : (q ^ flip ^ mirror); };
  const PieceSet ownRooks = liveSet(pos.rookSet, s), theirRooks = liveSet(pos.rookSet, w);
  return RookPawnFrame{pawn ^ mirror, frame(kingSquare(s)), frame(kingSquare(w)),
                       frame(ownRooks ? firstSquare(ownRooks, s) : 255),
                       frame(theirRooks ? firstSquare(theirRooks, w) : 255)};
}

// The defending king blocks the pawn: on the promotion square, or on or
// next to the pawn's file ahead of it and nearer the promotion square than
// the strong king.
bool defenderInFront(const RookPawnFrame& r) {
  const int promo = 56 + fileOf(r.pawn);
  if (r.weakKing == promo) return true;
  return absInt(fileOf(r.weakKing) - fileOf(r.pawn)) <= 1 && rankOf(r.weakKing) > rankOf(r.pawn) &&
         kingDistance(r.weakKing, promo) < kingDistance(r.strongKing, promo);
}

// Scale of the strong side when the defending king blocks the pawn (16 when
// no drawing set-up applies): half with a rook or knight pawn, or with the
// defending rook on any rank in front of the pawn (its first rank included)
// or at least three ranks behind it. A
// quarter in the third-rank defence proper (the rook on the rank in front
// of a pawn short of the sixth rank, the strong king not beyond its pawn:
// the rook keeps that king from crossing), and once the pawn stands on the
// sixth rank when either the defending rook waits at least three ranks
// behind it to check the king from behind (the king finds no shelter while
// it stands beside or behind its pawn), or a rook or knight pawn meets the
// back-rank defence.
int rookPawnDrawScale(const RookPawnFrame& r, int scale) {
  if (r.weakRook == 255 || !defenderInFront(r)) return scale;
  const int f = fileOf(r.pawn), rank = rankOf(r.pawn);
  const int rookRank = rankOf(r.weakRook);
  const bool backRank = rookRank == 7, frontRank = rookRank == rank + 1;
  // Third-rank defence while the pawn is short of the sixth rank.
  if (frontRank && rank <= 4 && rankOf(r.strongKing) <= rank) return scale / 4;
  if (rank == 5) {
    const bool checksFromBehind = rookRank <= rank - 3 && rankOf(r.strongKing) <= rank;
    if (checksFromBehind || (f <= 1 && backRank)) return scale / 4;
  }
  // The rook anywhere in front of the pawn guards the ranks the strong king
  // would cross; far behind it, it checks from behind.
  const bool ahead = rookRank > rank, farBehind = rookRank <= rank - 3;
  if (f <= 1 || backRank || ahead || farBehind) return scale / 2;
  return scale;
}

// Strong rook in front of its seventh-rank pawn, defending king on g7 or
// h7 and defending rook behind the pawn: drawn unless the strong king comes
// to the pawn's help.
bool rookInFrontDraw(const RookPawnFrame& r) {
  const int f = fileOf(r.pawn);
  return r.strongRook == 56 + f && rankOf(r.pawn) == 6 && (r.weakKing == 54 || r.weakKing == 55) &&
         r.weakRook != 255 && fileOf(r.weakRook) == f && kingDistance(r.strongKing, r.pawn) > 2;
}

// File distance of a man to the pawn; 0 when the man is absent.
inline int fileGap(int q, int pawn) { return q == 255 ? 0 : absInt(fileOf(q) - fileOf(pawn)); }

}  // namespace

int rookPawnCorrection(int s, int, int scale[2]) {
  const int w = s ^ 1;
  if (!liveSet(pos.pawnSet, s)) return 0;
  const RookPawnFrame r = rookPawnFrame(s);
  if (pos.threatSum[w] == 0) scale[s] = rookPawnDrawScale(r, scale[s]);
  if (rookInFrontDraw(r)) scale[s] = 1;
  const int f = fileOf(r.pawn);
  // The defending king's distance from the pawn, and how far each king
  // stands from the pawn's file.
  int c = 16 * kingDistance(r.weakKing, r.pawn);
  c += 4 * (fileGap(r.weakKing, r.pawn) - fileGap(r.strongKing, r.pawn));
  // Rooks: the defending rook checks from the side only from at least
  // three files away (the long side); the strong rook does its best work
  // on the pawn's file or close to it, cutting the king off.
  c -= 8 * (fileGap(r.weakRook, r.pawn) >= 3 ? 3 : fileGap(r.weakRook, r.pawn));
  c -= 4 * (fileGap(r.strongRook, r.pawn) > 4 ? 4 : fileGap(r.strongRook, r.pawn));
  // A defending king cut off from the pawn's file far enough: a rook pawn
  // or a pawn the strong king escorts promotes.
  static constexpr int cutOff[4] = {5, 4, 3, 3};
  if (fileOf(r.weakKing) - f >= cutOff[f] && (f == 0 || kingDistance(r.strongKing, r.pawn) > 2)) c += 128;
  // Rook pawns are the most drawish.
  if (f == 0) c -= 64;
  return c;
}

namespace {

// A side's fastest passed pawn in a pawn ending, judged against the enemy
// king by the rule of the square.
struct Passer {
  int moves;        // moves to promote, 0 = the side has no passed pawn
  int plies;        // plies from now until it promotes
  bool unstoppable; // the enemy king cannot catch it
};

// True when no enemy pawn stands in front of the pawn on its own or a
// neighbouring file.
bool passedPawnAt(int side, int q) {
  const int o = side ^ 1, file = fileOf(q) + 1, r = rankOf(q);
  const unsigned ahead = side == White ? (0xFFu << (r + 1)) & 0xFF : (1u << r) - 1;
  const unsigned enemy = pos.pawnRanksOnFile[o][file - 1] | pos.pawnRanksOnFile[o][file] | pos.pawnRanksOnFile[o][file + 1];
  return (enemy & ahead) == 0;
}

// Moves the pawn on q needs to promote; its own king standing in the way
// costs a move to step aside, and a pawn of its own side ahead on the file
// makes it no runner at all (0).
int pawnMovesToQueen(int side, int q) {
  int m = movesToQueen[side][rankOf(q)];
  const int up = side == White ? 8 : -8, promo = promotionSquare(side, q);
  for (int t = q + up;; t += up) {
    if (pos.pieceOn[t] == Pawn) return 0;
    if (pos.pieceOn[t] == King && pos.colourOn[t] == side) m += 1;
    if (t == promo) break;
  }
  return m;
}

// The side's fastest passer: an unstoppable one first, else the one with
// the fewest moves to go.
Passer fastestPasser(int side, int stm) {
  Passer best{0, 0, false};
  const int enemyKing = kingSquare(side ^ 1);
  for (PieceSet set = liveSet(pos.pawnSet, side); set; set &= set - 1) {
    const int q = pos.pieceList[side][__builtin_ctz(set)];
    if (!passedPawnAt(side, q)) continue;
    const int m = pawnMovesToQueen(side, q);
    if (m < 1 || m > 5) continue;
    const int reach = kingDistance(enemyKing, promotionSquare(side, q)) - (stm != side ? 1 : 0);
    const bool unstoppable = m < reach;
    if (best.moves == 0 || (unstoppable && !best.unstoppable) ||
        (unstoppable == best.unstoppable && m < best.moves))
      best = Passer{m, 2 * m - (stm == side ? 1 : 0), unstoppable};
  }
  return best;
}

// Race of the two fastest passers, from White's view. A side whose passer
// the enemy king cannot catch gets the unstoppable bonus unless the enemy
// promotes too within one ply of it (then both queens stand and the race is
// even); a passer that the king can still reach gets the running bonus.
int passerRace(const Passer (&p)[2]) {
  int v[2] = {0, 0};
  for (int side = 0; side < 2; ++side) {
    const Passer& own = p[side];
    const Passer& their = p[side ^ 1];
    if (own.moves == 0) continue;
    const bool theyQueenInTime = their.unstoppable && their.plies < own.plies + 3;
    v[side] = own.unstoppable && !theyQueenInTime ? unstoppablePasser[own.moves] : runningPasser[own.moves];
  }
  return v[White] - v[Black];
}

// Promotion threats: a passer one or two moves from promoting threatens the
// other side with a new queen; the larger threat goes into threatSecond[],
// where the search reads how much is at stake in quiet moves.
void recordPromotionThreats(const Passer (&p)[2]) {
  for (int side = 0; side < 2; ++side) {
    const Passer& own = p[side];
    if (own.moves == 0 || own.moves > 2) continue;
    const int t = own.unstoppable ? unstoppablePasser[own.moves] : runningPasser[own.moves];
    int32_t& slot = threatSecond[side ^ 1];
    if (t > slot) slot = t;
  }
}

}  // namespace

int pawnEndingEvaluation(int stm, int score, int strong, int weak, uint32_t* flags) {
  // Rook-pawn fortress: every pawn of one side on a single rook file, the
  // other side without pawns and its king on that file ahead of them.
  for (int side = 0; side < 2; ++side) {
    const int other = side ^ 1;
    if (pawnCount(other) != 0 || pawnCount(side) == 0) continue;
    const bool aFile = pos.pawnRanksOnFile[side][1] != 0;
    const int file = aFile ? 0 : 7;
    int onFiles = 0;
    for (int f = 1; f <= 8; ++f) onFiles += pos.pawnRanksOnFile[side][f] != 0;
    if (onFiles != 1 || (!aFile && pos.pawnRanksOnFile[side][8] == 0)) continue;
    const int k = kingSquare(other), lead = leadingPawn(side);
    if (fileOf(k) == file && relativeRank(side, k) > relativeRank(side, lead)) {
      *flags |= EvalTablebaseDraw;
      return 0;
    }
  }
  (void)weak;
  // Pawn structure, kings and passers as in any position, then the race.
  int v = score + mainEvaluation(stm, strong, 15);
  const Passer passers[2] = {fastestPasser(White, stm), fastestPasser(Black, stm)};
  const int race = passerRace(passers);
  v += stm == White ? race : -race;
  recordPromotionThreats(passers);
  return v;
}
