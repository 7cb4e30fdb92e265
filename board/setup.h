// Setting up a position: start position, FEN, and reading move text.
#pragma once

#include "board/types.h"

// Game-level values written by set-up.
extern uint8_t gameSideToMove;
extern uint32_t gameMoveNumber;       // half-moves before the set-up position
extern uint8_t gameStartedFromSetUp;  // 1 after a FEN or Chess960 set-up
extern char setUpFen[128];            // FEN text of the last FEN set-up

void newGame();
// Parses, validates and sets up; on rejection the previous position stays.
// Returns non-zero when the FEN was accepted.
uint32_t parseFen(const char* text);
// Why parseFen refused its last text ("rank 3 has more than 8 squares");
// null after an accepted one.
extern const char* fenRejection;
// mode 2/3: load the start position first; 0/1: side to move for a board
// already written into pieceOn/colourOn. False for an illegal position.
// halfmoveClock: plies since the last capture or pawn move (FEN field 5).
bool setUpPosition(int mode, uint32_t castleWord, int halfmoveClock = 0);
// Coordinates (e2e4, e7e8q), SAN (Nf3, exd5, e8=Q) or O-O / O-O-O, read
// for the side to move. 0 when not a move; completeMove adds the kind.
Move parseMoveText(const char* text);
