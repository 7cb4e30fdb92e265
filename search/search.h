// The main search, quiescence and their shared helpers.
#pragma once

#include <cstdint>
#include "board/makemove.h"
#include "board/types.h"
#include "eval/eval.h"
#include "search/tt.h"

// Deepest ply a node may have: its children would need a ply record past
// the end of the stack, so it returns its static evaluation instead.
constexpr int DeepestPly = MaxPly - 1;

// Ply-record flag bits owned by the search.
constexpr uint32_t RecInCheck = 0x8000;
constexpr uint32_t RecPvNode = 0x10000;
constexpr uint32_t RecImportant = 0x20000;
constexpr uint32_t RecReduced = 0x80000;
constexpr uint32_t RecGainedThreat = 0x2000;
constexpr uint32_t RecPassedPush = 0x4000;
constexpr uint32_t RecAdvancedPawn = 0x1000;
constexpr uint32_t RecEvalNoReduce = 0x200000;

// nodeFlags bits.
constexpr uint32_t NodeNoChecksWhite = 1;
constexpr uint32_t NodeNoChecksBlack = 2;
constexpr uint32_t NodeAllMovesCount = 4;
constexpr uint32_t NodeAllMovesCount2 = 8;
constexpr uint32_t NodeNoNull = 0x400;
constexpr uint32_t NodeAllMoves = 0x2000;
constexpr uint32_t NodeChildMask = ~(0x2000u | 0x400u | 0x80u);

// Triangular principal variations: pvLine[ply] is 0-terminated.
extern Move pvLine[MaxPly + 1][MaxPly + 1];
// One bit per own turn in the search: the side was in check then.
extern uint32_t inCheckHistory[2];
extern int32_t rootMaterial0[2];   // material of each side at the search root

int search(int ply, int depth, int fraction, int alpha, int beta, uint32_t nodeFlags, int nodeType);
int quiescence(int ply, int qdepth, int alpha, int beta, uint32_t nodeFlags);
void moveHook(int mover, int toSquare, int alpha, int nodeType);
int promotionThreat(int side, int depth, int threshold);
int hangingPieceTest(int side, int margin);

// The node-countdown poll of the clock and the periodic reports.
void searchPoll();
// Static evaluation clamped inside the band below the mate range.
int staticScore(int side, int ply, int depth, int alpha, int beta);
// True when the opponent of `side` has a pawn on its 6th or 7th rank.
bool opponentPawnsAdvanced(int side);

// Starts loading what the node after m reads first, its bucket of the
// transposition table and its evaluation-cache entry, before m is made:
// the make's attack updates then run while the memory answers.
inline void prefetchChild(Move m) {
  const int side = static_cast<int>(pos.sideToMove) ^ 1;
  const uint32_t high = keyHighAfter(m);
  ttPrefetch(side, high);
  evalCachePrefetch(side, high);
}
