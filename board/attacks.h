// Incremental attack tables of both sides, the dirty-man marks and the
// exchange estimate that turns attacker/defender counts into a loss.
#pragma once

#include "board/geometry.h"
#include "board/types.h"

// Every update takes the side whose table changes; the man or line
// concerned belongs to that side, so pawn attacks use its capture directions.
// The board already shows the state the update describes (see each one).

// Adds / removes every attack of the man of `side` standing on sq, with
// the dirty marks. Index by PieceType; index 0 behaves as a pawn.
using AttackUpdate = void (*)(int side, int sq);
extern const AttackUpdate addAttacks[7];
extern const AttackUpdate removeAttacks[7];

// The three ray updates read only the squares beyond sq, never sq itself.
// sq has just received a man of line class cls.
void blockSquare(int side, int sq, int cls);
// The man of line class cls has just left sq (sq is empty on the board).
void unblockSquare(int side, int sq, int cls);
// The man on sq was replaced by one of another line class.
void recolourSquare(int side, int sq, int oldCls, int newCls);

// The gate of the three ray updates: a bishop, rook or queen line of the
// side passes sq, directly or as an x-ray.
inline bool lineThrough(int side, int sq) {
  const SquareAttacks& a = pos.attackTable[side].sq[sq];
  return (a.directCounts & 0xFF) > 1 || a.xrayCount2 > 1;
}

// Rebuild one side's table from the board.
void buildAttackTable(int side, AttackTable* table);

// Threat value of the man on sq from the two tables (0 for a king).
int threatOf(int sq);

// Recompute pieceThreat, threatSum and evalSet for the dirty men, then
// clear the dirty sets.
void refreshThreats();

// attackClass[count word] (count word = directCounts + xrayCount2, at most 0xBFF).
extern const ConstTable<uint8_t, 3072> attackClass;
// exchangeLoss[attacker class][defender class]: expected loss in units of 8.
extern const ConstTable<uint8_t[128], 128> exchangeLoss;

// Clamps a count word so it can always index attackClass.
inline int attackClassOf(unsigned countWord) {
  return attackClass[countWord > 0xBFF ? 0xBFF : countWord];
}

// True when both tables equal a fresh build of the board (validator for tests).
bool attackTablesAgree();
