// The game record: one GameRecord per half-move of the game the GUI plays,
// plus a separate list of every move of the game for the game file.
#pragma once

#include "board/types.h"

constexpr int GameHistorySize = 400;
extern GameRecord gameHistory[GameHistorySize];
extern GameRecord* gameTop;

// Every move of the game since its set-up, never compacted.
constexpr int GameMoveListSize = 2048;
extern Move gameMoves[GameMoveListSize];
extern int gameMoveTotal;

// Makes a move on the game position and records it. Returns false, with
// the position unchanged, when the move leaves the mover's king in check.
bool playGameMove(Move m);
// Takes the last game move back.
void takeBackGameMove();
// Frees room in gameHistory by dropping records repetition can never need.
void compactGameHistory();
