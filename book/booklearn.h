// Book learning: after a game, the learned weights and win/loss marks of
// the engine's own book moves are rewritten in the book file, so that lines
// that went well are played more often.
#pragma once

#include <cstdint>
#include "board/types.h"

// Learn code: bits 0..7 = 0x40 + weight correction, 0x8000 the engine won,
// 0x6000 the engine lost (lowered one step per loss mark passed on).
constexpr uint32_t LearnNothing = 0x40;
constexpr uint32_t LearnWin = 0x8000;
constexpr uint32_t LearnLoss = 0x6000;

// Adjusts the book after a game with result code 0 "*", 1 draw, 2 white
// won, 3 black won, played by the engine as engineSide. Does nothing when
// the engine played both sides, under a strength limit, without Book
// Learning, outside the Tournament style, at low Selectivity or Forward
// Pruning, or with a read-only book.
void learnFromGame(int result, int engineSide);
// Applies the code to the record of move in the position of key/keyHigh
// (the low key word with the side bit, and the high key word) and returns
// the code for the engine's previous book move.
uint32_t learnBookMove(uint32_t key, uint32_t keyHigh, uint32_t learnCode, Move move);
