// Building every derived field of the position from the board arrays: the
// part of set-up that does not read any text.
#pragma once

#include "board/types.h"

// Gives every man on the board its slot (king 0, queen 1, rooks 2/3, light
// and dark bishop 4/5, knights 6/7, pawns from 15 down; a man whose slots
// are taken gets the lowest free slot from 8 up), in square order a1..h8,
// and fills pieceList, slotBitOn and the piece sets.
void assignSlots();

// Rebuilds everything from pos.pieceOn / pos.colourOn: moveCount (1 for a
// man that differs from the start position on its square, else 0), slots,
// type, slider and rank sets, pawnRanksOnFile, material, materialSignature,
// both attack tables, the threat values, and the key of the men (no
// castling or en-passant part). Also starts a fresh game record: plyCount =
// lastIrreversiblePly = 1, plyTop = plyStack[0], gameTop = gameHistory[1]
// holding the placement key and the in-check flag, an empty gameMoves list.
// epSquare is 0. The caller has set castleRookLong/castleRookShort before
// and applies castling rights and the en-passant square afterwards (moveCount
// of king and rooks, their square keys); computeHashKey() then gives the
// final key.
void buildPosition(int sideToMove);

// Packed counts of the side's men as materialSignature holds them; each
// count field saturates at its maximum instead of carrying.
uint32_t materialSignatureOf(int side);

// Starts the game record with a halfmove clock of `plies` (capped at 150):
// plyCount becomes 1 + plies, the records in between hold no position.
void setHalfmoveClock(int plies);

// Gives the move to `side` in a position just built, before any move is
// made: both attack tables stay, the pointers and the in-check mark follow.
void setSideToMove(int side);
