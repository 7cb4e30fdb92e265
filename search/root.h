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
// Before the final report. When root move 0 is another move than the last
// confirmed one (a fail high whose re-search was cut short), it stays the
// best move and its cut line is completed from the table. When it is the
// confirmed move with a bound or a cut line (an unresolved fail low), its
// confirmed line, score and depth are restored. True when either was done.
bool settleRootResult();
