// What "go" makes of its parameters, time allotment, hard limit, the clock
// check and the iteration rules.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "board/position.h"
#include "board/setup.h"
#include "engine/options.h"
#include "engine/timecontrol.h"
#include "platform/platform.h"
#include "search/think.h"
#include "search/tt.h"

namespace {

// Searches here run with an input pipe that stays empty.
class QuietInput : public testing::Test {
 protected:
  int pipeFds[2] = {-1, -1};
  void SetUp() override {
    ASSERT_TRUE(initSearchMemory());
    ASSERT_EQ(pipe(pipeFds), 0);
    platformSetInputFd(pipeFds[0]);
    SetDefaultOptions();
  }
  void TearDown() override {
    platformSetInputFd(0);
    close(pipeFds[0]);
    close(pipeFds[1]);
    searchState = 0;
    stopReason = 0;
    nodeLimit = 0;
    SetDefaultOptions();
  }
};

class GoParsing : public QuietInput {
 protected:
  void SetUp() override {
    QuietInput::SetUp();
    ASSERT_TRUE(ttAllocate(16384));
    newGame();
  }
  // Runs "go <text>"; every case carries a small node limit, so the searches are short.
  static void Go(std::string text) {
    testing::internal::CaptureStdout();
    HandleGo(text.data());
    testing::internal::GetCapturedStdout();
  }
};

TEST_F(GoParsing, ClockOfTheSideToMove) {
  Go("wtime 5000 btime 7000 winc 100 binc 200 movestogo 10 nodes 500");
  EXPECT_EQ(searchMode, 4);
  EXPECT_EQ(sideTimeLeft[White], 5000);
  EXPECT_EQ(sideMovesToGo[White], 10);
  EXPECT_EQ(sideIncrement, 100);
  Go("wtime 0 btime 0 nodes 500");  // below 1 becomes 1
  EXPECT_EQ(sideTimeLeft[White], 1);
  EXPECT_EQ(sideMovesToGo[White], 30);
  // Black to move takes black's clock.
  ASSERT_NE(parseFen("4k3/8/8/8/8/8/8/4K2R b K - 0 1"), 0u);
  Go("wtime 5000 btime 7000 winc 100 binc 200 nodes 500");
  EXPECT_EQ(sideTimeLeft[Black], 7000);
  EXPECT_EQ(sideIncrement, 200);
}

TEST_F(GoParsing, FixedLimits) {
  Go("movetime 300 nodes 500");
  EXPECT_EQ(searchMode, 3);
  EXPECT_EQ(moveTimeLimit, 300);
  Go("depth 0 nodes 500");
  EXPECT_EQ(maxDepth, 1);
  Go("depth 200 nodes 500");  // beyond the deepest iteration: clamped
  EXPECT_EQ(maxDepth, DefaultMaxDepth);
  EXPECT_EQ(moveTimeLimit, NoTimeLimit);  // reset by every "go"
}

TEST_F(GoParsing, NodesAndMateAloneAreBounded) {
  Go("wtime 100000 btime 100000 nodes 500");
  ASSERT_EQ(searchMode, 4);
  // After a clock, "nodes" alone is a node-bounded fixed search, not a
  // clock search on the old times.
  Go("nodes 700");
  EXPECT_EQ(searchMode, 3);
  EXPECT_EQ(nodeLimit, 700u);
  EXPECT_EQ(moveTimeLimit, NoTimeLimit);
  Go("nodes 0");
  EXPECT_EQ(nodeLimit, 1u);
  // "mate N" alone bounds the depth to the plies of such a mate.
  Go("movetime 100 nodes 500");
  Go("mate 2 nodes 500");
  EXPECT_EQ(searchMode, 3);
  EXPECT_EQ(maxDepth, 5);
  Go("mate 100 nodes 500");
  EXPECT_EQ(maxDepth, DefaultMaxDepth);
}

// Clock tests run as a normal search past its first iteration.
class ClockTest : public QuietInput {
 protected:
  void SetUp() override {
    QuietInput::SetUp();
    searchState = 4;
    stopReason = 0;
    iterationDepth = 0;
    nodeCount = 0;
    nominalNps = 1000000;
    pos.plyCount = 40;
    lastBookPly = 10;
    searchMode = 4;
    startTick = platformTick();
    firstIterationDone = true;  // a search past its first iteration
    rootFailLow = 0;
    rootBoundState = 3;
    easyMove = 0;
    stableIterations = 0;
    bestMoveChanges = 0;
    searchOutcome = 0;
    timeOffset = 0;
    for (RootMove& r : rootMoves) r.score = 0;
  }
  void TearDown() override {
    nodeRateLimit = 0;
    rootMoveCount = 0;
    QuietInput::TearDown();
  }
  void Allot(int32_t left, int32_t increment, int32_t movesToGo) {
    stopReason = 0;
    startTick = platformTick();
    AllocateTime(left, increment, movesToGo > 0 ? movesToGo : 30);
  }
  // A fixed-limit search ("movetime", "depth", "nodes").
  void Fixed(int32_t moveTime) {
    searchMode = 3;
    moveTimeLimit = moveTime;
    Allot(0, 0, 0);
  }
};

// The allotment of a clock: the worked example (60 s, no increment, Ponder
// on), its first plies after the book, without pondering, with "GUI Time
// Lag", and short "movestogo" where the moves to the control share what is
// usable, T = R - R/16 - 1500, and the last one before it may plan all of it.
TEST_F(ClockTest, AllotmentOfTheClock) {
  constexpr int NoPonder = 1, Lag = 2;
  const struct { int setting, bookPly; int32_t left, increment, movesToGo, target, maximum; } cases[] = {
      {0, 10, 60000, 0, 0, 2281, 27375},
      // One ply after the book 5/16 more before the quarter for pondering;
      // five plies after it 1/16, six plies after none.
      {0, 39, 60000, 0, 0, 2993, -1},
      {0, 35, 60000, 0, 0, (1825 + 1825 / 16) * 5 / 4, -1},
      {0, 34, 60000, 0, 0, 2281, -1},
      {NoPonder, 10, 60000, 0, 0, 1825, -1},
      // T = 48250: target 48250 / 30 = 1608 plus a quarter, maximum T / 2;
      // with an increment the lag reserve does not apply.
      {Lag, 10, 60000, 0, 0, 1608 + 1608 / 4, 48250 / 2},
      {Lag, 10, 60000, 1000, 0, -1, (29 * (1000 - 62) + 54750) / 2},
      {NoPonder, 10, 10000, 0, 1, 7875, 7875},
      {NoPonder, 10, 10000, 0, 2, 7875 / 2, 7875 / 2},
      {NoPonder, 10, 10000, 0, 5, 7875 / 5, 7875 / 2},
      {NoPonder, 10, 10000, 1000, 2, (938 + 7875) / 2, (938 + 7875) / 2},
      {NoPonder, 10, 60000, 0, 1, 54750, 54750},
      {NoPonder, 10, 60000, 0, 40, 54750 / 30, 54750 / 2},  // the divisor stops at 30
      {NoPonder, 10, 60000, 0, 30, 54750 / 30, 54750 / 2},
      {NoPonder, 10, 2000, 0, 1, 375, 375}};
  const uint32_t defaults = optionFlags;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.left << "+" << c.increment << "/" << c.movesToGo << " setting "
                                    << c.setting << " book " << c.bookPly);
    optionFlags = defaults;
    if (c.setting == NoPonder) optionFlags &= ~OptPonder;
    if (c.setting == Lag) optionFlags |= OptGuiTimeLag;
    lastBookPly = c.bookPly;
    Allot(c.left, c.increment, c.movesToGo);
    if (c.target >= 0) EXPECT_EQ(targetTime, c.target);
    if (c.maximum >= 0) EXPECT_EQ(maxTime, c.maximum);
  }
  lastBookPly = 10;
  optionFlags = defaults;
  Allot(60000, 0, 0);
  EXPECT_EQ(softTime, 1368);
  EXPECT_EQ(hardLimit, 2281);
  EXPECT_EQ(stopReason, 0);
  optionFlags &= ~OptPonder;
  Allot(60000, 2000, 0);
  EXPECT_GT(targetTime, 54750 / 30 + 1500) << "an increment is spent on the moves to come";
}

