// Pseudo-legal move generation on the attack tables, validation of moves
// from outside, and the pin, check and stalemate tests. The generators only
// write lists; the search orders them afterwards.
#pragma once

#include "board/types.h"

int generateAll(ScoredMove* list, int side, int ply, int mode);
int generateCaptures(int side, int ply, int mode, ScoredMove* list);
int generateEvasions(uint32_t* flagsOut, int side, int ply, int mode, ScoredMove* list);
ScoredMove* generateQuietChecks(int side, int enemyKingSquare, ScoredMove* list);
ScoredMove* addPromotions(ScoredMove* list, int from, int to, int mode);

bool completeMove(int side, Move* m);
bool isPinned(int sq, int attackerSide);
int givesCheck(Move m, int side);
bool noLegalMove(int side);
uint8_t sanDisambiguation(Move m);

// All legal moves of the side to move (generation filtered by make and the
// own-king test); returns the count. For the root, tools and tests.
int generateLegalMoves(Move* out);
