// Making and unmaking moves on the one board: every derived field, the key
// and both attack tables are brought up to date incrementally.
#include "board/makemove.h"

#include <cstddef>
#include <cstring>

#include "board/attacks.h"
#include "board/geometry.h"
#include "board/history.h"
#include "board/position.h"

uint32_t rootPly = 1;
uint32_t fiftyMoveLimit = 99;

namespace {

// Material added by promoting a pawn to each type.
constexpr int32_t promotionGain[7] = {0, 0, 288, 288, 512, 1120, 0};
// Bit position of each type's count field in materialSignature.
constexpr int signatureShift[7] = {0, 16, 20, 22, 24, 26, 0};

inline int slotOf(PieceSet bit) { return __builtin_ctz(bit); }
inline uint64_t keyOf(int type, int side, int sq) { return pieceKey[(type - 1) * 2 + side][sq]; }

PieceSet* typeSet(int type) {
  switch (type) {
    case Pawn: return pos.pawnSet;
    case Knight: return pos.knightSet;
    case Bishop: return pos.bishopSet;
    case Rook: return pos.rookSet;
    case Queen: return pos.queenSet;
    default: return pos.emptySet;
  }
}

// Rewrites the 2-bit count field of a non-pawn type from the piece sets, so
// that a fifth knight leaves the field at 3 instead of carrying.
inline void recountType(int side, int type) {
  const int shift = signatureShift[type];
  int n = 0;  // a few men at most: cheaper than the library's population count
  for (PieceSet set = typeSet(type)[side] & pos.pieceSet[side]; set; set &= set - 1) ++n;
  if (n > 3) n = 3;
  pos.materialSignature[side] =
      (pos.materialSignature[side] & ~(3u << shift)) | (static_cast<uint32_t>(n) << shift);
}

// Adds (sign +1) or removes (-1) a non-king man of `type` to the signature;
// the man's set bits must already say whether it is on the board.
inline void signatureChange(int side, int type, int sign) {
  if (type == Pawn) {
    pos.materialSignature[side] += sign * 0x10000;
  } else if (type != King) {
    pos.materialSignature[side] += sign * static_cast<int>(signatureOf[type] & 0xFFFF);
    recountType(side, type);
  }
}

inline void setSliderBits(int side, int type, PieceSet bit, bool on) {
  PieceSet* sets[3] = {nullptr, nullptr, nullptr};
  if (type == Bishop || type == Queen) sets[0] = pos.diagSliders;
  if (type == Rook || type == Queen) sets[1] = pos.orthoSliders;
  if (lineClass[type]) sets[2] = pos.sliders;
  for (PieceSet* p : sets)
    if (p) p[side] = on ? (p[side] | bit) : (p[side] & ~bit);
}

inline void dropThreat(int side, int sq) {
  pos.threatSum[side] -= pos.pieceThreat[sq];
  pos.pieceThreat[sq] = 0;
  pos.evalSet[side] &= ~pos.slotBitOn[sq];
}

inline void attacksOf(bool add, int type, int side, int sq) {
  (add ? addAttacks : removeAttacks)[type](side, sq);
}

// The three ray updates, for each table that has a slider line through sq.
inline void blockBoth(int sq, int cls) {
  if (lineThrough(White, sq)) blockSquare(White, sq, cls);
  if (lineThrough(Black, sq)) blockSquare(Black, sq, cls);
}
inline void unblockBoth(int sq, int cls) {
  if (lineThrough(White, sq)) unblockSquare(White, sq, cls);
  if (lineThrough(Black, sq)) unblockSquare(Black, sq, cls);
}
inline void recolourBoth(int sq, int oldCls, int newCls) {
  if (oldCls == newCls) return;
  if (lineThrough(White, sq)) recolourSquare(White, sq, oldCls, newCls);
  if (lineThrough(Black, sq)) recolourSquare(Black, sq, oldCls, newCls);
}

inline void markIfAttacked(int side, int sq, PieceSet bit) {
  pos.dirtyPieces[side] &= ~bit;
  if (pos.attackTable[side ^ 1].sq[sq].directCounts) pos.dirtyPieces[side] |= bit;
}

// Castling rights live in moveCount; the key carries the corner's square
// key for every right that is gone.
inline int shortCorner(int side) { return side ? 63 : 7; }
inline int longCorner(int side) { return side ? 56 : 0; }

inline bool rookUnmovedOn(int side, int sq) {
  return pos.pieceOn[sq] == Rook && pos.colourOn[sq] == side && pos.moveCount[sq] == 0;
}

inline bool rightPresent(int side, int rookSq) {
  return pos.moveCount[kingSquare(side)] == 0 && rookUnmovedOn(side, rookSq);
}

// Key changes for the rights an unmoved king or rook of `side` gives up by
// leaving (or being captured on) sq.
void loseRights(int side, int sq, int type) {
  if (type == King) {
    if (rookUnmovedOn(side, pos.castleRookShort[side])) pos.hashKey ^= squareKey[shortCorner(side)];
    if (rookUnmovedOn(side, pos.castleRookLong[side])) pos.hashKey ^= squareKey[longCorner(side)];
  } else if (type == Rook && pos.moveCount[kingSquare(side)] == 0) {
    if (sq == pos.castleRookShort[side]) pos.hashKey ^= squareKey[shortCorner(side)];
    else if (sq == pos.castleRookLong[side]) pos.hashKey ^= squareKey[longCorner(side)];
  }
}

struct CastleSquares {
  int kingFrom, kingTo, rookFrom, rookTo;
};

// Standard chess names the king's destination; Chess960 names the rook.
CastleSquares castleSquares(int side, Move m) {
  const int f = moveFrom(m), t = moveTo(m), base = side ? 56 : 0;
  const bool kingside = t > f;
  if (searchFlags & Chess960Flag)
    return {f, base + (kingside ? 6 : 2), t, base + (kingside ? 5 : 3)};
  return {f, t, kingside ? f + 3 : f - 4, kingside ? t - 1 : t + 1};
}

void liftMan(int sq, int type) {
  pos.colourOn[sq] = NoColour;
  pos.occupied &= ~(uint64_t{1} << sq);
  pos.pieceOn[sq] = None;
  pos.slotBitOn[sq] = 0;
  unblockBoth(sq, lineClass[type]);
}

void placeMan(int sq, int type, int side, PieceSet bit) {
  pos.colourOn[sq] = static_cast<uint8_t>(side);
  pos.occupied |= uint64_t{1} << sq;
  pos.pieceOn[sq] = static_cast<uint8_t>(type);
  pos.slotBitOn[sq] = bit;
  pos.pieceList[side][slotOf(bit)] = static_cast<uint8_t>(sq);
  blockBoth(sq, lineClass[type]);
}

// What make saves for unmake besides the tables, which stay behind in their
// slot: the slot itself (a null move keeps its parent's, so it is not always
// the previous ply's), the threat sums, the sets the evaluation keeps and the
// occupied squares, as they stood before the move.
struct UndoState {
  BoardTables* tables;
  int32_t threatSum[2];
  PieceSet evalSet[2];
  uint64_t occupied;
};
UndoState undoStates[MaxPly];

inline UndoState& undoStateOf(const PlyRecord* r) { return undoStates[r - pos.plyStack]; }

// Copies the threat values and the two attack tables through the C library,
// whose copy picks the widest registers this processor has; the compiler's
// inline expansion for a build without a target processor moves 16 or 8
// bytes at a time (a profile-guided build chose "rep movsq" even for a size
// it could not see, 14 % slower overall). Calling through a pointer the
// compiler must reload keeps it a call.
void* (*volatile libraryCopy)(void*, const void*, size_t) = std::memcpy;
inline void copyTables(BoardTables* to, const BoardTables* from) { libraryCopy(to, from, sizeof(BoardTables)); }

// Saves the state before a move and moves the tables into the slot of the
// new ply record r, where the move updates them.
inline void saveState(const PlyRecord* r) {
  UndoState& u = undoStateOf(r);
  u.tables = pos.tables;
  u.threatSum[0] = pos.threatSum[0];
  u.threatSum[1] = pos.threatSum[1];
  u.evalSet[0] = pos.evalSet[0];
  u.evalSet[1] = pos.evalSet[1];
  u.occupied = pos.occupied;
  BoardTables* next = &boardTables[r - pos.plyStack];
  copyTables(next, pos.tables);
  useTables(next);
}

inline void restoreState(const PlyRecord* r) {
  const UndoState& u = undoStateOf(r);
  useTables(u.tables);
  pos.threatSum[0] = u.threatSum[0];
  pos.threatSum[1] = u.threatSum[1];
  pos.evalSet[0] = u.evalSet[0];
  pos.evalSet[1] = u.evalSet[1];
  pos.occupied = u.occupied;
  pos.dirtyPieces[0] = pos.dirtyPieces[1] = 0;
}

// A pawn goes back from t to f: its rank and file marks move with it, and
// a promoted piece P becomes the pawn again.
inline void unmovePawn(int s, int f, int t, int P, PieceSet bit) {
  pos.pawnsOnRank[s][rankOf(f)] |= bit;
  pos.pawnRanksOnFile[s][fileOf(f) + 1] |= static_cast<uint8_t>(1 << rankOf(f));
  if (P != Pawn) {
    pos.material[s] -= promotionGain[P];
    typeSet(P)[s] &= ~bit;
    pos.pawnSet[s] |= bit;
    setSliderBits(s, P, bit, false);
    signatureChange(s, P, -1);
    signatureChange(s, Pawn, +1);
  } else {
    pos.pawnsOnRank[s][rankOf(t)] &= ~bit;
    pos.pawnRanksOnFile[s][fileOf(t) + 1] &= static_cast<uint8_t>(~(1 << rankOf(t)));
  }
}

inline void clearSquare(int sq) {
  pos.colourOn[sq] = NoColour;
  pos.pieceOn[sq] = None;
  pos.slotBitOn[sq] = 0;
}

inline void putMan(int sq, int type, int side, PieceSet bit) {
  pos.colourOn[sq] = static_cast<uint8_t>(side);
  pos.pieceOn[sq] = static_cast<uint8_t>(type);
  pos.slotBitOn[sq] = bit;
  pos.pieceList[side][slotOf(bit)] = static_cast<uint8_t>(sq);
}

// The board part of taking back a castling move (the tables return to their slot).
void uncastleBoard(const PlyRecord* r) {
  const int s = r->mover;
  const CastleSquares c = castleSquares(s, r->move);
  const PieceSet rookBit = pos.slotBitOn[c.rookTo];
  clearSquare(c.kingTo);
  clearSquare(c.rookTo);
  putMan(c.kingFrom, King, s, 1);
  putMan(c.rookFrom, Rook, s, rookBit);
  pos.moveCount[c.kingTo] = r->oldMoveCount;
  pos.moveCount[c.rookTo] = static_cast<uint8_t>(r->capturedSlot);
  pos.moveCount[c.kingFrom] = 0;
  pos.moveCount[c.rookFrom] = 0;
}

// The board part of taking back an ordinary move, promotion or capture.
void unmoveBoard(const PlyRecord* r) {
  const Move m = r->move;
  const int s = r->mover, o = s ^ 1;
  const int f = moveFrom(m), t = moveTo(m);
  const int P = pos.pieceOn[t];
  const int T = isPromotion(m) ? static_cast<int>(Pawn) : P;
  const int V = r->capturedType;
  const PieceSet bit = pos.slotBitOn[t];
  const PieceSet victim = r->capturedSlot;
  pos.moveCount[t] = r->oldMoveCount;
  putMan(f, T, s, bit);
  if ((m & KindMask) == EnPassantKind) {
    const int sq = s == White ? t - 8 : t + 8;
    pos.colourOn[sq] = static_cast<uint8_t>(o);
    pos.pieceOn[sq] = Pawn;
    pos.slotBitOn[sq] = victim;
    pos.pieceSet[o] |= victim;
    pos.pawnRanksOnFile[o][fileOf(sq) + 1] |= static_cast<uint8_t>(1 << rankOf(sq));
    pos.material[o] += pieceValue[Pawn];
    pos.materialSignature[o] += 0x10000;
  }
  pos.pieceOn[t] = static_cast<uint8_t>(V);
  if (T == Pawn) unmovePawn(s, f, t, P, bit);
  if (V) {
    pos.colourOn[t] = static_cast<uint8_t>(o);
    pos.slotBitOn[t] = victim;
    pos.pieceSet[o] |= victim;
    if (V == Pawn) pos.pawnRanksOnFile[o][fileOf(t) + 1] |= static_cast<uint8_t>(1 << rankOf(t));
    pos.material[o] += pieceValue[V];
    signatureChange(o, V, +1);
  } else {
    pos.colourOn[t] = NoColour;
    pos.slotBitOn[t] = 0;
  }
}

// The fields every unmake restores from the record, after the board.
inline void restoreFromRecord(const PlyRecord* r) {
  pos.epSquare = r->oldEpSquare;
  pos.lastIrreversiblePly = r->oldIrreversible;
  pos.hashKey = (static_cast<uint64_t>(r->keyHi) << 32) | r->keyLo;
  pos.threatTrend = r->oldThreatTrend;
  --pos.plyCount;
  --pos.plyTop;
  pos.lastTo = static_cast<uint32_t>(moveTo(pos.plyTop->move));
}

}  // namespace

