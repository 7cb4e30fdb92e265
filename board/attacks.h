// Incremental attack tables of both sides, the dirty-man marks and the
// exchange estimate that turns attacker/defender counts into a loss.
#pragma once

#include "board/types.h"

// Rebuild one side's table from the board.
void buildAttackTable(int side, AttackTable* table);

// Recompute pieceThreat, threatSum and evalSet for the dirty men.
void refreshThreats();

// attackClass[count word] (count word = directCounts + xrayCount2, at most 0xBFF).
extern const uint8_t attackClass[3072];
// exchangeLoss[attacker class][defender class]: expected loss in units of 8.
extern const uint8_t exchangeLoss[128][128];

// Clamps a count word so it can always index attackClass.
inline int attackClassOf(unsigned countWord) {
  return attackClass[countWord > 0xBFF ? 0xBFF : countWord];
}

// True when both tables equal a fresh build of the board (validator for tests).
bool attackTablesAgree();
