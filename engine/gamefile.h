// The game autosave file: ending a game record and appending it.
#pragma once

#include <cstdint>

extern int32_t gameCounter;         // games finished in this run; the Round tag

// Ends the current game record; returns 1. Called by "quit", "ucinewgame"
// and a "position" command that starts another game.
int SaveFinishedGame();
