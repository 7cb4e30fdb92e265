// The game autosave file: ending a game record and appending it in PGN.
#pragma once

#include <cstdint>
#include <cstdio>

extern int32_t gameCounter;         // games finished in this run; the Round tag

// Ends the current game: estimates the result from the engine's last
// search score and, with AutoSave PGN on and at least two moves played,
// appends the game to the game file. A game that has not changed since it
// was last saved is not written again. Returns 1. Called by "quit",
// "ucinewgame" and a "position" command that starts another game.
int SaveFinishedGame();
// Ends the program after a failure it cannot go on from (a broken table
// file, no memory): the text is appended to "debug.txt" and to the game
// file, the game is saved and the program exits with status 1. Nothing goes
// to standard output.
[[noreturn]] void FatalError(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Result codes: 0 "*", 1 "1/2-1/2", 2 "1-0", 3 "0-1".
// The result a score from white's point of view stands for.
int ResultForScore(int whiteScore);
// Writes the current game in PGN to f: tags, the settings comment, the
// moves with their thinking time, score and depth, and the result.
// engineSide is 0 (white) or 1 (black). Clears the search marks of the
// moves it writes.
void WritePgnGame(FILE* f, int engineSide, int result);
// The comment text after a move: thinking time in ms, and for a searched
// move its score from white's point of view and depth ("{12 0.50/9} ").
const char* MoveCommentText(uint32_t ms, bool searched, int whiteScore, int depth);