// The upper half of the key after m: the half that picks the position's
// transposition-table bucket and evaluation-cache entry. The en-passant and
// castling-right keys live in the lower half, so only the men moved,
// taken and promoted count here.
uint32_t keyHighAfter(Move m) {
  const int s = pos.sideToMove, o = s ^ 1;
  const int f = moveFrom(m), t = moveTo(m);
  uint64_t key = pos.hashKey;
  if ((m & KindMask) == CastleKind) {
    const CastleSquares c = castleSquares(s, m);
    key ^= keyOf(King, s, c.kingFrom) ^ keyOf(King, s, c.kingTo) ^ keyOf(Rook, s, c.rookFrom) ^ keyOf(Rook, s, c.rookTo);
    return static_cast<uint32_t>(key >> 32);
  }
  const int T = pos.pieceOn[f], V = pos.pieceOn[t];
  const int P = isPromotion(m) ? promotionType[(m >> 12) & 7] : T;
  key ^= keyOf(T, s, f) ^ keyOf(P, s, t);
  if (V) key ^= keyOf(V, o, t);
  if ((m & KindMask) == EnPassantKind) key ^= keyOf(Pawn, o, s == White ? t - 8 : t + 8);
  return static_cast<uint32_t>(key >> 32);
}

// The castling part of make and unmake. On make the old move counts of the
// two destinations are kept in the record (byte 6 and the captured-slot word,
// which castling does not otherwise use) so that unmake restores them.
void castleMove(PlyRecord* r, bool make) {
  const int s = r->mover, o = s ^ 1;
  const CastleSquares c = castleSquares(s, r->move);
  const int kFrom = make ? c.kingFrom : c.kingTo, kTo = make ? c.kingTo : c.kingFrom;
  const int rFrom = make ? c.rookFrom : c.rookTo, rTo = make ? c.rookTo : c.rookFrom;
  const PieceSet rookBit = pos.slotBitOn[rFrom];
  dropThreat(s, rFrom);
  removeAttacks[King](s, kFrom);
  removeAttacks[Rook](s, rFrom);
  liftMan(kFrom, King);
  liftMan(rFrom, Rook);
  placeMan(kTo, King, s, 1);
  placeMan(rTo, Rook, s, rookBit);
  if (make) {
    r->oldMoveCount = pos.moveCount[c.kingTo];
    r->capturedSlot = pos.moveCount[c.rookTo];
    r->capturedType = None;
    pos.hashKey ^= keyOf(King, s, kFrom) ^ keyOf(King, s, kTo) ^ keyOf(Rook, s, rFrom) ^ keyOf(Rook, s, rTo);
    pos.moveCount[kTo] = 1;
    pos.moveCount[rTo] = 1;
  } else {
    pos.moveCount[c.kingTo] = r->oldMoveCount;
    pos.moveCount[c.rookTo] = static_cast<uint8_t>(r->capturedSlot);
    pos.moveCount[c.kingFrom] = 0;
    pos.moveCount[c.rookFrom] = 0;
  }
  addAttacks[King](s, kTo);
  addAttacks[Rook](s, rTo);
  markIfAttacked(s, rTo, rookBit);
  (void)o;
}

