// Tests on single moves and on the position as a whole, read from the
// attack tables: castling, pins, checks, validation of moves from outside
// the generators, the stalemate test and SAN disambiguation.
#include "board/geometry.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/movegen_internal.h"

using namespace movegenDetail;

namespace {

inline bool attackedBy(int side, int sq) { return pos.attackTable[side].sq[sq].directCounts != 0; }

inline bool emptyOr(int sq, int allowed) { return isEmpty(sq) || sq == allowed; }

bool isUnmovedOwnRook(int sq, int side) {
  return pos.pieceOn[sq] == Rook && pos.colourOn[sq] == side && pos.moveCount[sq] == 0;
}

// First square from k in direction d that holds a man once e1 and e2 are
// emptied and f1 and f2 filled; 255 when the ray leaves the board.
int firstOccupied(int k, int d, int e1, int e2, int f1, int f2) {
  const uint64_t men = (pos.occupied & ~(squareBit(e1) | squareBit(e2))) | squareBit(f1) | squareBit(f2);
  return firstOnRay(d, k, men);
}

// Check code of a slider of s that reaches the king k along the line
// through x once e1/e2 are empty and f1/f2 filled by non-checking men.
int lineCheckThrough(int s, int k, int x, int e1, int e2, int f1, int f2) {
  const int out = directionTo[x][k];  // from k towards x
  if (out >= 8) return 0;
  const int q = firstOccupied(k, out, e1, e2, f1, f2);
  if (q == 255 || q == f1 || q == f2 || pos.colourOn[q] != s) return 0;
  const int type = pos.pieceOn[q];
  return movesAlong(type, out) ? (oppositeDirection[out] * 8 | type) : 0;
}

// Check given by a man of the type arriving on t (from and cap emptied).
int directCheck(int type, int s, int k, int t, int from, int cap) {
  const int d = directionTo[k][t];  // from t towards k
  if (d >= 16) return 0;
  if (type == Pawn)
    return ((d == pawnCaptureDir[s] || d == pawnCaptureDir[s] + 1) && nextSquare[d][t] == k) ? (d * 8 | Pawn) : 0;
  if (type == Knight) return d >= 8 ? (d * 8 | Knight) : 0;
  if (d >= 8 || !movesAlong(type, d)) return 0;
  return firstOccupied(k, oppositeDirection[d], from, cap, t, t) == t ? (d * 8 | type) : 0;
}

int castlingCheck(int s, int k, int kingFrom, int to) {
  int rookFrom, kingTo, rookTo;
  const int base = backRank(s) * 8;
  if (isChess960()) {
    rookFrom = to;
    const bool kingside = to > kingFrom;
    kingTo = base + (kingside ? 6 : 2);
    rookTo = base + (kingside ? 5 : 3);
  } else {
    const bool kingside = to > kingFrom;
    rookFrom = kingside ? kingFrom + 3 : kingFrom - 4;
    kingTo = to;
    rookTo = kingside ? to - 1 : to + 1;
  }
  const int out = directionTo[rookTo][k];
  if (out < 4 && firstOccupied(k, out, kingFrom, rookFrom, rookTo, kingTo) == rookTo)
    return oppositeDirection[out] * 8 | Rook;
  if (int c = lineCheckThrough(s, k, kingFrom, kingFrom, rookFrom, rookTo, kingTo)) return c;
  return lineCheckThrough(s, k, rookFrom, kingFrom, rookFrom, rookTo, kingTo);
}

// Pawn moves: single and double steps, diagonal captures, en passant and
// the promotion kinds. given is the kind the caller supplied.
bool completePawnMove(int s, int f, int t, Move given, Move* m) {
  const int o = s ^ 1;
  const bool promotes = rankOf(t) == backRank(o);
  const bool enemy = pos.colourOn[t] == o;
  if (fileOf(f) == fileOf(t)) {
    if (!isEmpty(t)) return false;
    if (t == f + 2 * pawnStep[s]) {
      if (rankOf(f) != secondRank(s) || !isEmpty(f + pawnStep[s]) || given != 0) return false;
      *m = makeMoveWord(f, t, QuietKind);
      return true;
    }
    if (t != f + pawnStep[s]) return false;
  } else {
    const int fileGap = fileOf(t) - fileOf(f);
    if ((fileGap != 1 && fileGap != -1) || rankOf(t) != rankOf(f) + (s == White ? 1 : -1)) return false;
    if (!enemy) {
      if (pos.epSquare == 0 || static_cast<uint32_t>(t) != pos.epSquare) return false;
      if (given != 0 && given != EnPassantKind) return false;
      *m = makeMoveWord(f, t, EnPassantKind);
      return true;
    }
  }
  Move kind;
  if (promotes) {
    if (given == 0) kind = PromoteQueen;
    else if (isPromotion(given)) kind = given;
    else return false;
  } else {
    kind = enemy ? CaptureKind : QuietKind;
    if (given != 0 && given != kind) return false;
  }
  *m = makeMoveWord(f, t, kind);
  return true;
}

bool completeKingMove(int s, int f, int t, Move given, Move* m) {
  const int o = s ^ 1;
  if (pos.attackTable[s].sq[t].directAttackers & 1u) {
    if (attackedBy(o, t)) return false;
    const Move kind = pos.colourOn[t] == o ? CaptureKind : QuietKind;
    if (given != 0 && given != kind) return false;
    *m = makeMoveWord(f, t, kind);
    return true;
  }
  if (isChess960() || pos.moveCount[f] != 0 || f != kingStart(s) || !isEmpty(t)) return false;
  if (given != 0 && given != CastleKind) return false;
  bool ok = false;
  if (t == f + 2) ok = canCastleStandard(t + 1, t - 1, t, s, f);
  else if (t == f - 2) ok = canCastleStandard(t - 2, t + 1, t, s, f);
  if (!ok) return false;
  *m = makeMoveWord(f, t, CastleKind);
  return true;
}

// True when side s can make a legal move with the man on sq that starts
// neither an en-passant capture nor castling (s not in check).
bool pawnHasPlainMove(int s, int sq) {
  const int o = s ^ 1;
  const int ahead = sq + pawnStep[s];
  const int king = kingSquare(s);
  if (!isPinned(sq, o)) {
    if (isEmpty(ahead)) return true;
    for (int d = pawnCaptureDir[s]; d <= pawnCaptureDir[s] + 1; ++d) {
      const int c = nextSquare[d][sq];
      if (c != 255 && pos.colourOn[c] == o) return true;
    }
    return false;
  }
  // Pinned: only moves along the pin line remain.
  const int toKing = directionTo[king][sq];
  if (toKing == 1 || toKing == 3) return isEmpty(ahead);
  if (toKing < 4) return false;
  const int away = oppositeDirection[toKing];
  if (away != pawnCaptureDir[s] && away != pawnCaptureDir[s] + 1) return false;
  const int c = nextSquare[away][sq];
  return c != 255 && pos.colourOn[c] == o;
}

bool pieceHasPlainMove(int s, int sq, int type) {
  const int king = kingSquare(s);
  const int toKing = directionTo[king][sq];
  if (type == King) {
    for (const RayEntry* r = rayList[King][sq]; r->square != 255; ++r)
      if (pos.colourOn[r->square] != s && !attackedBy(s ^ 1, r->square)) return true;
    return false;
  }
  // A pinned man moving along its line can always step or take the pinner.
  if (isPinned(sq, s ^ 1)) return toKing < 8 && movesAlong(type, toKing);
  const RayEntry* r = rayList[type][sq];
  while (r->square != 255) {
    if (pos.colourOn[r->square] != s) return true;
    r += r->remaining + 1;
  }
  return false;
}

// Makes m and reports whether it left the mover's king safe.
bool isLegalByMaking(Move m) {
  const uint64_t nodes = nodeCount;
  makeMove(m);
  const bool legal = !moverLeftKingInCheck();
  unmakeMove();
  nodeCount = nodes;
  return legal;
}

bool anyLegal(const ScoredMove* begin, const ScoredMove* end) {
  for (const ScoredMove* e = begin; e != end; ++e)
    if (isLegalByMaking(e->move)) return true;
  return false;
}

}  // namespace

