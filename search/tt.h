// Transposition table (two halves, one per side to move) and its sizing.
#pragma once

#include <cstdint>

extern uint64_t ttStamped;          // entries stamped in the current generation
extern uint64_t ttTableKb;          // size in KB of the part hashfull measures

// Splits hashKb between the evaluation cache and the two table halves;
// retries with smaller sizes on failure. False when nothing could be had.
bool ttAllocate(uint32_t hashKb);
void ttClear();
