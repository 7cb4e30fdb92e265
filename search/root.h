// Root-level functions of the search driver.
#pragma once

#include <cstdint>
#include "board/types.h"

extern int32_t rootListCount;  // moves generated at the root (legal or not)
extern bool rootPvPrinted;     // a principal-variation line went out in this search
extern Move rootPrintedMove;    // first move of the last line printed

// Book move chosen: 1 (it is then root move 0); else 0.
int prepareRoot(int side);
void buildRootMoves();
int rootSearch(int depth);
void sortRootMoves();
int promoteRootMove(int index);
// Prints the current line(s) of the root.
void printRootResult();
// The same in mid-iteration, at the depth the best move last completed.
void printRootProgress();
// Records root move 0 as the last confirmed result (after depth 1 is sorted).
void confirmRootResult();
// Before the final report: when root move 0 no longer holds the last
// confirmed result (an unconfirmed fail high), that result is restored as
// the best move with its line, score and depth. True when it was restored.
bool settleRootResult();