bool canCastleStandard(int rookSq, int crossSq, int kingTo, int side, int kingFrom) {
  const int o = side ^ 1;
  if (!isEmpty(kingTo) || !isEmpty(crossSq) || !isEmpty(kingTo - 1)) return false;
  if (!isUnmovedOwnRook(rookSq, side)) return false;
  return !attackedBy(o, kingFrom) && !attackedBy(o, kingTo) && !attackedBy(o, crossSq);
}

bool canCastleShort960(int side, int kingFrom) {
  const int o = side ^ 1, rook = pos.castleRookShort[side];
  const int base = backRank(side) * 8;
  if (!isUnmovedOwnRook(rook, side) || rook <= kingFrom || rankOf(kingFrom) != backRank(side)) return false;
  if (attackedBy(o, kingFrom)) return false;
  const int kingTo = base + 6;
  for (int q = kingFrom + 1; q <= kingTo; ++q)
    if (attackedBy(o, q) || !emptyOr(q, rook)) return false;
  if (kingFrom == kingTo && !isEmpty(base + 5)) return false;
  return true;
}

bool canCastleLong960(int side, int kingFrom) {
  const int o = side ^ 1, rook = pos.castleRookLong[side];
  const int base = backRank(side) * 8;
  if (!isUnmovedOwnRook(rook, side) || rook >= kingFrom || rankOf(kingFrom) != backRank(side)) return false;
  if (attackedBy(o, kingFrom)) return false;
  const int c = base + 2, d = base + 3;
  if (rook == base && !isEmpty(base + 1) && kingFrom != base + 1) return false;
  if (kingFrom == base + 1) return !attackedBy(o, c) && isEmpty(c) && isEmpty(d);
  if (kingFrom == c) return isEmpty(d);
  for (int q = kingFrom - 1; q >= c; --q)
    if (attackedBy(o, q) || !emptyOr(q, rook)) return false;
  return true;
}