// The move never plans more than the usable part of its clock (all but a
// sixteenth and 1.5 s, or half of a nearly empty clock), and the hard limit
// stays inside it whatever the increment and the extra time.
TEST_F(ClockTest, NeverMoreThanIsLeft) {
  for (int32_t left : {1, 30, 59, 60, 120, 500, 1000, 1600, 2000, 3000, 10000, 60000}) {
    const int32_t usable = std::max(left - left / 16 - 1500, std::min(60, left / 2));
    for (int32_t increment : {0, 10, 100, 1000, 5000}) {
      for (int32_t movesToGo : {0, 1, 2, 40}) {
        for (bool ponder : {false, true}) {
          SCOPED_TRACE(testing::Message() << "R=" << left << " inc=" << increment << " mtg=" << movesToGo
                                          << " ponder=" << ponder);
          optionFlags = ponder ? (optionFlags | OptPonder) : (optionFlags & ~OptPonder);
          Allot(left, increment, movesToGo);
          EXPECT_GE(targetTime, 0);
          EXPECT_LE(targetTime, usable);
          EXPECT_LE(maxTime, usable);
          EXPECT_LE(softTime, targetTime);
          // Even the largest extra time is held by the maximum.
          extraTime = 8 * targetTime;
          SetHardLimit(false);
          EXPECT_LE(hardLimit, maxTime);
        }
      }
    }
  }
  optionFlags &= ~OptPonder;
  Allot(1000, 0, 0);
  EXPECT_EQ(targetTime, 60 / 30);  // the floor, shared by the moves to come
  Allot(1000, 0, 1);
  EXPECT_EQ(targetTime, 60);
  Allot(59, 0, 1);
  EXPECT_EQ(targetTime, 29);
  Allot(1, 0, 1);
  EXPECT_EQ(targetTime, 0);
  EXPECT_EQ(hardLimit, 0);
}

