// Pseudo-legal move generation on the attack tables, validation of moves
// from outside, and the pin, check and stalemate tests. The generators only
// write lists; the search orders them afterwards.
#pragma once

#include "board/types.h"

// Steps a pawn of the side on each rank needs to promote.
constexpr uint8_t promotionDistance[2][8] = {{0, 5, 5, 4, 3, 2, 1, 0}, {0, 1, 2, 3, 4, 5, 5, 0}};
// Distance of each rank from the nearer of rank 1 and rank 8.
constexpr uint8_t edgeDistance[8] = {0, 1, 2, 3, 3, 2, 1, 0};
// Rank index from which a pawn of the side promotes, and its forward step.
constexpr int seventhRank[2] = {6, 1};
constexpr int pawnStep[2] = {8, -8};

// Ordering keys the generators write.
constexpr int RecaptureBonus = 100;         // victim stands on lastTo
constexpr int PromotingPawnVictimBonus = 256;  // capture generator: victim pawn on its seventh rank
constexpr int EnPassantKey = 128;
constexpr int QueenPromotionKey = 1056;     // plus the victim's value for a promotion-capture
constexpr int CaptureGenPromotionKey = 1120;
constexpr int SeventhRankPushKey = 1056;    // capture generator, mode 6
constexpr int KnightPromotionKey = -480;
constexpr int RookPromotionKey = -608;
constexpr int BishopPromotionKey = -832;

// Each generator writes from list (normally moveListStart[ply]); when ply is
// 0..MaxPly-1 it sets moveListStart[ply + 1] to the end of what it wrote.
int generateAll(ScoredMove* list, int side, int ply, int mode);
int generateCaptures(int side, int ply, int mode, ScoredMove* list);
int generateEvasions(uint32_t* flagsOut, int side, int ply, int mode, ScoredMove* list);
ScoredMove* generateQuietChecks(int side, int enemyKingSquare, ScoredMove* list);
ScoredMove* addPromotions(ScoredMove* list, int from, int to, int mode);

// Evasion flags beside the king-move count.
constexpr uint32_t EvasionDoubleCheck = 0x2000;
constexpr uint32_t EvasionDiscovered = 0x4000;
constexpr uint32_t EvasionKingMoveMask = 0x00FF;

bool completeMove(int side, Move* m);
bool isPinned(int sq, int attackerSide);
int givesCheck(Move m, int side);
bool noLegalMove(int side);
uint8_t sanDisambiguation(Move m);

// Castling tests: the king's path, the rook and the attacks on the squares.
bool canCastleStandard(int rookSq, int crossSq, int kingTo, int side, int kingFrom);
bool canCastleShort960(int side, int kingFrom);
bool canCastleLong960(int side, int kingFrom);

// All legal moves of the side to move (generation filtered by make and the
// own-king test); returns the count. For the root, tools and tests.
int generateLegalMoves(Move* out);

// True when the side that just moved left its own king attacked.
inline bool moverLeftKingInCheck() {
  return pos.attacksUs->sq[kingSquare(pos.sideToMove ^ 1)].directCounts != 0;
}