bool isPinned(int sq, int attackerSide) {
  const int a = attackerSide, k = kingSquare(a ^ 1);
  const int d = directionTo[k][sq];  // from sq towards the king
  if (d >= 8) return false;
  const SquareAttacks& at = pos.attackTable[a].sq[sq];
  if ((at.directCounts & lineWeightMask[d]) == 0) return false;
  if (firstOnRay(d, sq, pos.occupied) != k) return false;  // a man stands between
  for (PieceSet set = at.directAttackers & pos.pieceSet[a]; set; set &= set - 1) {
    const int from = pos.pieceList[a][lowestBitOf(set)];
    if (directionTo[sq][from] == d && movesAlong(pos.pieceOn[from], d)) return true;
  }
  return false;
}

int givesCheck(Move m, int side) {
  const int s = side, k = kingSquare(s ^ 1), f = moveFrom(m), t = moveTo(m);
  const Move kind = m & KindMask;
  if (kind == CastleKind) return castlingCheck(s, k, f, t);
  const int type = isPromotion(m) ? promotionType[(m >> 12) & 7] : pos.pieceOn[f];
  if (kind == EnPassantKind) {
    const int cap = t - pawnStep[s];
    if (int c = directCheck(Pawn, s, k, t, f, cap)) return c;
    if (int c = lineCheckThrough(s, k, f, f, cap, t, t)) return c;
    return lineCheckThrough(s, k, cap, f, cap, t, t);
  }
  if (int c = directCheck(type, s, k, t, f, f)) return c;
  const int df = directionTo[k][f];
  if (df >= 8 || (pos.attackTable[s].sq[f].directCounts & lineWeightMask[df]) == 0) return 0;
  return lineCheckThrough(s, k, f, f, f, t, t);
}

bool completeMove(int side, Move* m) {
  const int s = side, o = s ^ 1;
  const int f = moveFrom(*m), t = moveTo(*m);
  const Move given = *m & KindMask;
  if ((*m & CheckMark) || f == t || pos.colourOn[f] != s) return false;
  const int type = pos.pieceOn[f];
  if (pos.colourOn[t] == s) {
    // Chess960 castling is written as the king taking its own rook.
    if (!isChess960() || type != King || pos.pieceOn[t] != Rook || pos.moveCount[f] != 0) return false;
    if (given != 0 && given != CastleKind) return false;
    const bool ok = (t == pos.castleRookShort[s] && canCastleShort960(s, f)) ||
                    (t == pos.castleRookLong[s] && canCastleLong960(s, f));
    if (!ok) return false;
    *m = makeMoveWord(f, t, CastleKind);
    return true;
  }
  if (pos.colourOn[t] == o && pos.pieceOn[t] == King) return false;
  if (type == Pawn) return completePawnMove(s, f, t, given, m);
  if (isPromotion(given)) return false;
  if (type == King) return completeKingMove(s, f, t, given, m);
  if (!(pos.attackTable[s].sq[t].directAttackers & pos.slotBitOn[f])) return false;
  const Move kind = pos.colourOn[t] == o ? CaptureKind : QuietKind;
  if (given != 0 && given != kind) return false;
  *m = makeMoveWord(f, t, kind);
  return true;
}

