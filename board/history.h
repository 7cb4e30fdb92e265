// The game record: one GameRecord per half-move of the game the GUI plays,
// plus a separate list of every move of the game for the game file.
#pragma once

#include "board/types.h"

constexpr int GameHistorySize = 400;
extern GameRecord gameHistory[GameHistorySize];
extern GameRecord* gameTop;

// Index of the set-up record: records above it hold the game's moves and
// can be taken back.
extern int gameHistoryFloor;

// Starts the record of a freshly set-up position: plyCount and
// lastIrreversiblePly 1, plyTop = plyStack[0] (cleared), gameTop =
// gameHistory[1] with the current key and in-check flag, gameMoves empty.
void startGameRecord();

// Every move of the game since its set-up, never compacted.
constexpr int GameMoveListSize = 2048;
extern Move gameMoves[GameMoveListSize];
extern int gameMoveTotal;
// Moves played since the set-up, also past the end of gameMoves.
extern int gameMovesPlayed;
// Copies of game records that compaction dropped, by game move index
// (gameLog[k] is the record of move k), so that the game file can still
// write their search data.
extern GameRecord gameLog[GameMoveListSize];
// Changes whenever the game record does (a move played or taken back, a
// new set-up): tells whether a game has changed since it was last saved.
extern uint32_t gameRecordSerial;
// Changes at every set-up (startGameRecord) and only there: which game the
// record holds, so that a game is saved once however it goes on afterwards.
extern uint32_t gameRecordNumber;
// The record of game move k (0 = first move after the set-up): the live
// record while it is still in gameHistory, else its copy in gameLog; null
// when neither holds it.
GameRecord* gameMoveRecord(int k);

// Makes a move on the game position and records it, with the algebraic
// style bits of the move in styleDepth. Returns false, with
// the position unchanged, when the move leaves the mover's king in check.
bool playGameMove(Move m);
// Takes the last game move back. False, with nothing changed, when no
// recorded move is left (at the set-up, or where compaction dropped the
// older records) or when a search line is still on the ply stack.
bool takeBackGameMove();
// Frees room in gameHistory by dropping records repetition can never need.
// Called by playGameMove once plyCount reaches CompactionPly; afterwards
// plyCount is at most CompactionKeep. A halfmove clock beyond what is kept
// is held at CompactionKeep - 1 plies, far past the fifty-move limit.
constexpr int CompactionPly = GameHistorySize - 2;
constexpr int CompactionKeep = 300;
void compactGameHistory();
