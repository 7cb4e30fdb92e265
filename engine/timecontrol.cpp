// Clock periods, the time allotment of a move, the hard limit and the
// clock check that the search runs every few thousand nodes.
#include "engine/timecontrol.h"

#include <algorithm>
#include <cstdint>

#include "board/history.h"
#include "board/position.h"
#include "engine/options.h"
#include "engine/report.h"
#include "engine/uci.h"
#include "platform/platform.h"
#include "search/think.h"

// The search's pruning threshold, defined with the move ordering; the
// allotment sets its start value for every search.
extern int32_t pruneRatioThreshold;

int32_t searchMode = 3;
int32_t moveTimeLimit = NoTimeLimit;
int32_t maxDepth = DefaultMaxDepth;
uint64_t nodeLimit = 0;
Move searchMovesList[256];
int32_t searchMovesCount = 0;
int32_t sideMovesToGo[2] = {30, 30}, sideTimeLeft[2] = {0, 0}, sideIncrement = 0;
int32_t targetTime = 0, maxTime = 0, softTime = NoTimeLimit, extraTime = 0, hardLimit = NoTimeLimit,
        timeOffset = 0;
uint32_t startTick = 0;
uint32_t measuredNps = 100000, nominalNps = 100000;
int32_t pollCountdown = 0;
int32_t branchFactor = 0, bestMoveChanges = 0, previousScore = 0, scoreChange = 0;
int32_t lastRateSample = -1000, lastNodesLine = 0;
bool infiniteSearch = false;
ClockLevel levelTable[4] = {{0, 0, 0, -2}, {0, 0, 0, -2}, {0, 0, 0, -2}, {0, 0, 0, -2}};

