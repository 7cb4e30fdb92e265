// Text of every search report: scores, moves, info lines and bestmove.
#pragma once

#include <cstddef>
#include <cstdint>
#include "board/types.h"

// Move text style bits.
constexpr unsigned StyleFile = 0x8;       // algebraic: add the from-file
constexpr unsigned StyleRank = 0x10;      // algebraic: add the from-rank
constexpr unsigned StyleUci = 0x1000;     // UCI coordinates
constexpr unsigned StyleNoPad = 0x2000;   // no padding
constexpr unsigned StyleSan = 0x4000;     // algebraic (SAN)
constexpr unsigned StyleOneSpace = 0x8000;// end with exactly one space
constexpr unsigned StyleUciOut = 0x9000;  // what every UCI line uses

// Texts live in static buffers that the next call of the same function
// overwrites.
const char* ScoreText(int score, int boundType);
const char* MoveText(unsigned move, unsigned style);
void PrintDepthLine(int depth);
void PrintPvLine(int multiPv, const Move* line, int boundType, int score, int depth, int selDepth);
void PrintCurrMove(int number, Move move);
void PrintNodesLine();
void PrintBestMove(Move best, Move ponder);
// hashfull in permille.
unsigned long HashFull();
// Writes complete lines to standard output in one piece and flushes them.
void WriteOutput(const char* text, size_t length);
