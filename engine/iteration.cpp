// Decisions taken between and during iterations: whether to start another
// one, how much extra time a change at the root earns, forced moves, and
// the switch from pondering to a timed search.
#include <algorithm>

#include "board/history.h"
#include "board/position.h"
#include "engine/options.h"
#include "engine/report.h"
#include "engine/timecontrol.h"
#include "eval/eval.h"
#include "platform/platform.h"
#include "search/think.h"

namespace {

// Extra time after a score drop, in sixteenths of the target time, by the
// size of the drop in eighths of a pawn (plus the best-move changes).
constexpr int32_t dropExtra[64] = {2,   5,   8,   11,  15,  20,  26,  32,  37,  42,  47,  52,  56,
                                   60,  64,  68,  72,  75,  78,  81,  84,  87,  90,  93,  96,  99,
                                   101, 103, 105, 107, 108, 109, 110, 111, 112, 113, 114, 115, 115,
                                   116, 116, 117, 117, 118, 118, 119, 119, 120, 120, 121, 121, 122,
                                   122, 123, 123, 124, 124, 125, 125, 126, 126, 127, 127, 128};

constexpr int EasyMargin = 96;          // best root score above the second's for an easy move
constexpr int ForcedMoveDelay = 250;    // ms a forced move is still searched

// Node counts of the iterations, kept as the iterations start.
uint64_t iterationStartNodes = 0;
uint64_t lastIterationNodes = 0;
// Final best score of the previous search and of the current one so far.
int32_t priorSearchScore = 0;
int32_t currentSearchScore = 0;

int32_t BestScore() { return rootMoves[0].score; }

// Clock sums are formed in 64 bits: a clock near 2^31 ms must neither wrap
// nor shorten the search.
int32_t SaturatedMs(int64_t ms) { return static_cast<int32_t>(std::clamp<int64_t>(ms, INT32_MIN, INT32_MAX)); }

// True when the best move takes back, on the square the opponent's last
// move landed on, a man worth what that move took.
bool EvenRecapture() {
  const Move best = rootMoves[0].line[1];
  const int to = moveTo(best);
  if (pos.plyTop == nullptr || static_cast<uint32_t>(to) != pos.lastTo) return false;
  const int taken = pos.pieceOn[to];
  const int lastTaken = pos.plyTop->capturedType;
  return taken >= Pawn && taken <= King && lastTaken >= Pawn && lastTaken <= King &&
         pieceValue[taken] == pieceValue[lastTaken];
}

void EasyMoveSaving(int32_t ratio) {
  int32_t h = targetTime / 2;
  extraTime = -h;
  if (EvenRecapture()) {
    h /= 2;
    extraTime = -(targetTime / 2) - h;
  }
  if (ratio >= openingWeight + 68) extraTime -= h / 2;
  if (BestScore() > priorSearchScore + 64) extraTime /= 2;
}

int NoFurtherIteration() {
  iterationDepth--;
  stopReason = StopNoIteration;
  return 5;
}

// The principal-variation lines once more, after the time limits changed.
void ReprintLines() {
  const int level = static_cast<int>(searchFlags & OptReportLevel);
  if (level == 0 || level < searchState - 3 || ElapsedMs() <= 500) return;
  if (multiPvCount <= 1) {
    const RootMove& r = rootMoves[0];
    PrintPvLine(0, r.line, 4, r.score, r.depth, r.depth);
    return;
  }
  const int lines = std::min<int>(multiPvCount, rootMoveCount);
  for (int i = 0; i < lines; i++)
    PrintPvLine(i + 1, rootMoves[i].line, 4, rootMoves[i].score, rootMoves[i].depth, rootMoves[i].depth);
}

}  // namespace