// Removes (make) or restores the pawn taken en passant by a pawn of the
// side that moved arriving on t.
void epCapture(PlyRecord* r, int t, bool make) {
  const int s = r->mover, o = s ^ 1;
  const int sq = s == White ? t - 8 : t + 8;
  const uint8_t fileBit = static_cast<uint8_t>(1 << rankOf(sq));
  if (make) {
    dropThreat(o, sq);
    removeAttacks[Pawn](o, sq);
    const PieceSet bit = pos.slotBitOn[sq];
    r->capturedSlot = static_cast<uint16_t>(bit);
    pos.pieceSet[o] ^= bit;
    pos.colourOn[sq] = NoColour;
    pos.occupied &= ~(uint64_t{1} << sq);
    pos.pieceOn[sq] = None;
    pos.slotBitOn[sq] = 0;
    unblockBoth(sq, 0);
    pos.pawnRanksOnFile[o][fileOf(sq) + 1] &= static_cast<uint8_t>(~fileBit);
    pos.material[o] -= pieceValue[Pawn];
    pos.materialSignature[o] -= 0x10000;
    pos.hashKey ^= keyOf(Pawn, o, sq);
  } else {
    const PieceSet bit = r->capturedSlot;
    pos.colourOn[sq] = static_cast<uint8_t>(o);
    pos.occupied |= uint64_t{1} << sq;
    pos.pieceOn[sq] = Pawn;
    pos.slotBitOn[sq] = bit;
    pos.pieceSet[o] |= bit;
    pos.pawnRanksOnFile[o][fileOf(sq) + 1] |= fileBit;
    pos.material[o] += pieceValue[Pawn];
    pos.materialSignature[o] += 0x10000;
    blockBoth(sq, 0);
    addAttacks[Pawn](o, sq);
  }
}

