// What "go" makes of its parameters: mode, clock and limits.
#include <gtest/gtest.h>

#include <string>
#include <unistd.h>
#include <vector>

#include "board/position.h"
#include "board/setup.h"
#include "engine/options.h"
#include "engine/timecontrol.h"
#include "platform/platform.h"
#include "search/think.h"
#include "search/tt.h"

namespace {

class GoParsing : public testing::Test {
 protected:
  int pipeFds[2] = {-1, -1};
  void SetUp() override {
    ASSERT_TRUE(initSearchMemory());
    ASSERT_EQ(pipe(pipeFds), 0);
    platformSetInputFd(pipeFds[0]);  // no input arrives during the searches
    SetDefaultOptions();
    ASSERT_TRUE(ttAllocate(16384));
    newGame();
  }
  void TearDown() override {
    platformSetInputFd(0);
    close(pipeFds[0]);
    close(pipeFds[1]);
    nodeLimit = 0;
    searchState = 0;
    stopReason = 0;
    SetDefaultOptions();
  }
  // Runs "go <text>"; every case carries a small node limit, so the searches are short.
  static void Go(const std::string& text) {
    std::vector<char> line(text.begin(), text.end());
    line.push_back('\0');
    testing::internal::CaptureStdout();
    HandleGo(line.data());
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

}  // namespace
