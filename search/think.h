// The search driver: root preparation, iterative deepening, root search.
#pragma once

#include <cstdint>
#include "board/types.h"

constexpr int MaxRootMoves = 256;   // above the most legal moves of any position
constexpr int RootLineSize = 96;

constexpr uint32_t RootDecided = 0x80;
constexpr uint32_t RootExactScore = 0x20;
constexpr uint32_t RootFullStrength = 0x10;
constexpr uint32_t RootBookMove = 0x1000;

struct RootMove {
  Move* line;        // [1] = the root move, then its expected continuation, 0-terminated
  uint32_t nodes;
  int16_t depth;
  int16_t score;
  uint32_t flags;
};

extern int32_t searchState;         // 0 idle, 4 searching, 6 pondering, 7 calibration
extern uint8_t stopReason;          // 0 go on; 64 stop request, 13 time, ...
extern RootMove rootMoves[MaxRootMoves];
extern int32_t rootMoveCount, rootIndex;
extern int32_t iterationDepth, selDepth;
// Depth 1 of this search is complete: only from then on may time, a node
// count or a command stop it, so that every move played was searched.
extern bool firstIterationDone;
extern int32_t aspirationAlpha, aspirationBeta;
extern int32_t rootBoundState;
extern uint8_t rootFailLow;
extern uint32_t searchOutcome;
extern uint8_t rootSide;
extern int32_t drawScoreFor[2];
extern int32_t lastBookPly;
extern uint8_t easyMove, stableIterations;
extern int32_t easySecondScore;
extern uint32_t tbHits;
extern uint32_t randomState;        // the engine's random generator

// Allocates the root line buffers once at start-up; false on failure.
bool initSearchMemory();
int think(int side, int state, int movesToGo, int timeLeft, int increment);
uint32_t nextRandom();
// Short bounded search of the current (start) position in state 7 that
// measures the node rate and sets the UCI_Elo bounds; prints nothing.
void runCalibration();

extern int32_t lastSearchScore;     // root score of the last search
extern Move lastBestMove;           // the engine's last best move (not while pondering)