void relocateMan(int from, int to) {
  const int s = pos.colourOn[from], T = pos.pieceOn[from];
  const PieceSet bit = pos.slotBitOn[from];
  pos.dirtyPieces[0] = pos.dirtyPieces[1] = 0;
  dropThreat(s, from);
  removeAttacks[T](s, from);
  liftMan(from, T);
  placeMan(to, T, s, bit);
  if (T == Pawn) {
    pos.pawnsOnRank[s][rankOf(from)] &= ~bit;
    pos.pawnRanksOnFile[s][fileOf(from) + 1] &= static_cast<uint8_t>(~(1 << rankOf(from)));
    pos.pawnsOnRank[s][rankOf(to)] |= bit;
    pos.pawnRanksOnFile[s][fileOf(to) + 1] |= static_cast<uint8_t>(1 << rankOf(to));
  }
  pos.hashKey ^= keyOf(T, s, from) ^ keyOf(T, s, to);
  addAttacks[T](s, to);
  markIfAttacked(s, to, bit);
  pos.moveCount[to] = pos.moveCount[from];
  pos.moveCount[from] = 0;
  // The attack updates marked the men whose threat value may have changed.
  if (pos.dirtyPieces[0] | pos.dirtyPieces[1]) refreshThreats();
  startGameRecord();
}

