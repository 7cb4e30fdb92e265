// The search driver: iterative deepening around the root search, the wait
// of a finished ponder or infinite search, the hand-over of the best move
// to the game record, the clock poll of the tree search, and the start-up
// calibration.
#include "search/think.h"

#include "board/history.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "book/poslearn.h"
#include "engine/options.h"
#include "engine/report.h"
#include "engine/timecontrol.h"
#include "engine/uci.h"
#include "eval/eval.h"
#include "platform/platform.h"
#include "search/ordering.h"
#include "search/root.h"
#include "search/search.h"
#include "search/stats.h"
#include "search/tt.h"

int32_t searchState = 0;
uint8_t stopReason = 0;
int32_t iterationDepth = 0, selDepth = 0;
bool firstIterationDone = false;
int32_t aspirationAlpha = -ScoreMateThreshold, aspirationBeta = ScoreMateThreshold;
int32_t rootBoundState = 3;
uint8_t rootFailLow = 0;
uint32_t searchOutcome = 0;
uint8_t rootSide = 0;
int32_t drawScoreFor[2] = {0, 0};
int32_t lastBookPly = -1;
uint8_t easyMove = 0, stableIterations = 0;
int32_t easySecondScore = 0;
uint32_t randomState = 1;
int32_t lastSearchScore = 0;
Move lastBestMove = 0;

namespace {

constexpr int DeepestIteration = 62;   // the ply stack holds no deeper line
constexpr int AspirationHalfWidth = 32;
constexpr int EasyMoveMargin = 96;
constexpr int CalibrationMs = 250;     // fixed bound of the start-up measurement

int scoreMin = 0, scoreMax = 0;
bool midSearchLineShown = false;
int currMoveShown = -1;

bool outputOn() {
  if (searchState == 7) return false;
  const int level = static_cast<int>(searchFlags & 3);
  return level != 0 && level >= searchState - 3;
}

// A ponder or infinite search that ended by itself waits for "stop" or
// "ponderhit"; "isready" is answered meanwhile and does not end the wait.
void waitWhilePondering() {
  if (searchState != 6 || stopReason == 64) return;
  const uint8_t natural = stopReason;
  stopReason = 0;
  while (searchState == 6 && stopReason != 64 && quitRequested == 0 && !linePending) PollInput();
  if (stopReason == 0) stopReason = natural;
}

// Writes the search's result into the game record of the move just played.
void recordBestMove(Move best, int sanStyle) {
  GameRecord* g = gameTop;
  const RootMove& r = rootMoves[0];
  g->score = r.score;
  g->flags = static_cast<uint16_t>((g->flags & 0x8000) | RecordSearchInfo | (r.flags & 0xF00) |
                                   ((r.flags & RootBookMove) ? RecordBookMove : 0) |
                                   ((r.flags & RootFullStrength) ? RecordFullStrength : 0));
  const int depth = iterationDepth > 63 ? 63 : iterationDepth;
  g->styleDepth = static_cast<uint16_t>((sanStyle & 0x1F) | (depth << 10));
  uint32_t before = 0;
  if (g - 2 >= gameHistory) before = (g - 2)->thinkTime;
  g->thinkTime = before + static_cast<uint32_t>(int64_t{ElapsedMs()} + timeOffset);
  g->move = static_cast<Move>((best & ~CheckMark) | (r.line[1] & CheckMark));
}

void handOver() {
  waitWhilePondering();
  const bool noMove = (searchOutcome & 0x80) || rootMoveCount == 0;
  const Move best = noMove ? 0 : static_cast<Move>(rootMoves[0].line[1] & ~CheckMark);
  const Move ponder = best ? static_cast<Move>(rootMoves[0].line[2] & ~CheckMark) : 0;
  PrintBestMove(best, ponder);
  if (best == 0) return;
  if (nodeRateLimit == 0 || (rootMoves[0].flags & RootBookMove) || nodeRateLimit >= measuredNps / 16)
    rootMoves[0].flags |= RootFullStrength;
  const int style = sanDisambiguation(best);
  if (playGameMove(best)) {
    recordBestMove(best, style);
    takeBackGameMove();
  }
}

}  // namespace

uint32_t nextRandom() {
  randomState = randomState * 0x139420C5u + 1;
  return randomState;
}

void searchPoll() {
  const int32_t e = TimeCheck(false);
  if (stopReason != 0 || !outputOn() || e <= 500) return;
  if (!midSearchLineShown) {
    if (iterationDepth > 1) {
      printRootProgress();
      midSearchLineShown = true;
    }
    return;
  }
  if ((e > 2000 || (searchFlags & OptVerboseUci)) && currMoveShown != rootIndex && rootIndex < rootMoveCount) {
    PrintCurrMove(rootIndex + 1, rootMoves[rootIndex].line[1]);
    currMoveShown = rootIndex;
  }
}

// A mate no farther than the iteration's depth cannot be bettered, unless
// the other lines of a MultiPV analysis still need their depths.
static bool mateSettled(int score) {
  return multiPvCount <= 1 && score > ScoreMateThreshold && iterationDepth >= ScoreInfinite - score;
}

