// Perft: the legal move tree walked with make and unmake at every node.
#include "board/perft.h"

#include "board/makemove.h"
#include "board/movegen.h"

namespace {

// Pseudo-legal moves of the side to move into the ply's part of the buffer.
int generateAt(int ply) {
  ScoredMove* list = moveBuffer + ply * MaxMovesPerPly;
  const int side = static_cast<int>(pos.sideToMove);
  if (isInCheck()) {
    uint32_t flags;
    return generateEvasions(&flags, side, -1, 0, list);
  }
  return generateAll(list, side, -1, 0);
}

uint64_t perftAt(int depth, int ply) {
  const int n = generateAt(ply);
  const ScoredMove* list = moveBuffer + ply * MaxMovesPerPly;
  uint64_t leaves = 0;
  for (int i = 0; i < n; ++i) {
    makeMove(list[i].move);
    if (!moverLeftKingInCheck()) leaves += depth <= 1 ? 1 : perftAt(depth - 1, ply + 1);
    unmakeMove();
  }
  return leaves;
}

// Deepest tree the move buffer and the ply stack can hold.
constexpr int MaxPerftDepth = MaxPly - 2;

}  // namespace

uint64_t perft(int depth) {
  if (depth <= 0) return 1;
  return perftAt(depth > MaxPerftDepth ? MaxPerftDepth : depth, 0);
}

int perftDivide(int depth, Move* moves, uint64_t* counts) {
  if (depth > MaxPerftDepth) depth = MaxPerftDepth;
  const int n = generateAt(0);
  const ScoredMove* list = moveBuffer;
  int count = 0;
  for (int i = 0; i < n; ++i) {
    makeMove(list[i].move);
    if (!moverLeftKingInCheck()) {
      moves[count] = list[i].move;
      counts[count++] = depth <= 1 ? 1 : perftAt(depth - 1, 1);
    }
    unmakeMove();
  }
  return count;
}

void moveCoordinates(Move m, char* out) {
  const int from = moveFrom(m), to = moveTo(m);
  out[0] = static_cast<char>('a' + fileOf(from));
  out[1] = static_cast<char>('1' + rankOf(from));
  out[2] = static_cast<char>('a' + fileOf(to));
  out[3] = static_cast<char>('1' + rankOf(to));
  int n = 4;
  if (isPromotion(m)) out[n++] = "  qn  rb"[(m >> 12) & 7];
  out[n] = '\0';
}
