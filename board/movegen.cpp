// The four generators (all moves, captures, check evasions, quiet checks)
// and the promotion helper. Everything they need to know about attacks and
// pins is read from the attack tables; they write pseudo-legal moves with
// their ordering keys and leave the ordering to the search.
#include "board/movegen.h"

#include "board/geometry.h"
#include "board/movegen_internal.h"

using namespace movegenDetail;

namespace {

inline void addMove(ScoredMove*& list, Move m, int key) {
  list->move = m;
  list->key = static_cast<int16_t>(key);
  ++list;
}

// Capture key of a victim on to: its value, more when it recaptures.
inline int victimKey(int to) {
  return pieceValue[pos.pieceOn[to]] + (static_cast<uint32_t>(to) == pos.lastTo ? RecaptureBonus : 0);
}

inline bool onLastRank(int sq) { return rankOf(sq) == 0 || rankOf(sq) == 7; }

// A list in the shared buffer that could run past its end gets nothing
// (never reached with plies below MaxPly); other lists are the caller's.
inline bool roomFor(const ScoredMove* list) {
  const ScoredMove* end = moveBuffer + MoveBufferSize;
  return list < moveBuffer || list >= end || list + MaxMovesPerPly <= end;
}

inline int finishList(ScoredMove* start, ScoredMove* end, int ply) {
  if (ply >= 0 && ply < MaxPly) moveListStart[ply + 1] = end;
  return static_cast<int>(end - start);
}

// Captures victim by victim (lowest slot first), attackers highest slot
// first; the king never takes a defended man. The capture generator uses
// its own keys and takes onto the last rank only with a queen.
ScoredMove* addCaptures(ScoredMove* list, int s, int mode, bool quiescence) {
  const int o = s ^ 1;
  const AttackTable& ours = pos.attackTable[s];
  const AttackTable& theirs = pos.attackTable[o];
  PieceSet victims = pos.pieceSet[o] & ~1u;
  while (victims) {
    const int v = lowestBitOf(victims);
    victims &= victims - 1;
    const int to = pos.pieceList[o][v];
    PieceSet attackers = ours.sq[to].directAttackers;
    if (attackers == 0) continue;
    if (theirs.sq[to].directCounts != 0) attackers &= ~1u;
    int key = victimKey(to);
    if (quiescence && pos.pieceOn[to] == Pawn && rankOf(to) == seventhRank[o]) key += PromotingPawnVictimBonus;
    const bool promoting = onLastRank(to);
    while (attackers) {
      const int slot = highestBitOf(attackers);
      attackers ^= 1u << slot;
      const int from = pos.pieceList[s][slot];
      if (promoting && pos.pieceOn[from] == Pawn) {
        if (quiescence)
          addMove(list, makeMoveWord(from, to, PromoteQueen), key + CaptureGenPromotionKey);
        else
          list = addPromotions(list, from, to, mode);
      } else {
        addMove(list, makeMoveWord(from, to, CaptureKind), key);
      }
    }
  }
  return list;
}

ScoredMove* addEnPassant(ScoredMove* list, int s) {
  const int ep = static_cast<int>(pos.epSquare);
  if (ep == 0) return list;
  PieceSet attackers = pos.attackTable[s].sq[ep].directAttackers;
  while (attackers) {
    const int slot = highestBitOf(attackers);
    attackers ^= 1u << slot;
    const int from = pos.pieceList[s][slot];
    if (pos.pieceOn[from] == Pawn) addMove(list, makeMoveWord(from, ep, EnPassantKind), EnPassantKey);
  }
  return list;
}

ScoredMove* addPawnPushes(ScoredMove* list, int s, int from, int mode) {
  const int ahead = from + pawnStep[s];
  if (!isEmpty(ahead)) return list;
  if (rankOf(from) == seventhRank[s]) return addPromotions(list, from, ahead, mode);
  addMove(list, makeMoveWord(from, ahead, QuietKind), 0);
  if (rankOf(from) == secondRank(s) && isEmpty(ahead + pawnStep[s]))
    addMove(list, makeMoveWord(from, ahead + pawnStep[s], QuietKind), 0);
  return list;
}

// Empty squares from which a slider moving along the directions in `dirs`
// (a bit per line direction) would attack k over the board `men`.
uint64_t checkingSquares(int k, unsigned dirs, uint64_t men) {
  uint64_t squares = 0;
  for (int d = 0; d < 8; ++d) {
    if (!((dirs >> d) & 1)) continue;
    squares |= openRay(d, k, men);
  }
  return squares;
}

// Quiet moves of the slider on `from` to the squares of `targets`, ray by
// ray and outwards along each ray, as the ray lists run.
ScoredMove* addSliderQuietsTo(ScoredMove* list, int type, int from, uint64_t targets) {
  const int first = type == Rook || type == Queen ? 0 : 4, last = type == Bishop || type == Queen ? 7 : 3;
  for (int d = first; d <= last; ++d) {
    uint64_t reach = openRay(d, from, pos.occupied) & targets;
    if ((0x33 >> d) & 1) {  // squares rise along the ray
      for (; reach; reach &= reach - 1) addMove(list, makeMoveWord(from, __builtin_ctzll(reach), QuietKind), 0);
    } else {
      while (reach) {
        const int to = 63 - __builtin_clzll(reach);
        reach ^= uint64_t{1} << to;
        addMove(list, makeMoveWord(from, to, QuietKind), 0);
      }
    }
  }
  return list;
}

// Line directions a slider moves along, a bit per direction.
constexpr unsigned sliderDirections[7] = {0, 0, 0, 0xF0, 0x0F, 0xFF, 0};

// All quiet moves of a slider. A step per square beats the bit scans here,
// as nearly every square is taken.
ScoredMove* addSliderQuiets(ScoredMove* list, int type, int from) {
  const RayEntry* r = rayList[type][from];
  while (r->square != 255) {
    if (isEmpty(r->square)) {
      addMove(list, makeMoveWord(from, r->square, QuietKind), 0);
      ++r;
    } else {
      r += r->remaining + 1;
    }
  }
  return list;
}

ScoredMove* addCastling(ScoredMove* list, int s, int king) {
  if (pos.moveCount[king] != 0) return list;
  if (isChess960()) {
    if (canCastleShort960(s, king)) addMove(list, makeMoveWord(king, pos.castleRookShort[s], CastleKind), 0);
    if (canCastleLong960(s, king)) addMove(list, makeMoveWord(king, pos.castleRookLong[s], CastleKind), 0);
    return list;
  }
  if (king != kingStart(s)) return list;
  if (canCastleStandard(king + 3, king + 1, king + 2, s, king))
    addMove(list, makeMoveWord(king, king + 2, CastleKind), 0);
  if (canCastleStandard(king - 4, king - 1, king - 2, s, king))
    addMove(list, makeMoveWord(king, king - 2, CastleKind), 0);
  return list;
}

ScoredMove* addKingSteps(ScoredMove* list, int s, int king) {
  const AttackTable& theirs = pos.attackTable[s ^ 1];
  for (const RayEntry* r = rayList[King][king]; r->square != 255; ++r)
    if (isEmpty(r->square) && theirs.sq[r->square].directCounts == 0)
      addMove(list, makeMoveWord(king, r->square, QuietKind), 0);
  return list;
}

// Quiet moves man by man, highest slot first (pawns, pieces, the king).
ScoredMove* addQuietMoves(ScoredMove* list, int s, int mode) {
  PieceSet men = pos.pieceSet[s];
  while (men) {
    const int slot = highestBitOf(men);
    men ^= 1u << slot;
    const int from = pos.pieceList[s][slot];
    const int type = pos.pieceOn[from];
    switch (type) {
      case Pawn:
        list = addPawnPushes(list, s, from, mode);
        break;
      case Knight:
        for (const RayEntry* r = rayList[Knight][from]; r->square != 255; ++r)
          if (isEmpty(r->square)) addMove(list, makeMoveWord(from, r->square, QuietKind), 0);
        break;
      case Bishop:
      case Rook:
      case Queen:
        list = addSliderQuiets(list, type, from);
        break;
      case King:
        list = addKingSteps(list, s, from);
        list = addCastling(list, s, from);
        break;
      default:
        break;
    }
  }
  return list;
}

// The capture generator's pawn pushes: queen promotions, and in mode 6 the
// pushes to the seventh rank that are neither blocked at once nor checks.
ScoredMove* addPromotionPushes(ScoredMove* list, int s, int mode) {
  const int o = s ^ 1;
  const int sixth = seventhRank[s] - (s == White ? 1 : -1);
  PieceSet pawns = pos.pawnsOnRank[s][seventhRank[s]];
  if (mode & 4) pawns |= pos.pawnsOnRank[s][sixth];
  pawns &= pos.pieceSet[s];
  while (pawns) {
    const int slot = highestBitOf(pawns);
    pawns ^= 1u << slot;
    const int from = pos.pieceList[s][slot];
    if (pos.pieceOn[from] != Pawn) continue;
    const int to = from + pawnStep[s];
    if (!isEmpty(to)) continue;
    if (rankOf(from) == seventhRank[s]) {
      addMove(list, makeMoveWord(from, to, PromoteQueen), CaptureGenPromotionKey);
      continue;
    }
    const int next = to + pawnStep[s];
    const int left = nextSquare[pawnCaptureDir[s]][to], right = nextSquare[pawnCaptureDir[s] + 1][to];
    const bool blocked = !isEmpty(next) && !(left != 255 && pos.colourOn[left] == o) &&
                         !(right != 255 && pos.colourOn[right] == o);
    const Move m = makeMoveWord(from, to, QuietKind);
    if (!blocked && givesCheck(m, s) == 0) addMove(list, m, SeventhRankPushKey);
  }
  return list;
}

// Square of a man that would check the king at k from t after a move from
// `from` (from counts as empty): the direct-check test of a quiet move.
bool checksFrom(int type, int s, int t, int from, int k) {
  const int d = directionTo[k][t];
  if (d >= 16) return false;
  if (type == Pawn) return (d == pawnCaptureDir[s] || d == pawnCaptureDir[s] + 1) && nextSquare[d][t] == k;
  if (type == Knight) return d >= 8;
  if (d >= 8 || !movesAlong(type, d)) return false;
  return firstOnRay(d, t, pos.occupied & ~squareBit(from)) == k;
}

// Direction from sq to the enemy king k when the man on sq is all that
// stands between k and a slider of s on that line; 16 otherwise.
int discoveryLine(int sq, int s, int k) {
  const int d = directionTo[k][sq];
  if (d >= 8) return 16;
  const SquareAttacks& a = pos.attackTable[s].sq[sq];
  if ((a.directCounts & lineWeightMask[d]) == 0) return 16;
  if (firstOnRay(d, sq, pos.occupied) != k) return 16;  // a man stands between
  PieceSet behind = a.directAttackers & pos.pieceSet[s];
  while (behind) {
    const int slot = highestBitOf(behind);
    behind ^= 1u << slot;
    const int from = pos.pieceList[s][slot];
    if (directionTo[sq][from] == d && movesAlong(pos.pieceOn[from], d)) return d;
  }
  return 16;
}

// Without a discovery line, a pawn push checks only when the king stands
// diagonally ahead of the square reached: two ranks ahead of the pawn and
// on a neighbouring file, or three for the double step.
inline bool pawnPushMayCheck(int s, int from, int k) {
  const int ranks = s == White ? rankOf(k) - rankOf(from) : rankOf(from) - rankOf(k);
  const int files = fileOf(k) - fileOf(from);
  return (files == 1 || files == -1) && (ranks == 2 || ranks == 3);
}

// A knight checks from a square of the other colour than the king's, so it
// can reach one in a single jump only from a square of the king's colour.
inline bool knightMayCheck(int from, int k) { return squareShade[from] == squareShade[k]; }

}  // namespace