// Plays out whole games on the allotment: each move takes its target plus
// a transmission delay, and the clock must never run out.
TEST_F(ClockTest, ClocksLastWholeGames) {
  const struct { int32_t base, increment, movesPerControl, moves, delay; } games[] = {
      {1000, 10, 0, 200, 2},    {2000, 0, 0, 120, 2},     {60000, 0, 40, 80, 20}, {60000, 0, 0, 150, 20},
      {500, 2000, 0, 100, 5},   {10000, 100, 0, 300, 5},  {10000, 0, 40, 200, 20}, {3000, 0, 5, 100, 20},
      {10000, 0, 1, 50, 20}};
  for (const auto& g : games) {
    SCOPED_TRACE(testing::Message() << g.base << "+" << g.increment << " per " << g.movesPerControl);
    int64_t left = g.base;
    for (int move = 0; move < g.moves; move++) {
      int32_t toGo = g.movesPerControl > 0 ? g.movesPerControl - move % g.movesPerControl : 0;
      Allot(static_cast<int32_t>(left), g.increment, toGo);
      left -= targetTime + g.delay;
      ASSERT_GT(left, 0) << "flag fall at move " << move;
      left += g.increment;
      if (g.movesPerControl > 0 && toGo == 1) left += g.base;
    }
  }
}

// Clocks up to 2^31 - 1 ms: every sum of the clock code stays in range (the
// sanitizer build checks for overflow), no limit turns negative, and the
// search is not stopped before its target.
TEST_F(ClockTest, HugeClocksNeitherOverflowNorStopEarly) {
  moveTimeLimit = NoTimeLimit;  // the hard limit's own ceiling
  maxDepth = DefaultMaxDepth;
  for (int32_t left : {1000000000, INT32_MAX}) {
    for (int32_t increment : {0, INT32_MAX}) {
      for (int32_t movesToGo : {1, 2, 30, 65535}) {
        SCOPED_TRACE(testing::Message() << left << "+" << increment << " mtg " << movesToGo);
        iterationDepth = 0;
        Allot(left, increment, movesToGo);
        EXPECT_GT(targetTime, 0);
        EXPECT_GE(maxTime, targetTime);
        EXPECT_EQ(hardLimit, std::min(targetTime, NoTimeLimit));
        ASSERT_EQ(NextIteration(), 3);
        for (int bound : {2, 6, 4}) {
          rootBoundState = bound;
          previousScore = 500;  // a large drop: the most extra time
          scoreChange = -500;
          rootMoves[0].score = -7000;
          ApplyExtraTime();
          EXPECT_GE(extraTime, 0) << bound;
          EXPECT_GE(hardLimit, std::min(targetTime, NoTimeLimit)) << bound;
          EXPECT_EQ(stopReason, 0);
        }
        nodeCount = 1u << 30;
        EXPECT_EQ(NextIteration(), 3);
        EXPECT_EQ(TimeCheck(false), ElapsedMs());
        EXPECT_EQ(stopReason, 0);
        nodeCount = 0;
      }
    }
  }
  rootMoves[0].score = 0;
}

