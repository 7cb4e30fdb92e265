// From-scratch construction of the derived position fields.
#include "board/build.h"

#include <cstring>

#include "board/attacks.h"
#include "board/geometry.h"
#include "board/history.h"
#include "board/makemove.h"

namespace {

// The standard start, used to tell which men have moved.
constexpr uint8_t startType[8] = {Rook, Knight, Bishop, Queen, King, Bishop, Knight, Rook};

bool onStartSquare(int q) {
  const int r = rankOf(q), type = pos.pieceOn[q], colour = pos.colourOn[q];
  if (r == 0 || r == 7) return colour == (r == 7 ? Black : White) && type == startType[fileOf(q)];
  if (r == 1 || r == 6) return colour == (r == 6 ? Black : White) && type == Pawn;
  return false;
}

int takeLowestFrom8(uint32_t used) {
  for (int k = 8; k < 16; ++k)
    if (!(used & (1u << k))) return k;
  for (int k = 1; k < 8; ++k)
    if (!(used & (1u << k))) return k;
  return -1;
}

int preferredSlot(int type, int q, uint32_t used) {
  auto freeOf = [used](int k) { return !(used & (1u << k)); };
  switch (type) {
    case King: return freeOf(0) ? 0 : takeLowestFrom8(used);
    case Queen: return freeOf(1) ? 1 : takeLowestFrom8(used);
    case Rook: return freeOf(2) ? 2 : freeOf(3) ? 3 : takeLowestFrom8(used);
    case Bishop: {
      const int k = squareShade[q] ? 5 : 4;
      return freeOf(k) ? k : takeLowestFrom8(used);
    }
    case Knight: return freeOf(6) ? 6 : freeOf(7) ? 7 : takeLowestFrom8(used);
    default:
      for (int k = 15; k >= 1; --k)
        if (freeOf(k)) return k;
      return -1;
  }
}

PieceSet* typeSetOf(int type) {
  switch (type) {
    case Pawn: return pos.pawnSet;
    case Knight: return pos.knightSet;
    case Bishop: return pos.bishopSet;
    case Rook: return pos.rookSet;
    case Queen: return pos.queenSet;
    default: return pos.emptySet;
  }
}

void clearDerived() {
  useTables(&boardTables[0]);
  std::memset(pos.pieceList, NoSquare, sizeof pos.pieceList);
  std::memset(pos.slotBitOn, 0, sizeof pos.slotBitOn);
  std::memset(pos.pieceThreat, 0, sizeof pos.tables->pieceThreat);
  std::memset(pos.pawnRanksOnFile, 0, sizeof pos.pawnRanksOnFile);
  std::memset(pos.pawnsOnRank, 0, sizeof pos.pawnsOnRank);
  for (int s = 0; s < 2; ++s) {
    pos.pieceSet[s] = pos.diagSliders[s] = pos.orthoSliders[s] = pos.sliders[s] = 0;
    pos.pawnSet[s] = pos.knightSet[s] = pos.bishopSet[s] = pos.rookSet[s] = pos.queenSet[s] = 0;
    pos.emptySet[s] = pos.evalSet[s] = 0;
    pos.threatSum[s] = pos.threatSumBefore[s] = 0;
    pos.material[s] = 0;
    pos.dirtyPieces[s] = 0;
  }
}

void pointSets() {
  for (int d = 0; d < 16; ++d)
    pos.setForDirection[d] = d < 4 ? pos.orthoSliders : d < 8 ? pos.diagSliders : pos.knightSet;
  pos.setForType[0] = pos.emptySet;
  for (int t = 1; t < 7; ++t) pos.setForType[t] = typeSetOf(t);
}

// Bit 1 of each byte of a word of colourOn: set exactly on an empty square,
// as the colours are 0, 1 and NoColour = 2.
constexpr uint64_t EachByte = 0x0101010101010101ull;
static_assert(NoColour == 2);

uint64_t emptyBytesOf(int word) {
  uint64_t colours;
  std::memcpy(&colours, pos.colourOn + 8 * word, 8);
  return (colours >> 1) & EachByte;
}

// The squares that hold a man, as a bit per square, eight squares at a
// time: the multiplication gathers the low bit of each byte into the top
// byte, square order kept. A board holds few men, and a test per square
// mispredicts.
uint64_t occupiedSquares() {
  uint64_t occupied = 0;
  for (int w = 0; w < 8; ++w) {
    const uint64_t men = emptyBytesOf(w) ^ EachByte;
    occupied |= ((men * 0x0102040810204080ull) >> 56) << (8 * w);
  }
  return occupied;
}

// Empty squares hold no piece type.
void clearEmptySquares() {
  for (int w = 0; w < 8; ++w) {
    uint64_t types;
    std::memcpy(&types, pos.pieceOn + 8 * w, 8);
    types &= ~(emptyBytesOf(w) * 0xFF);
    std::memcpy(pos.pieceOn + 8 * w, &types, 8);
  }
}

}  // namespace