ScoredMove* addPromotions(ScoredMove* list, int from, int to, int mode) {
  const int victimBonus = pos.colourOn[to] != NoColour ? victimKey(to) : 0;
  addMove(list, makeMoveWord(from, to, PromoteQueen), QueenPromotionKey + victimBonus);
  addMove(list, makeMoveWord(from, to, PromoteKnight), KnightPromotionKey);
  if (mode != 0) return list;
  addMove(list, makeMoveWord(from, to, PromoteRook), RookPromotionKey);
  addMove(list, makeMoveWord(from, to, PromoteBishop), BishopPromotionKey);
  return list;
}

int generateAll(ScoredMove* list, int side, int ply, int mode) {
  ScoredMove* start = list;
  if (roomFor(list)) {
    list = addCaptures(list, side, mode, false);
    list = addEnPassant(list, side);
    list = addQuietMoves(list, side, mode);
  }
  return finishList(start, list, ply);
}

int generateCaptures(int side, int ply, int mode, ScoredMove* list) {
  ScoredMove* start = list;
  if (roomFor(list)) {
    list = addPromotionPushes(list, side, mode);
    list = addCaptures(list, side, mode, true);
    list = addEnPassant(list, side);
    if (mode & 2) list = generateQuietChecks(side, kingSquare(side ^ 1), list);
  }
  return finishList(start, list, ply);
}