int NextIteration() {
  if (iterationDepth == 0) {
    iterationStartNodes = nodeCount;
    lastIterationNodes = 0;
  }
  const uint64_t justDone = nodeCount - iterationStartNodes;
  // Capped so that the time prediction below stays within 64 bits.
  int32_t ratio = static_cast<int32_t>(std::min<uint64_t>(justDone * 100 / (lastIterationNodes + 1), 1u << 20));
  lastIterationNodes = justDone;
  iterationStartNodes = nodeCount;

  iterationDepth++;
  if (iterationDepth > DefaultMaxDepth || (iterationDepth > maxDepth && searchState == 4)) {
    iterationDepth--;
    return 5;
  }
  if (iterationDepth == 1) {
    priorSearchScore = currentSearchScore;
    previousScore = BestScore();
    scoreChange = 0;
    bestMoveChanges = 0;
    return 3;
  }
  currentSearchScore = BestScore();

  if (stableIterations == iterationDepth - 1 && easyMove && rootFailLow == 0 &&
      BestScore() > easySecondScore + EasyMargin)
    EasyMoveSaving(ratio);

  const int64_t t = static_cast<int64_t>(ElapsedMs()) + timeOffset;
  ratio = std::max(ratio, 16);
  branchFactor = (branchFactor + ratio) / 2;
  scoreChange = BestScore() - previousScore;
  previousScore = BestScore();

  // A stop already under way keeps its own reason (a "stop" during a
  // ponder search must still be seen as one).
  if (stopReason != 0) {
    iterationDepth--;
    return 5;
  }
  if (searchState == 4) {
    const int64_t limit = static_cast<int64_t>(targetTime) + extraTime;
    if (t > limit) return NoFurtherIteration();
    if (t > softTime && bestMoveChanges == 0 && rootFailLow == 0 && t + 2 * t * branchFactor / 100 > limit)
      return NoFurtherIteration();
  }
  SetHardLimit(false);
  bestMoveChanges = 0;
  return 3;
}

void ApplyExtraTime() {
  const int32_t s = BestScore();
  if (s <= -ScoreMateThreshold && !(searchOutcome & 1)) {
    extraTime = maxTime;
  } else if (rootBoundState == 2) {
    extraTime = SaturatedMs(8 * static_cast<int64_t>(targetTime));
  } else if (rootBoundState == 6 || rootBoundState == 7) {
    extraTime = targetTime;
  } else if (rootBoundState == 4 || rootBoundState == 5) {
    int32_t d = s - previousScore;
    if (scoreChange < 0) d += scoreChange;
    if (d > -4) {
      if (extraTime > 0 || bestMoveChanges != 0) extraTime = 0;
    } else {
      d -= 32 * rootFailLow;
      const int32_t i = std::clamp((8 * bestMoveChanges - d) >> 3, 0, 63);
      extraTime = SaturatedMs(dropExtra[i] * static_cast<int64_t>(targetTime / 16));
    }
  }
  SetHardLimit(false);
  ReprintLines();
}

void CheckForcedMove() {
  if (searchState != 4 || searchMode == 3 || iterationDepth < 3) return;
  for (int i = 1; i < rootMoveCount; i++)
    if (rootMoves[i].score > -ScoreMateThreshold) return;
  if (static_cast<int64_t>(ElapsedMs()) + timeOffset > ForcedMoveDelay) stopReason = StopForcedMove;
}

void OnPonderHit() {
  if (searchState != 6 || infiniteSearch) return;  // nothing to switch
  timeOffset = ElapsedMs();
  // The time spent pondering was the opponent's thinking time on the move
  // that was predicted.
  const GameRecord* firstRecord = gameHistory + gameHistoryFloor;
  if (gameTop != nullptr && gameTop > firstRecord) {
    const GameRecord* twoBefore = gameTop - 2 > firstRecord ? gameTop - 2 : nullptr;
    gameTop->thinkTime = (twoBefore != nullptr ? twoBefore->thinkTime : 0) + static_cast<uint32_t>(timeOffset);
    gameTop->score = static_cast<int16_t>(-(gameTop - 1)->score);
  }
  searchState = 4;
  // From here elapsed time counts from the ponder hit; timeOffset holds
  // what was spent before it.
  startTick = platformTick();
  CheckForcedMove();
  ApplyExtraTime();
}