namespace {

constexpr int32_t MinimumMoveTime = 60;       // ms a clock move may always plan, time permitting
constexpr int32_t ReserveTime = 1500;         // ms kept back for transmission and the GUI
constexpr int32_t GuiLagReserve = 6500;       // further ms kept back with GUI Time Lag, no increment
constexpr int32_t FixedTarget = 238000000;    // mode 3: no clock target of its own
constexpr int32_t FixedMaximum = 1524000000;
constexpr int32_t RateInterval = 250;         // ms between node-rate samples
constexpr int32_t NodesLineInterval = 2000;   // ms between periodic nodes lines
constexpr int32_t FinalPhase = 2000;          // ms before the hard limit where checks become frequent
constexpr int32_t FinalCheckSpacing = 31;     // most ms between checks in that phase

// Where the clock stood when the GUI last gave one: the game's move count, the side to
// move and each side's cumulative thinking time in the game record.
uint32_t clockBasePly = 0;
uint32_t clockBaseSide = 0;
int64_t clockBaseTime[2] = {0, 0};

int32_t ClampToInt(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// A side's cumulative thinking time: the value in its most recent move
// record (records above the floor record hold moves).
int64_t CumulativeTime(int side) {
  if (gameTop == nullptr) return 0;
  const GameRecord* firstRecord = gameHistory + gameHistoryFloor;
  for (const GameRecord* r = gameTop; r > firstRecord && r >= gameTop - 1; r--)
    if (r->mover == side) return r->thinkTime;
  return 0;
}

// Moves a side has made since the clock was last given (the game's move
// list is never compacted, unlike the ply count).
int32_t MovesSinceClock(int side) {
  int64_t plies = static_cast<int64_t>(gameMoveTotal) - clockBasePly;
  if (plies < 0) plies = 0;
  return static_cast<int32_t>(static_cast<uint32_t>(side) == clockBaseSide ? (plies + 1) / 2 : plies / 2);
}

// Walks the clock periods for one side with m moves made and u ms used.
void ClockForSide(int side, int64_t m, int64_t u) {
  for (int i = 1; i < 4; i++) {
    const ClockLevel& level = levelTable[i];
    const int64_t moves = level.moves > 0 ? level.moves : 1;
    if (level.marker == -2) return;
    if (level.marker > 0 && m >= level.marker * moves) {
      m -= level.marker * moves;
      u -= level.marker * (level.time + static_cast<int64_t>(level.increment) * moves);
      continue;
    }
    sideIncrement = level.increment;
    if (level.marker == 0) {
      sideTimeLeft[side] = ClampToInt(level.time + level.increment * m - u);
      sideMovesToGo[side] = 30;
    } else {
      // A repeating period (or a counted one that has not been played out).
      sideMovesToGo[side] = static_cast<int32_t>(moves - m % moves);
      sideTimeLeft[side] = ClampToInt((m / moves + 1) * level.time + level.increment * m - u);
    }
    return;
  }
}

// Nodes until the next clock check for a search running at rate nodes per
// second, e ms into it. Near the hard limit the checks come at most a few
// ms apart, closer as the limit nears, so that it is overshot by at most
// about a millisecond of search.
int32_t CountdownFor(int64_t rate, int32_t e) {
  const int64_t remaining = static_cast<int64_t>(hardLimit) - e;
  if (remaining >= FinalPhase) {
    bool quickPonder = searchState == 6 && targetTime < FinalPhase;
    return ClampToInt(std::max<int64_t>(rate / (quickPonder ? 32 : 8), 1));
  }
  const int64_t spacing = std::clamp<int64_t>(remaining / 8, 1, FinalCheckSpacing);
  return ClampToInt(std::max<int64_t>(rate * spacing / 1000, 1));
}

// Polls input unless the start-up calibration runs (it reads no input).
bool PollForStop() {
  if (searchState != 7 && stopReason == 0 && InputAvailable()) PollInput();
  return stopReason != 0;
}

// Sleeps until e + due ms so that the node rate stays at the strength
// limit, reading input between slices and stopping at the hard limit. A
// long sleep still sends the periodic nodes line, so the GUI sees the
// engine alive.
void SleepForRate(int64_t due) {
  const int64_t until = static_cast<int64_t>(ElapsedMs()) + due;
  const int64_t slice = std::max<int64_t>(due / 8, 1);
  for (;;) {
    if (PollForStop()) return;
    int64_t now = ElapsedMs();
    if (now >= hardLimit) {
      stopReason = StopTime;
      return;
    }
    if (now - lastNodesLine >= NodesLineInterval) {
      PrintNodesLine();
      lastNodesLine = static_cast<int32_t>(now);
    }
    if (now >= until) return;
    int64_t nap = std::min({slice, until - now, static_cast<int64_t>(hardLimit) - now});
    platformSleep(static_cast<uint32_t>(nap));
  }
}

// The most one move may plan of `left` ms: a sixteenth and a fixed reserve
// stay back for transmission and the GUI, and even the minimum a move is
// allowed never takes more than half of a nearly empty clock.
int64_t UsableTime(int64_t left, int64_t increment) {
  int64_t t = left - (left >> 4) - ReserveTime;
  if (increment == 0 && (optionFlags & OptGuiTimeLag)) t -= GuiLagReserve;
  if (t < MinimumMoveTime) t = std::min<int64_t>(MinimumMoveTime, left / 2);
  return t;
}

void ResetThresholdForBudget() {
  int32_t threshold = forwardPruning16;
  const int32_t option = forwardPruning16 >> 4;
  if (option >= 1 && option <= 15) {
    if (nominalNps >= 256 && targetTime >= 256) {
      int64_t w = static_cast<int64_t>(nominalNps / 256) * std::min<int64_t>(targetTime / 256, 14400);
      if (w < 153600) threshold -= 16;
      if (w > 307200) threshold += 16;
    } else {
      threshold -= 16;
    }
  }
  pruneRatioThreshold = threshold;
}

}  // namespace

int32_t ElapsedMs() {
  uint32_t spent = platformTick() - startTick;  // unsigned: correct across a wrap of the tick
  return spent > static_cast<uint32_t>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(spent);
}

bool InputAvailable() { return platformInputAvailable(); }

void SetSearchMode(bool reset, int mode) {
  if (reset) {
    optionFlags = defaultOptionWord;
    searchFlags = defaultOptionWord;
    moveTimeLimit = NoTimeLimit;
    maxDepth = DefaultMaxDepth;
    nodeLimit = 0;
    drawScore = 0;
    tbProbeDepth = 4;
    forwardPruning16 = 160;
    threatDepthNeg = -5;
  }
  searchMode = mode;
  ComputeClocks();
  startTick = platformTick();
}

void SetClockLevel(int32_t timeLeft, int32_t increment, int32_t movesToGo) {
  // Entry 0 is the game so far: from here on each side's clock counts the
  // moves and thinking time after this point.
  clockBasePly = static_cast<uint32_t>(gameMoveTotal);
  clockBaseSide = pos.sideToMove;
  clockBaseTime[0] = CumulativeTime(0);
  clockBaseTime[1] = CumulativeTime(1);
  const int64_t used = std::max(clockBaseTime[0], clockBaseTime[1]);
  levelTable[0] = {ClampToInt(used), 0, static_cast<uint16_t>(std::min(gameMoveTotal / 2, 65535)), 1};
  if (movesToGo > 0)
    levelTable[1] = {timeLeft, increment, static_cast<uint16_t>(std::min(movesToGo, 65535)), -1};
  else
    levelTable[1] = {timeLeft, increment, 30, 0};
  levelTable[2] = {0, 0, 0, -2};
}

void ComputeClocks() {
  if (searchMode != 4) return;
  for (int side = 0; side < 2; side++)
    ClockForSide(side, MovesSinceClock(side), CumulativeTime(side) - clockBaseTime[side]);
  sideIncrement = levelTable[1].marker == -2 ? 0 : levelTable[1].increment;
}

void AllocateTime(int32_t timeLeft, int32_t increment, int32_t movesToGo) {
  timeOffset = 0;
  extraTime = 0;
  softTime = NoTimeLimit;
  if (searchMode == 4) {
    const int64_t left = std::max(timeLeft, 0);
    const int64_t inc = std::max(increment, 0);
    const int64_t moves = movesToGo > 0 ? movesToGo : 30;
    const int64_t t = UsableTime(left, inc);
    const int64_t total = (moves - 1) * (inc - inc / 16) + t;
    int64_t target = total / std::min<int64_t>(moves, 30);
    const int64_t sinceBook = static_cast<int64_t>(pos.plyCount) - lastBookPly;
    if (sinceBook >= 1 && sinceBook <= 5) target += target * (6 - sinceBook) / 16;
    if (optionFlags & OptPonder) target += target / 4;
    target = std::min(target, t);
    targetTime = ClampToInt(target);
    softTime = ClampToInt(6 * target / 10);
    maxTime = ClampToInt(std::min(std::max(total / 2, target), t));
  } else {
    targetTime = FixedTarget;
    maxTime = FixedMaximum;
  }
  ResetThresholdForBudget();
  pollCountdown = 0;
  SetHardLimit(true);
}

void SetHardLimit(bool reset) {
  if (searchState == 4) {
    if (iterationDepth > maxDepth)
      stopReason = StopDepthLimit;
    else
      hardLimit = ClampToInt(std::min<int64_t>({static_cast<int64_t>(targetTime) + extraTime - timeOffset,
                                                maxTime, moveTimeLimit}));
  } else if (searchState == 7) {
    hardLimit = moveTimeLimit;
  } else {
    hardLimit = NoTimeLimit;
  }
  TimeCheck(reset);
}

// With a "go nodes" count the next check comes after at most half the nodes
// left. The countdown runs per visited node while the count grows with every
// move made (legality tests and null moves included), so aiming at half the
// gap closes in on the count and stops within a few nodes of it.
static void ClampCountdownToNodeLimit() {
  if (nodeLimit == 0) return;
  const uint64_t half = nodeLimit > nodeCount ? (nodeLimit - nodeCount + 1) / 2 : 1;
  if (half < static_cast<uint64_t>(pollCountdown)) pollCountdown = static_cast<int32_t>(half);
}

int32_t TimeCheck(bool reset) {
  int32_t e = ElapsedMs();
  if (stopReason != 0) return e;  // a stop under way keeps its reason
  // Depth 1 costs next to nothing; until it is complete nothing stops the
  // search, not even a clock that has run out.
  const bool mayStop = firstIterationDone;
  if (mayStop && e >= hardLimit) {
    stopReason = StopTime;
    return e;
  }
  if (mayStop && nodeLimit != 0 && nodeCount >= nodeLimit) {
    stopReason = StopNodeLimit;
    return e;
  }
  if (mayStop && PollForStop()) return e;

  // Rate measurement; the first check of a search takes the nominal rate.
  int64_t rate = nominalNps;
  int64_t measured = nominalNps;
  if (reset) {
    lastRateSample = -1000;
    lastNodesLine = e;
  } else {
    measured = static_cast<int64_t>(nodeCount * 1000 /
                                    (static_cast<uint64_t>(std::max<int64_t>(int64_t{timeOffset} + e, 0)) + 1));
    rate = measured;
    if (nodeRateLimit == 0) rate = std::max<int64_t>(rate, nominalNps / 8);
  }
  if (e >= lastRateSample + RateInterval) {
    measuredNps = static_cast<uint32_t>(std::min<int64_t>(measured, UINT32_MAX));
    lastRateSample = e;
  }

  if (!mayStop) {
    pollCountdown = CountdownFor(rate, e);
    ClampCountdownToNodeLimit();
    return e;
  }
  if (nodeRateLimit > 0) {
    const int64_t limit = nodeRateLimit;
    const int64_t due = static_cast<int64_t>(nodeCount * 1000 / nodeRateLimit) - timeOffset - e - 1;
    if (due > 0) {
      SleepForRate(due);
      if (stopReason != 0) return ElapsedMs();
      e = ElapsedMs();
      if (e - lastNodesLine >= NodesLineInterval) {
        PrintNodesLine();
        lastNodesLine = e;
      }
    }
    // Behind the allowed count the search runs on, checking again after
    // the limit's share of nodes (never at every node).
    pollCountdown = CountdownFor(limit, e);
  } else if (static_cast<int64_t>(hardLimit) - e >= FinalPhase) {
    pollCountdown = CountdownFor(rate, e);
    if ((optionFlags & OptVerboseUci) && e >= lastNodesLine + NodesLineInterval) {
      PrintNodesLine();
      lastNodesLine = e;
    }
  } else if (e + (static_cast<int64_t>(timeOffset) + e) / 64 >= hardLimit) {
    stopReason = StopTime;
    return e;
  } else {
    // Near the limit the lower of the measured and the nominal rate sets
    // the spacing: an early check costs little, a late one overshoots.
    pollCountdown = CountdownFor(std::min<int64_t>(rate, std::max<uint32_t>(nominalNps, 1)), e);
  }
  ClampCountdownToNodeLimit();
  return e;
}