ScoredMove* generateQuietChecks(int side, int enemyKingSquare, ScoredMove* list) {
  const int s = side, k = enemyKingSquare;
  const AttackTable& theirs = pos.attackTable[s ^ 1];
  PieceSet men = pos.pieceSet[s];
  while (men) {
    const int slot = highestBitOf(men);
    men ^= 1u << slot;
    const int from = pos.pieceList[s][slot];
    const int type = pos.pieceOn[from];
    const int line = discoveryLine(from, s, k);
    // A quiet move checks when it leaves a discovery line or attacks k.
    auto gives = [&](int to) { return (line < 8 && directionTo[k][to] != line) || checksFrom(type, s, to, from, k); };
    if (type == Pawn) {
      if (line >= 8 && !pawnPushMayCheck(s, from, k)) continue;
      const int ahead = from + pawnStep[s];
      if (!isEmpty(ahead) || rankOf(from) == seventhRank[s]) continue;
      if (gives(ahead)) addMove(list, makeMoveWord(from, ahead, QuietKind), 0);
      const int two = ahead + pawnStep[s];
      if (rankOf(from) == secondRank(s) && isEmpty(two) && gives(two))
        addMove(list, makeMoveWord(from, two, QuietKind), 0);
    } else if (type == King) {
      if (line >= 8) continue;
      for (const RayEntry* r = rayList[King][from]; r->square != 255; ++r)
        if (isEmpty(r->square) && theirs.sq[r->square].directCounts == 0 && directionTo[k][r->square] != line)
          addMove(list, makeMoveWord(from, r->square, QuietKind), 0);
    } else if (type == Knight) {
      if (line >= 8 && !knightMayCheck(from, k)) continue;
      for (const RayEntry* r = rayList[Knight][from]; r->square != 255; ++r)
        if (isEmpty(r->square) && gives(r->square)) addMove(list, makeMoveWord(from, r->square, QuietKind), 0);
    } else {
      // A slider checks from the squares that see the king once it has
      // left `from`; off its discovery line, from any square.
      uint64_t targets = checkingSquares(k, sliderDirections[type], pos.occupied & ~(uint64_t{1} << from));
      if (line < 8) targets |= ~rayMask[oppositeDirection[line]][k];
      list = addSliderQuietsTo(list, type, from, targets);
    }
  }
  return list;
}

