// User options: storage, defaults, the "uci" option list and "setoption".
#pragma once

#include <cstdint>
#include "book/bookfile.h"

// optionFlags bits (the word itself lives in board/position.h).
constexpr uint32_t OptReportLevel = 0x3;
constexpr uint32_t OptVerboseUci = 1u << 2;
constexpr uint32_t OptGuiTimeLag = 1u << 3;
constexpr uint32_t OptOptimistic = 1u << 4;
constexpr uint32_t OptBookStyleShift = 5;     // 3 bits
constexpr uint32_t OptPlayingStyleShift = 8;  // 2 bits
constexpr uint32_t OptRetainHash = 1u << 10;
constexpr uint32_t OptInternal11 = 1u << 11;
constexpr uint32_t OptSelectivityShift = 12;  // 3 bits
constexpr uint32_t OptSmartSearch = 1u << 15;
constexpr uint32_t OptOwnBook = OwnBookFlag;
constexpr uint32_t OptOneShot17 = 1u << 17;
constexpr uint32_t OptFutility = 1u << 18;
constexpr uint32_t OptLimitStrength = 1u << 20;
constexpr uint32_t OptPonder = 1u << 21;
constexpr uint32_t OptSharpenPv = 1u << 22;
constexpr uint32_t OptExtendSearch = 1u << 24;
constexpr uint32_t OptSwindle = 1u << 25;
constexpr uint32_t OptChess960 = 1u << 26;
constexpr uint32_t OptUseTablebases = 1u << 27;
constexpr uint32_t OptBookLearning = 1u << 28;
constexpr uint32_t OptPositionLearning = 1u << 29;
constexpr uint32_t OptCombinations = 1u << 30;
constexpr uint32_t OptHyperModern = 1u << 31;

extern uint32_t saveFlags;
constexpr uint32_t SaveAutoPgn = 1u << 24;  // saveFlags: AutoSave PGN
extern uint32_t hashSizeKb;
extern int32_t tbProbeDepth;
extern int32_t drawScore;           // internal units, negated option value
extern int32_t forwardPruning16;
extern int32_t threatDepthNeg;
extern uint8_t multiPvCount;
extern uint32_t tbCacheBytes;
extern char tbPath[160];
extern int32_t eloTarget, eloMin, eloMax;
extern uint32_t nodeRateLimit;      // nodes per second, 0 = unlimited

extern uint32_t defaultOptionWord;  // the edition's default optionFlags
extern bool sharpenPvOption;        // whether this edition has "Sharpen PV"

// Defaults of this program's edition.
void SetDefaultOptions();
// Defaults for a given default word and option list (both editions share
// the code; tests use it to check the other edition).
void SetDefaultOptionsFor(uint32_t word, bool hasSharpenPv);
// Lines 3.. of the "uci" reply: every option in its fixed order.
void PrintOptions();
// The "Book Status" and "Book Positions" option lines.
void PrintBookStatus();
int HandleSetOption(char* cursor);  // cursor just after "setoption name "
// Names of the Book Style and Playing Style values in an option word.
const char* BookStyleName(uint32_t flags);
const char* PlayingStyleName(uint32_t flags);
// Strength conversions over the table of Elo values for 2^k nodes/second.
uint32_t EloForRate(uint32_t rate);
uint32_t RateForElo(uint32_t elo);
// Sets eloMin/eloMax/eloTarget from the measured node rate.
void SetEloBounds(uint32_t measuredRate);
