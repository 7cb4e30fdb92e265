// Search limits from "go", time allotment, the clock check run during the
// search, iteration control and pondering.
#pragma once

#include <cstdint>
#include "board/types.h"

extern int32_t searchMode;          // 3 fixed limits, 4 clock
extern int32_t moveTimeLimit;       // ms; 2000000000 when none
extern int32_t maxDepth;
extern uint64_t nodeLimit;          // "go nodes"; 0 when none
extern Move searchMovesList[256];
extern int32_t searchMovesCount;
extern int32_t sideMovesToGo[2], sideTimeLeft[2], sideIncrement;
extern int32_t targetTime, maxTime, softTime, extraTime, hardLimit, timeOffset;
extern uint32_t startTick;
extern uint32_t measuredNps, nominalNps;
extern int32_t pollCountdown;
extern int32_t branchFactor, bestMoveChanges, previousScore, scoreChange;
extern int32_t lastRateSample, lastNodesLine;  // elapsed ms of the last rate sample / nodes line
// "go infinite": the search runs in the pondering state (6), so that it
// never ends by itself before "stop"; "ponderhit" does not apply to it.
extern bool infiniteSearch;

constexpr int32_t NoTimeLimit = 2000000000;   // moveTimeLimit when "go" gives none
constexpr int32_t DefaultMaxDepth = 62;       // deepest iteration the search supports
constexpr uint8_t StopTime = 13;              // stopReason: hard time limit reached
constexpr uint8_t StopNodeLimit = 12;         // stopReason: "go nodes" count reached
constexpr uint8_t StopNoIteration = 14;       // stopReason: no further iteration
constexpr uint8_t StopDepthLimit = 11;        // stopReason: depth limit
constexpr uint8_t StopForcedMove = 10;        // stopReason: only one move is not lost

// One clock period: marker -2 ends the table, 0 is a final (sudden-death)
// period, -1 repeats every `moves` moves, a positive n is played n times.
struct ClockLevel {
  int32_t time;
  int32_t increment;
  uint16_t moves;
  int16_t marker;
};
extern ClockLevel levelTable[4];

void HandleGo(char* cursor);
int StartSearch(int side, int state);
void SetSearchMode(bool reset, int mode);
void SetClockLevel(int32_t timeLeft, int32_t increment, int32_t movesToGo);
void ComputeClocks();
void AllocateTime(int32_t timeLeft, int32_t increment, int32_t movesToGo);
void SetHardLimit(bool reset);
int32_t TimeCheck(bool reset);      // elapsed ms; may set stopReason
bool InputAvailable();
int NextIteration();                // 3 go on, 5 stop
void ApplyExtraTime();              // the extra-time rule after a root change
void CheckForcedMove();
void OnPonderHit();
int32_t ElapsedMs();