int generateEvasions(uint32_t* flagsOut, int side, int ply, int mode, ScoredMove* list) {
  ScoredMove* start = list;
  const int s = side, o = s ^ 1, king = kingSquare(s);
  const AttackTable& ours = pos.attackTable[s];
  const AttackTable& theirs = pos.attackTable[o];
  const PieceSet checkers = theirs.sq[king].directAttackers;
  uint32_t flags = 0;
  if (!roomFor(list) || checkers == 0) {
    if (flagsOut) *flagsOut = 0;
    return finishList(start, list, ply);
  }
  if (checkers & (checkers - 1)) flags |= EvasionDoubleCheck;

  // Steps along a checking slider's line stay attacked once the king has
  // moved, although the table does not show it behind the king.
  unsigned forbidden = 0;
  for (PieceSet c = checkers; c; c &= c - 1) {
    const int sq = pos.pieceList[o][lowestBitOf(c)];
    if (static_cast<uint32_t>(sq) != pos.lastTo) flags |= EvasionDiscovered;
    const int type = pos.pieceOn[sq];
    if (type < Bishop || type > Queen) continue;
    const int d = directionTo[king][sq];
    forbidden |= 1u << d;
    if (nextSquare[d][sq] != king) forbidden |= 1u << oppositeDirection[d];
  }

  uint32_t kingMoves = 0;
  for (int d = 0; d < 8; ++d) {
    const int to = nextSquare[d][king];
    if (to == 255 || (forbidden & (1u << d)) || pos.colourOn[to] == s || theirs.sq[to].directCounts != 0) continue;
    if (pos.colourOn[to] == o)
      addMove(list, makeMoveWord(king, to, CaptureKind), victimKey(to));
    else
      addMove(list, makeMoveWord(king, to, QuietKind), 0);
    ++kingMoves;
  }

  if (!(flags & EvasionDoubleCheck)) {
    const int checker = pos.pieceList[o][highestBitOf(checkers)];
    const int d = directionTo[king][checker];
    const int ep = static_cast<int>(pos.epSquare);
    if (ep != 0 && pos.pieceOn[checker] == Pawn && checker + pawnStep[s] == ep) {
      for (PieceSet a = ours.sq[ep].directAttackers; a;) {
        const int slot = highestBitOf(a);
        a ^= 1u << slot;
        const int from = pos.pieceList[s][slot];
        if (pos.pieceOn[from] == Pawn && !isPinned(from, o))
          addMove(list, makeMoveWord(from, ep, EnPassantKind), EnPassantKey);
      }
    }
    for (int q = checker; q != king; q = nextSquare[d][q]) {
      const bool capture = q == checker;
      for (PieceSet a = ours.sq[q].directAttackers & ~1u; a;) {
        const int slot = highestBitOf(a);
        a ^= 1u << slot;
        const int from = pos.pieceList[s][slot];
        const bool pawn = pos.pieceOn[from] == Pawn;
        if ((pawn && !capture) || isPinned(from, o)) continue;
        if (!capture)
          addMove(list, makeMoveWord(from, q, QuietKind), 0);
        else if (pawn && onLastRank(q))
          list = addPromotions(list, from, q, mode);
        else
          addMove(list, makeMoveWord(from, q, CaptureKind), victimKey(q));
      }
      if (capture) continue;
      // Pawn pushes onto the empty square between checker and king.
      if (rankOf(q) == backRank(s)) continue;
      const int behind = q - pawnStep[s];
      if (isOwnPawn(behind, s)) {
        if (isPinned(behind, o)) continue;
        if (onLastRank(q))
          list = addPromotions(list, behind, q, mode);
        else
          addMove(list, makeMoveWord(behind, q, QuietKind), 0);
      } else if (isEmpty(behind) && rankOf(q) == doubleStepRank(s)) {
        const int origin = behind - pawnStep[s];
        if (isOwnPawn(origin, s) && !isPinned(origin, o)) addMove(list, makeMoveWord(origin, q, QuietKind), 0);
      }
    }
  }
  if (flagsOut) *flagsOut = flags | kingMoves;
  return finishList(start, list, ply);
}
