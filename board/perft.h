// Counting the leaves of the legal move tree, for testing the board against
// published counts and other programs.
#pragma once

#include <cstdint>

#include "board/types.h"

// Leaves of the legal move tree of the given depth below the current
// position (1 for depth 0). Every move is made and unmade, leaves included.
uint64_t perft(int depth);

// The legal moves of the side to move with the leaf count below each, in
// generation order; returns the number of moves.
int perftDivide(int depth, Move* moves, uint64_t* counts);

// UCI coordinates of a move ("e2e4", "e7e8q"; castling as the board holds
// it: king to its target, or king takes rook in Chess960). out: 6 bytes.
void moveCoordinates(Move m, char* out);