bool noLegalMove(int side) {
  const int s = side;
  const bool ownTurn = static_cast<uint32_t>(s) == pos.sideToMove;
  ScoredMove list[MaxMovesPerPly];
  if (ownTurn && isInCheck()) {
    uint32_t flags;
    const int n = generateEvasions(&flags, s, -1, 0, list);
    return !anyLegal(list, list + n);
  }
  for (PieceSet men = pos.pieceSet[s]; men;) {
    const int slot = highestBitOf(men);
    men ^= 1u << slot;
    const int sq = pos.pieceList[s][slot];
    const int type = pos.pieceOn[sq];
    if (type == Pawn ? pawnHasPlainMove(s, sq) : pieceHasPlainMove(s, sq, type)) return false;
  }
  if (!ownTurn) return true;
  // En passant and castling: rare enough to try on the board.
  ScoredMove* end = list;
  const int ep = static_cast<int>(pos.epSquare);
  if (ep != 0)
    for (PieceSet a = pos.attackTable[s].sq[ep].directAttackers; a; a &= a - 1) {
      const int from = pos.pieceList[s][lowestBitOf(a)];
      if (pos.pieceOn[from] == Pawn) *end++ = {makeMoveWord(from, ep, EnPassantKind), 0};
    }
  const int king = kingSquare(s);
  if (pos.moveCount[king] == 0) {
    if (isChess960()) {
      if (canCastleShort960(s, king)) *end++ = {makeMoveWord(king, pos.castleRookShort[s], CastleKind), 0};
      if (canCastleLong960(s, king)) *end++ = {makeMoveWord(king, pos.castleRookLong[s], CastleKind), 0};
    } else if (king == kingStart(s)) {
      if (canCastleStandard(king + 3, king + 1, king + 2, s, king))
        *end++ = {makeMoveWord(king, king + 2, CastleKind), 0};
      if (canCastleStandard(king - 4, king - 1, king - 2, s, king))
        *end++ = {makeMoveWord(king, king - 2, CastleKind), 0};
    }
  }
  return !anyLegal(list, end);
}

uint8_t sanDisambiguation(Move m) {
  const int f = moveFrom(m), t = moveTo(m);
  const int type = pos.pieceOn[f];
  if (type == None || type == Pawn || type == King) return static_cast<uint8_t>(type);
  const int s = pos.colourOn[f], k = kingSquare(s);
  bool other = false, sameFile = false, sameRank = false;
  for (PieceSet a = pos.attackTable[s].sq[t].directAttackers & pos.pieceSet[s] & ~pos.slotBitOn[f]; a; a &= a - 1) {
    const int sq = pos.pieceList[s][lowestBitOf(a)];
    if (pos.pieceOn[sq] != type) continue;
    // A man pinned off the line to t cannot go there: no ambiguity.
    if (isPinned(sq, s ^ 1) && directionTo[k][t] != directionTo[k][sq]) continue;
    other = true;
    sameFile |= fileOf(sq) == fileOf(f);
    sameRank |= rankOf(sq) == rankOf(f);
  }
  uint8_t flags = 0;
  if (other) flags = !sameFile ? 8 : !sameRank ? 16 : 24;
  return static_cast<uint8_t>(type | flags);
}

int generateLegalMoves(Move* out) {
  const int s = static_cast<int>(pos.sideToMove);
  ScoredMove list[MaxMovesPerPly];
  uint32_t flags;
  const int n = isInCheck() ? generateEvasions(&flags, s, -1, 0, list) : generateAll(list, s, -1, 0);
  int count = 0;
  for (int i = 0; i < n; ++i)
    if (isLegalByMaking(list[i].move)) out[count++] = list[i].move;
  return count;
}