// Until depth 1 is complete nothing stops the search, not even a clock
// that has run out; from then on the hard limit does.
TEST_F(ClockTest, DepthOneAlwaysCompletes) {
  firstIterationDone = false;
  Allot(1, 0, 1);
  EXPECT_EQ(hardLimit, 0);
  EXPECT_EQ(stopReason, 0);
  TimeCheck(false);
  EXPECT_EQ(stopReason, 0);
  EXPECT_GE(pollCountdown, 1);
  firstIterationDone = true;
  TimeCheck(false);
  EXPECT_EQ(stopReason, StopTime);
}

TEST_F(ClockTest, FixedLimitsSetTheHardLimitAndStop) {
  Fixed(500);
  EXPECT_EQ(hardLimit, 500);
  Fixed(0);
  EXPECT_EQ(stopReason, StopTime);
  stopReason = 0;
  moveTimeLimit = NoTimeLimit;
  maxDepth = 3;
  iterationDepth = 4;
  SetHardLimit(false);
  EXPECT_EQ(stopReason, StopDepthLimit);
}

TEST_F(ClockTest, ChecksComeOftenNearTheHardLimit) {
  Fixed(100000);
  // Far from the limit: every eighth of a second at the nominal rate.
  EXPECT_EQ(pollCountdown, 1000000 / 8);
  EXPECT_EQ(measuredNps, 1000000u);
  for (int32_t remaining : {1999, 400, 100, 16, 8, 3, 1}) {
    hardLimit = ElapsedMs() + remaining;
    nodeCount = 0;  // a slow start must not stretch the spacing either
    TimeCheck(false);
    ASSERT_EQ(stopReason, 0) << remaining;
    const double spacingMs = pollCountdown * 1000.0 / nominalNps;
    EXPECT_LE(spacingMs, remaining > 8 ? remaining / 8.0 : 1.0) << remaining;
    EXPECT_GE(pollCountdown, 1);
  }
}

TEST_F(ClockTest, NodeLimitStopsAtTheCount) {
  nodeLimit = 5000;
  Fixed(NoTimeLimit);
  EXPECT_LE(pollCountdown, 5000);  // the first check already lands on the count
  nodeCount = 4990;
  TimeCheck(false);
  EXPECT_EQ(stopReason, 0);
  EXPECT_LE(pollCountdown, 10);
  nodeCount = 5000;
  TimeCheck(false);
  EXPECT_EQ(stopReason, StopNodeLimit);
}

TEST_F(ClockTest, StrengthLimitSleepsToTheRate) {
  Fixed(NoTimeLimit);
  nodeRateLimit = 1000;
  startTick = platformTick();
  nodeCount = 150;  // 150 ms of allowed search at 1000 nodes per second
  TimeCheck(false);
  EXPECT_GE(ElapsedMs(), 140);
  EXPECT_LE(ElapsedMs(), 400);
  EXPECT_EQ(stopReason, 0);
  EXPECT_GE(pollCountdown, 1);
  // Behind the allowed count: no sleep, and no check at every node.
  nodeCount = 10;
  int32_t before = ElapsedMs();
  TimeCheck(false);
  EXPECT_LE(ElapsedMs() - before, 20);
  EXPECT_GE(pollCountdown, 100);
  // The hard limit cuts a sleep short.
  hardLimit = ElapsedMs() + 50;
  nodeCount = 10000;
  TimeCheck(false);
  EXPECT_EQ(stopReason, StopTime);
  EXPECT_LE(ElapsedMs(), hardLimit + 30);
}

