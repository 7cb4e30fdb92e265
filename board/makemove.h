// Making and unmaking moves on the one board, the null move, hash keys,
// repetition and fifty-move detection.
#pragma once

#include "board/types.h"

// pieceKey[(type - 1) * 2 + colour][square] and the en-passant/castling keys.
extern const uint64_t pieceKey[12][64];
extern const uint32_t squareKey[64];

// plyCount at the root of the current search. The root is plyStack[0], which
// mirrors the game record of the game position (see history.h); repetition
// detection reads the plies from there on from plyStack and older ones from
// gameHistory, so a search must start with plyTop = plyStack[0].
extern uint32_t rootPly;
// The search scores a position as drawn once the halfmove clock exceeds this.
extern uint32_t fiftyMoveLimit;

void makeMove(Move m);
// The upper half of the hash key the position will have after m.
uint32_t keyHighAfter(Move m);
// Takes back the move at plyTop, which the last makeMove at this ply made:
// the attack tables and threat values come back from what that make saved.
void unmakeMove();
// Takes back the move at plyTop by retracing every update in reverse; for a
// record rebuilt from the game history, which no makeMove at this ply saved.
void unmakeMoveRetraced();
void makeNullMove();
// Takes back the null move at plyTop (unmakeMove also does when it finds one).
void unmakeNullMove();

// Moves the man on `from` to the empty square `to` as a fresh set-up of the
// new board would have it (attack tables, sets, key, threat values, a new
// game record), without a move: no ply record, no side change, no
// en-passant right. The man keeps its slot and its move count. For callers
// that walk many boards differing in one man, as the table generator does.
void relocateMan(int from, int to);

// The castling part of make / unmake of the move recorded in r; the Chess960
// bit of searchFlags says whether the move names the rook's square.
void castleMove(PlyRecord* r, bool make);
// Removes (make) or restores the pawn taken en passant onto t.
void epCapture(PlyRecord* r, int t, bool make);

// Repetition of the current position among the earlier positions with the
// same side to move since the last irreversible move (one is enough).
bool isRepetition();
// How many earlier game positions since the last irreversible move have
// the current key.
int countRepetitions();
inline bool fiftyMoveDraw() { return pos.plyCount - pos.lastIrreversiblePly > fiftyMoveLimit; }

// Hash key computed from scratch (validator for tests and set-up).
uint64_t computeHashKey();
