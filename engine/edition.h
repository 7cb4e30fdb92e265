// What differs between the two editions of the engine. Each program is
// linked with its own definition of these constants.
#pragma once

#include <cstdint>

extern const char editionName[];         // display name for "id name"
extern const char editionGameFile[];     // autosave game file
extern const char editionLearnFile[];    // position-learning file
extern const char editionBookFile[];     // default opening book
extern const uint32_t editionOptionWord; // default option word
extern const bool editionHasSharpenPv;   // whether "Sharpen PV" exists