void makeMove(Move m) {
  const int s = pos.sideToMove, o = s ^ 1;
  const int f = moveFrom(m), t = moveTo(m);
  ++nodeCount;
  ++pos.plyCount;
  PlyRecord* r = ++pos.plyTop;
  saveState(r);
  r->oldThreatTrend = static_cast<int8_t>(pos.threatTrend);
  pos.lastTo = static_cast<uint32_t>(t);
  r->oldEpSquare = static_cast<uint8_t>(pos.epSquare);
  r->mover = static_cast<uint8_t>(s);
  r->oldMoveCount = pos.moveCount[t];
  r->oldIrreversible = static_cast<uint16_t>(pos.lastIrreversiblePly);
  r->keyLo = static_cast<uint32_t>(pos.hashKey);
  r->keyHi = static_cast<uint32_t>(pos.hashKey >> 32);
  if (pos.epSquare) {
    pos.hashKey ^= squareKey[pos.epSquare];
    pos.epSquare = 0;
  }
  const int T = pos.pieceOn[f];
  if (pos.moveCount[f] == 0) loseRights(s, f, T);
  r->move = m;
  pos.dirtyPieces[0] = pos.dirtyPieces[1] = 0;
  pos.threatSumBefore[0] = pos.threatSum[0];
  pos.threatSumBefore[1] = pos.threatSum[1];

  if ((m & KindMask) == CastleKind) {
    castleMove(r, true);
    pos.lastMoveGain = 64;
  } else {
    const int V = pos.pieceOn[t];
    const int P = isPromotion(m) ? promotionType[(m >> 12) & 7] : T;
    const PieceSet bit = pos.slotBitOn[f];
    dropThreat(s, f);
    removeAttacks[T](s, f);
    r->capturedType = static_cast<uint8_t>(V);
    r->capturedSlot = static_cast<uint16_t>(pos.slotBitOn[t]);
    if (V) {
      if (V == Rook && pos.moveCount[t] == 0) loseRights(o, t, Rook);
      dropThreat(o, t);
      removeAttacks[V](o, t);
      recolourBoth(t, lineClass[V], lineClass[P]);
      pos.pieceSet[o] ^= pos.slotBitOn[t];
      pos.lastIrreversiblePly = pos.plyCount;
      if (V == Pawn) pos.pawnRanksOnFile[o][fileOf(t) + 1] &= static_cast<uint8_t>(~(1 << rankOf(t)));
      pos.lastMoveGain = pieceValue[V];
      pos.material[o] -= pieceValue[V];
      signatureChange(o, V, -1);
      pos.hashKey ^= keyOf(V, o, t);
    } else {
      pos.lastMoveGain = 0;
      blockBoth(t, lineClass[P]);
    }
    pos.colourOn[t] = static_cast<uint8_t>(s);
    pos.occupied |= uint64_t{1} << t;
    pos.pieceOn[t] = static_cast<uint8_t>(P);
    pos.slotBitOn[t] = bit;
    if ((m & KindMask) == EnPassantKind) {
      epCapture(r, t, true);
      pos.lastMoveGain = 128;
    }
    pos.pieceList[s][slotOf(bit)] = static_cast<uint8_t>(t);
    pos.colourOn[f] = NoColour;
    pos.occupied &= ~(uint64_t{1} << f);
    pos.pieceOn[f] = None;
    pos.slotBitOn[f] = 0;
    if (T == Pawn) {
      pos.lastIrreversiblePly = pos.plyCount;
      pos.pawnsOnRank[s][rankOf(f)] &= ~bit;
      pos.pawnRanksOnFile[s][fileOf(f) + 1] &= static_cast<uint8_t>(~(1 << rankOf(f)));
      if (P != Pawn) {
        pos.material[s] += promotionGain[P];
        pos.pawnSet[s] &= ~bit;
        typeSet(P)[s] |= bit;
        setSliderBits(s, P, bit, true);
        signatureChange(s, Pawn, -1);
        signatureChange(s, P, +1);
        if (P == Queen) pos.lastMoveGain += 1120;
      } else {
        pos.pawnsOnRank[s][rankOf(t)] |= bit;
        pos.pawnRanksOnFile[s][fileOf(t) + 1] |= static_cast<uint8_t>(1 << rankOf(t));
        if (t - f == 16 || f - t == 16) {
          const int ep = (f + t) / 2;
          if (pos.attackTable[o].sq[ep].directCounts & 0xC00) {
            pos.epSquare = static_cast<uint32_t>(ep);
            pos.hashKey ^= squareKey[ep];
          }
        }
      }
    }
    pos.hashKey ^= keyOf(T, s, f) ^ keyOf(P, s, t);
    unblockBoth(f, lineClass[T]);
    addAttacks[P](s, t);
    markIfAttacked(s, t, bit);
    // The mover's count stays behind on f, so unmake needs no inverse of
    // this saturating step.
    pos.moveCount[t] = static_cast<uint8_t>(pos.moveCount[f] + (pos.moveCount[f] < 255));
  }
  r->flags = pos.attackTable[s].sq[kingSquare(o)].directCounts ? 0x8000 : 0;
  if (pos.dirtyPieces[0] | pos.dirtyPieces[1]) refreshThreats();
  pos.sideToMove = static_cast<uint32_t>(o);
  AttackTable* swap = pos.attacksUs;
  pos.attacksUs = pos.attacksThem;
  pos.attacksThem = swap;
}