// Root score bookkeeping after an iteration (step h of the loop).
static void trackRootScore() {
  lastSearchScore = rootMoves[0].score;
  if (iterationDepth <= 2) {
    scoreMin = scoreMax = lastSearchScore;
    if (iterationDepth == 1 && rootMoveCount > 1) {
      easySecondScore = rootMoves[1].score;
      if (lastSearchScore > rootMoves[1].score + EasyMoveMargin) easyMove = 1;
    }
  } else {
    if (lastSearchScore < scoreMin) scoreMin = lastSearchScore;
    if (lastSearchScore > scoreMax) scoreMax = lastSearchScore;
  }
}

int think(int side, int state, int movesToGo, int timeLeft, int increment) {
  searchState = state;
  if (lastBookPly == -1) lastBookPly = static_cast<int32_t>(pos.plyCount) - 2;
  searchFlags = optionFlags;
  rootPly = pos.plyCount;
  rootSide = static_cast<uint8_t>(side);
  drawScoreFor[side] = -drawScore;
  drawScoreFor[side ^ 1] = drawScore;
  stopReason = 0;
  midSearchLineShown = false;
  currMoveShown = -1;
  rootMaterial0[0] = pos.material[0];
  rootMaterial0[1] = pos.material[1];
  inCheckHistory[0] = inCheckHistory[1] = 0;

  firstIterationDone = iterationDepth > 0;
  if (iterationDepth == 0) {
    if (prepareRoot(side) != 0) {
      stopReason = 5;
    } else {
      prepareEvaluation();
      aspirationAlpha = -ScoreMateThreshold;
      aspirationBeta = ScoreMateThreshold;
      buildRootMoves();
      if (rootMoveCount == 0 || (searchMode == 0 && searchState != 5)) stopReason = 6;
    }
  } else if ((rootMoves[0].flags & RootDecided) || rootMoves[0].score < -ScoreMateThreshold ||
             iterationDepth > DeepestIteration) {
    stopReason = 7;
  }
  AllocateTime(timeLeft, increment, movesToGo);

  while (stopReason == 0 && iterationDepth < DeepestIteration && NextIteration() == 3) {
    rootBoundState = 3;
    rootFailLow = 0;
    if (multiPvCount > 1 && outputOn()) PrintDepthLine(iterationDepth);
    [[maybe_unused]] const uint64_t iterationStart = nodeCount;
    const int score = rootSearch(iterationDepth);
    if (stopReason == 0) STAT_ITERATION(iterationDepth, nodeCount - iterationStart);
    firstIterationDone = true;
    if (stopReason == 0) {
      if (iterationDepth == 1) {
        sortRootMoves();
        confirmRootResult();
      }
      printRootResult();
      if (stableIterations < 255) stableIterations++;
    }
    if (score > ScoreMateThreshold) {
      searchOutcome |= 2;
      aspirationAlpha = score - 1;
      aspirationBeta = ScoreInfinite;
    } else if (score < -ScoreMateThreshold) {
      searchOutcome |= 3;
      aspirationAlpha = -ScoreInfinite;
      aspirationBeta = score + 1;
    } else {
      aspirationAlpha = score - AspirationHalfWidth;
      aspirationBeta = score + AspirationHalfWidth;
    }
    if (stopReason == 0 && mateSettled(score)) stopReason = 9;
    if (stopReason == 0) CheckForcedMove();
    trackRootScore();
  }
  if (stopReason == 0 && iterationDepth >= DeepestIteration) stopReason = 11;
  // The last line reported always shows the move that is played, with the
  // whole line of its last confirmed result.
  const bool settled = settleRootResult();
  if ((settled || !rootPvPrinted || rootPrintedMove != rootMoves[0].line[1]) && rootMoveCount > 0 && outputOn())
    printRootProgress();
  if (searchState != 7) learnFromSearch(scoreMin, scoreMax);

  if (searchOutcome & 0x80) {
    if (searchState < 6) {
      gameTop->flags = static_cast<uint16_t>((gameTop->flags & ~0xF00) | (searchOutcome & 0xF00));
    }
  }
  if (searchState != 7) {
    handOver();
    if (searchState != 6 && rootMoveCount > 0) lastBestMove = rootMoves[0].line[1];
  }

  int result;
  if (searchState != 4) {
    searchState = stopReason < 20 ? 2 : 1;
    result = 0x40;
  } else {
    searchState = (stopReason & 0x80) ? 1 : 3;
    result = stopReason;
  }
  iterationDepth = 0;
  return result;
}

void runCalibration() {
  const int32_t savedMoveTime = moveTimeLimit, savedDepth = maxDepth, savedMode = searchMode;
  const uint64_t savedNodes = nodeLimit;
  searchMode = 3;
  moveTimeLimit = CalibrationMs;
  maxDepth = DeepestIteration;
  nodeLimit = 0;
  startTick = platformTick();
  think(pos.sideToMove, 7, 0, 0, 0);
  const int32_t e = ElapsedMs();
  const uint64_t rate = nodeCount * 1000 / static_cast<uint64_t>(e > 0 ? e : 1);
  nominalNps = measuredNps = static_cast<uint32_t>(rate > 0xFFFFFFFFull ? 0xFFFFFFFFull : (rate ? rate : 1));
  SetEloBounds(nominalNps);
  moveTimeLimit = savedMoveTime;
  maxDepth = savedDepth;
  searchMode = savedMode;
  nodeLimit = savedNodes;
  searchState = 0;
  stopReason = 0;
  nodeCount = 0;
  ttClear(true);
}