void assignSlots() {
  uint32_t used[2] = {0, 0};
  for (uint64_t occupied = occupiedSquares(); occupied; occupied &= occupied - 1) {
    const int q = __builtin_ctzll(occupied);
    const int s = pos.colourOn[q];
    const int slot = preferredSlot(pos.pieceOn[q], q, used[s]);
    if (slot < 0) continue;  // a 17th man cannot be held; validation keeps it out
    used[s] |= 1u << slot;
    pos.pieceList[s][slot] = static_cast<uint8_t>(q);
    pos.slotBitOn[q] = 1u << slot;
  }
  for (int s = 0; s < 2; ++s) pos.pieceSet[s] = used[s];
}

uint32_t materialSignatureOf(int side) {
  int count[7] = {};
  uint32_t sig = 0;
  for (PieceSet set = pos.pieceSet[side]; set;) {
    const int slot = highestSlot(set);
    set ^= 1u << slot;
    const int type = pos.pieceOn[pos.pieceList[side][slot]];
    ++count[type];
    if (type != Pawn && type != King) sig += signatureOf[type] & 0xFFFF;
  }
  auto capped = [](int n, int most) { return static_cast<uint32_t>(n > most ? most : n); };
  sig += capped(count[Pawn], 15) << 16;
  sig += capped(count[Knight], 3) << 20;
  sig += capped(count[Bishop], 3) << 22;
  sig += capped(count[Rook], 3) << 24;
  sig += capped(count[Queen], 3) << 26;
  return sig;
}

void buildPosition(int sideToMove) {
  clearDerived();
  pos.epSquare = 0;
  pos.hashKey = 0;
  std::memset(pos.moveCount, 0, sizeof pos.moveCount);
  clearEmptySquares();
  pos.occupied = occupiedSquares();
  for (uint64_t occupied = pos.occupied; occupied; occupied &= occupied - 1) {
    const int q = __builtin_ctzll(occupied);
    pos.moveCount[q] = onStartSquare(q) ? 0 : 1;
    pos.hashKey ^= pieceKey[(pos.pieceOn[q] - 1) * 2 + pos.colourOn[q]][q];
  }
  assignSlots();
  pointSets();
  for (int s = 0; s < 2; ++s) {
    for (PieceSet set = pos.pieceSet[s]; set;) {
      const int slot = highestSlot(set);
      const PieceSet bit = 1u << slot;
      set ^= bit;
      const int q = pos.pieceList[s][slot];
      const int type = pos.pieceOn[q];
      typeSetOf(type)[s] |= bit;
      if (type == Bishop || type == Queen) pos.diagSliders[s] |= bit;
      if (type == Rook || type == Queen) pos.orthoSliders[s] |= bit;
      if (lineClass[type]) pos.sliders[s] |= bit;
      if (type == Pawn) {
        pos.pawnsOnRank[s][rankOf(q)] |= bit;
        pos.pawnRanksOnFile[s][fileOf(q) + 1] |= static_cast<uint8_t>(1 << rankOf(q));
      }
      pos.material[s] += type == King ? 0 : pieceValue[type];
    }
    pos.materialSignature[s] = materialSignatureOf(s);
  }
  buildAttackTable(White, &pos.attackTable[White]);
  buildAttackTable(Black, &pos.attackTable[Black]);
  pos.sideToMove = static_cast<uint32_t>(sideToMove);
  pos.attacksUs = &pos.attackTable[sideToMove];
  pos.attacksThem = &pos.attackTable[sideToMove ^ 1];
  pos.dirtyPieces[0] = pos.dirtyPieces[1] = 0xFFFF;
  refreshThreats();
  pos.threatBalance = pos.threatTrend = 0;
  pos.lastMoveGain = 0;
  pos.lastTo = 0;
  startGameRecord();
}

void setHalfmoveClock(int plies) {
  if (plies < 0) plies = 0;
  if (plies > 150) plies = 150;
  const int setUpIndex = 1 + plies;
  const GameRecord setUp = gameHistory[1];
  std::memset(gameHistory, 0, sizeof(GameRecord) * (setUpIndex + 1));
  gameHistory[setUpIndex] = setUp;
  gameTop = &gameHistory[setUpIndex];
  gameHistoryFloor = setUpIndex;
  pos.plyCount = static_cast<uint32_t>(setUpIndex);
  pos.lastIrreversiblePly = 1;
  rootPly = pos.plyCount;
}

void setSideToMove(int side) {
  pos.sideToMove = static_cast<uint32_t>(side);
  pos.attacksUs = &pos.attackTable[side];
  pos.attacksThem = &pos.attackTable[side ^ 1];
  const bool check = pos.attackTable[side ^ 1].sq[kingSquare(side)].directCounts != 0;
  pos.plyStack[0].flags = check ? 0x8000 : 0;
  gameHistory[1].flags = check ? 0x8000 : 0;
}
