// The option words as the board sees them. The engine's option layer owns
// their meaning; the board only reads and writes the Chess960 bit.
#pragma once

#include <cstdint>

extern uint32_t optionFlags;  // the user's option word
extern uint32_t searchFlags;  // the copy each search takes at its start

constexpr uint32_t Chess960Flag = 0x4000000;  // bit 26, set by position set-up
