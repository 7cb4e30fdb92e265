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