TEST_F(ClockTest, IterationsStopAtTheDepthLimitOrTheTarget) {
  Fixed(NoTimeLimit);
  maxDepth = 3;
  for (int d = 1; d <= 3; d++) ASSERT_EQ(NextIteration(), 3) << d;
  EXPECT_EQ(NextIteration(), 5);
  EXPECT_EQ(iterationDepth, 3);
  // A ponder search goes on past it, but never past the deepest iteration.
  searchState = 6;
  iterationDepth = 3;
  EXPECT_EQ(NextIteration(), 3);
  iterationDepth = DefaultMaxDepth;
  EXPECT_EQ(NextIteration(), 5);
  EXPECT_EQ(iterationDepth, DefaultMaxDepth);

  searchState = 4;
  searchMode = 4;
  iterationDepth = 0;
  maxDepth = DefaultMaxDepth;
  Allot(60000, 0, 0);  // target 2281
  ASSERT_EQ(NextIteration(), 3);
  ASSERT_EQ(NextIteration(), 3);
  startTick = platformTick() - 2300;  // past the target
  EXPECT_EQ(NextIteration(), 5);
  EXPECT_EQ(stopReason, StopNoIteration);
  EXPECT_EQ(iterationDepth, 2);
  // A "stop" that arrived keeps its reason: a ponder search waits for it.
  stopReason = 64;
  startTick = platformTick();
  EXPECT_EQ(NextIteration(), 5);
  EXPECT_EQ(stopReason, 64);
}

// Each step keeps what the one before set (target 2281, previous score 50
// from the third step on).
TEST_F(ClockTest, ExtraTimeAfterRootChanges) {
  Allot(60000, 0, 0);
  ASSERT_EQ(NextIteration(), 3);
  const struct { const char* what; int bound, score, extra; } steps[] = {
      {"fail low: eight targets, held by the maximum", 2, 50, 8 * 2281},
      {"fail high", 6, 50, 2281},
      {"exact, score steady: extra time withdrawn", 4, 50, 0},
      {"a drop of 40: index (0 + 40) / 8 = 5", 4, 50 - 40, 20 * (2281 / 16)},
      {"being mated", 4, -8000, -1}};  // -1: the maximum
  for (const auto& s : steps) {
    rootBoundState = s.bound;
    rootMoves[0].score = static_cast<int16_t>(s.score);
    if (s.bound == 4) previousScore = 50, scoreChange = 0;
    if (s.extra < 0) searchOutcome = 0;
    ApplyExtraTime();
    EXPECT_EQ(extraTime, s.extra >= 0 ? s.extra : maxTime) << s.what;
    if (s.bound == 2) EXPECT_EQ(hardLimit, 9 * 2281);
  }
  rootMoves[0].score = 0;
}

TEST_F(ClockTest, ForcedMoveStopsAfterAQuarterSecond) {
  Allot(60000, 0, 0);
  rootMoveCount = 2;
  rootMoves[1].score = -7900;
  iterationDepth = 3;
  CheckForcedMove();
  EXPECT_EQ(stopReason, 0);  // not yet 250 ms
  timeOffset = 300;
  CheckForcedMove();
  EXPECT_EQ(stopReason, StopForcedMove);
  stopReason = 0;
  rootMoves[1].score = -100;  // a second playable move
  CheckForcedMove();
  EXPECT_EQ(stopReason, 0);
  rootMoveCount = 1;
  searchMode = 3;  // fixed limits search on
  CheckForcedMove();
  EXPECT_EQ(stopReason, 0);
  rootMoveCount = 0;
}

TEST_F(ClockTest, PonderHitCountsThePonderTime) {
  Allot(60000, 0, 0);
  searchState = 6;
  SetHardLimit(false);
  EXPECT_EQ(hardLimit, NoTimeLimit);
  rootBoundState = 3;
  startTick = platformTick() - 1000;  // pondered one second
  OnPonderHit();
  EXPECT_EQ(searchState, 4);
  EXPECT_GE(timeOffset, 1000);
  EXPECT_LE(timeOffset, 1100);
  EXPECT_EQ(hardLimit, 2281 - timeOffset);
  EXPECT_LE(ElapsedMs(), 50);
  // Not pondering: nothing to switch.
  timeOffset = 0;
  OnPonderHit();
  EXPECT_EQ(timeOffset, 0);
}

}  // namespace