void unmakeMove() {
  const PlyRecord* r = pos.plyTop;
  if (r->move == NullMove) {
    unmakeNullMove();
    return;
  }
  const int s = r->mover;
  if ((r->move & KindMask) == CastleKind) uncastleBoard(r);
  else unmoveBoard(r);
  restoreFromRecord(r);
  pos.sideToMove = static_cast<uint32_t>(s);
  restoreState(r);
}

void unmakeMoveRetraced() {
  PlyRecord* r = pos.plyTop;
  const Move m = r->move;
  if (m == NullMove) {
    unmakeNullMove();
    return;
  }
  const int s = r->mover, o = s ^ 1;
  const int f = moveFrom(m), t = moveTo(m);
  AttackTable* swap = pos.attacksUs;
  pos.attacksUs = pos.attacksThem;
  pos.attacksThem = swap;
  pos.dirtyPieces[0] = pos.dirtyPieces[1] = 0;

  if ((m & KindMask) == CastleKind) {
    castleMove(r, false);
  } else {
    const int P = pos.pieceOn[t];
    const int T = isPromotion(m) ? static_cast<int>(Pawn) : P;
    const int V = r->capturedType;
    const PieceSet bit = pos.slotBitOn[t];
    pos.moveCount[t] = r->oldMoveCount;
    dropThreat(s, t);
    removeAttacks[P](s, t);
    blockBoth(f, lineClass[T]);
    pos.colourOn[f] = static_cast<uint8_t>(s);
    pos.occupied |= uint64_t{1} << f;
    pos.pieceOn[f] = static_cast<uint8_t>(T);
    pos.slotBitOn[f] = bit;
    const bool enPassant = (m & KindMask) == EnPassantKind;
    if (enPassant) epCapture(r, t, false);
    pos.pieceList[s][slotOf(bit)] = static_cast<uint8_t>(f);
    pos.pieceOn[t] = static_cast<uint8_t>(V);
    if (T == Pawn) unmovePawn(s, f, t, P, bit);
    const PieceSet victim = r->capturedSlot;
    if (V) {
      pos.colourOn[t] = static_cast<uint8_t>(o);
      pos.occupied |= uint64_t{1} << t;
      pos.slotBitOn[t] = victim;
      pos.pieceSet[o] |= victim;
      if (V == Pawn) pos.pawnRanksOnFile[o][fileOf(t) + 1] |= static_cast<uint8_t>(1 << rankOf(t));
      pos.material[o] += pieceValue[V];
      signatureChange(o, V, +1);
      recolourBoth(t, lineClass[P], lineClass[V]);
      addAttacks[V](o, t);
    } else {
      pos.colourOn[t] = NoColour;
      pos.occupied &= ~(uint64_t{1} << t);
      pos.slotBitOn[t] = 0;
      unblockBoth(t, lineClass[P]);
    }
    addAttacks[T](s, f);
    markIfAttacked(s, f, bit);
    // Make zeroed the victim's threat value. A victim on t is marked again
    // by the mover's attacks from f; the pawn taken en passant is not
    // attacked from f, so it is marked here.
    if (enPassant) {
      const int sq = s == White ? t - 8 : t + 8;
      if (pos.attackTable[s].sq[sq].directCounts) pos.dirtyPieces[o] |= victim;
    }
  }
  pos.epSquare = r->oldEpSquare;
  pos.lastIrreversiblePly = r->oldIrreversible;
  pos.hashKey = (static_cast<uint64_t>(r->keyHi) << 32) | r->keyLo;
  pos.threatTrend = r->oldThreatTrend;
  --pos.plyCount;
  --pos.plyTop;
  pos.lastTo = static_cast<uint32_t>(moveTo(pos.plyTop->move));
  if (pos.dirtyPieces[0] | pos.dirtyPieces[1]) refreshThreats();
  pos.sideToMove = static_cast<uint32_t>(s);
  settleTables();
}

void makeNullMove() {
  ++nodeCount;
  ++pos.plyCount;
  PlyRecord* r = ++pos.plyTop;
  pos.lastTo = 0;
  r->oldThreatTrend = static_cast<int8_t>(pos.threatTrend);
  r->oldIrreversible = static_cast<uint16_t>(pos.lastIrreversiblePly);
  r->move = NullMove;
  r->capturedType = None;
  r->capturedSlot = 0;
  r->oldEpSquare = static_cast<uint8_t>(pos.epSquare);
  r->mover = static_cast<uint8_t>(pos.sideToMove);
  r->keyLo = static_cast<uint32_t>(pos.hashKey);
  r->keyHi = static_cast<uint32_t>(pos.hashKey >> 32);
  r->gain = 0;
  r->flags = 0;
  if (pos.epSquare) {
    pos.hashKey ^= squareKey[pos.epSquare];
    pos.epSquare = 0;
  }
  pos.threatTrend = 0;
  pos.lastMoveGain = 0;
  AttackTable* swap = pos.attacksUs;
  pos.attacksUs = pos.attacksThem;
  pos.attacksThem = swap;
  pos.sideToMove ^= 1;
}

void unmakeNullMove() {
  const PlyRecord* r = pos.plyTop;
  AttackTable* swap = pos.attacksUs;
  pos.attacksUs = pos.attacksThem;
  pos.attacksThem = swap;
  pos.epSquare = r->oldEpSquare;
  pos.threatTrend = r->oldThreatTrend;
  pos.lastIrreversiblePly = r->oldIrreversible;
  pos.hashKey = (pos.hashKey & 0xFFFFFFFF00000000ull) | r->keyLo;
  --pos.plyCount;
  --pos.plyTop;
  pos.sideToMove ^= 1;
  pos.lastTo = static_cast<uint32_t>(moveTo(pos.plyTop->move));
}

// ---------------------------------------------------------------------------
// Keys and repetitions.

uint64_t computeHashKey() {
  uint64_t key = 0;
  for (int q = 0; q < 64; ++q)
    if (pos.colourOn[q] != NoColour) key ^= keyOf(pos.pieceOn[q], pos.colourOn[q], q);
  if (pos.epSquare) key ^= squareKey[pos.epSquare];
  for (int side = 0; side < 2; ++side) {
    if (!rightPresent(side, pos.castleRookShort[side])) key ^= squareKey[shortCorner(side)];
    if (!rightPresent(side, pos.castleRookLong[side])) key ^= squareKey[longCorner(side)];
  }
  return key;
}

namespace {

// Key of the position at ply p (p < plyCount): from the ply stack for plies
// of the current line, from the game record for older ones. False when the
// game record does not reach that ply.
inline bool keyAtPly(int p, uint64_t* key) {
  const int base = static_cast<int>(pos.plyCount) - static_cast<int>(pos.plyTop - pos.plyStack);
  if (p >= base) {
    const PlyRecord& r = pos.plyStack[p - base + 1];
    *key = (static_cast<uint64_t>(r.keyHi) << 32) | r.keyLo;
    return true;
  }
  const int index = p + 1;
  if (index > gameTop - gameHistory || index <= gameHistoryFloor || index < 0) return false;
  *key = (static_cast<uint64_t>(gameHistory[index].keyHi) << 32) | gameHistory[index].keyLo;
  return true;
}

}  // namespace

bool isRepetition() {
  const int oldest = static_cast<int>(pos.lastIrreversiblePly);
  uint64_t key;
  for (int p = static_cast<int>(pos.plyCount) - 4; p >= oldest; p -= 2) {
    if (!keyAtPly(p, &key)) return false;
    if (key == pos.hashKey) return true;
  }
  return false;
}

int countRepetitions() {
  const int oldest = static_cast<int>(pos.lastIrreversiblePly);
  int count = 0;
  uint64_t key;
  for (int p = static_cast<int>(pos.plyCount) - 4; p >= oldest; p -= 2) {
    if (!keyAtPly(p, &key)) break;
    if (key == pos.hashKey) ++count;
  }
  return count;
}
