// Limits of "go" through the real pipe: nodes, mate, movetime, infinite,
// short clocks, and the texts of the reply.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>

#include "e2e/engine_process.h"

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

class GoLimits : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(e.start());
    ASSERT_TRUE(e.handshake());
  }
  void TearDown() override {
    e.send("quit");
    EXPECT_EQ(e.waitExit(), 0);
  }
  // Sends the go line and returns the bestmove line and the time it took.
  std::string Go(const std::string& line, long long& ms, int timeoutMs = ReplyTimeoutMs) {
    Clock::time_point start = Clock::now();
    EXPECT_TRUE(e.send(line));
    std::string best = e.waitFor("bestmove", timeoutMs);
    ms = MsSince(start);
    return best;
  }
  // The node count of the statistics line before "bestmove".
  long long LastNodes() {
    const auto& lines = e.lines();
    for (size_t i = lines.size(); i-- > 0;) {
      std::smatch m;
      if (std::regex_search(lines[i], m, std::regex("^info nps [0-9]+ nodes ([0-9]+) "))) return std::stoll(m[1]);
    }
    return -1;
  }
  EngineProcess e;
};

TEST_F(GoLimits, NodesStopsNearTheCountAndIsNotBoundlessAfterMovetime) {
  long long ms = 0;
  ASSERT_TRUE(e.send("position startpos"));
  EXPECT_NE(Go("go movetime 200", ms), "");
  // Only "nodes": bounded by the count, not by the earlier movetime mode.
  EXPECT_NE(Go("go nodes 20000", ms, 10000), "") << e.transcript();
  long long nodes = LastNodes();
  EXPECT_GT(nodes, 0);
  EXPECT_LE(nodes, 20000 + 64) << e.transcript();
  // Only "mate": a bounded depth.
  EXPECT_NE(Go("go mate 1", ms, 10000), "") << e.transcript();
}

TEST_F(GoLimits, InfiniteWaitsForStopEvenWhenTheMateIsFound) {
  ASSERT_TRUE(e.send("position fen 6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1"));
  ASSERT_TRUE(e.send("go infinite"));
  for (const std::string& l : e.linesFor(600)) EXPECT_NE(l.rfind("bestmove", 0), 0u) << l;
  ASSERT_TRUE(e.send("ponderhit"));  // no ponder search: changes nothing
  for (const std::string& l : e.linesFor(200)) EXPECT_NE(l.rfind("bestmove", 0), 0u) << l;
  ASSERT_TRUE(e.send("stop"));
  EXPECT_EQ(e.waitFor("bestmove").rfind("bestmove d1d8", 0), 0u) << e.transcript();
}

TEST_F(GoLimits, PromotionsAreLowerCaseInTheReply) {
  ASSERT_TRUE(e.send("position fen 7k/P7/8/8/8/8/8/K7 w - - 0 1"));
  long long ms = 0;
  std::string best = Go("go depth 4", ms);
  EXPECT_EQ(best.rfind("bestmove a7a8q", 0), 0u) << e.transcript();
  for (const std::string& l : e.lines())
    if (l.find(" pv ") != std::string::npos) EXPECT_EQ(l.find("a8Q"), std::string::npos) << l;
}

TEST_F(GoLimits, ShortClocksAnswerInTime) {
  const struct { const char* go; long long withinMs; } cases[] = {
      {"go wtime 50 btime 50", 50},   {"go wtime 1000 btime 1000 winc 10 binc 10", 200},
      {"go wtime 1 btime 1", 40},     {"go wtime 300 btime 300 winc 2000 binc 2000", 200},
      {"go wtime 2000 btime 2000 movestogo 1", 1000}};
  for (const auto& c : cases) {
    ASSERT_TRUE(e.send("position startpos moves e2e4 e7e5 g1f3 b8c6 f1b5 a7a6"));
    long long ms = 0;
    EXPECT_NE(Go(c.go, ms), "") << c.go;
    EXPECT_LE(ms, c.withinMs + 30) << c.go;
  }
}

TEST_F(GoLimits, MovetimeEndsCloseToTheLimit) {
  ASSERT_TRUE(e.send("position startpos moves d2d4 d7d5 c2c4"));
  for (long long limit : {50LL, 150LL, 400LL}) {
    long long ms = 0;
    EXPECT_NE(Go("go movetime " + std::to_string(limit), ms), "");
    // The clock check stops a little early (1/64 of the time) rather than late.
    EXPECT_GE(ms, limit - limit / 64 - 5) << limit;
    EXPECT_LE(ms, limit + 25) << limit;
  }
}

TEST_F(GoLimits, PeriodicNodesLines) {
  auto nodesLines = [this] {
    int n = 0;
    for (const std::string& l : e.lines())
      if (std::regex_match(l, std::regex("info nodes [0-9]+ nps [0-9]+ hashfull [0-9]+"))) n++;
    return n;
  };
  ASSERT_TRUE(e.send("position startpos"));
  long long ms = 0;
  EXPECT_NE(Go("go movetime 2300", ms), "");
  EXPECT_EQ(nodesLines(), 0) << "only with Verbose UCI";
  ASSERT_TRUE(e.send("setoption name Verbose UCI value true"));
  EXPECT_NE(Go("go movetime 4300", ms), "");
  EXPECT_GE(nodesLines(), 1) << e.transcript();
  EXPECT_LE(nodesLines(), 3);
}

TEST_F(GoLimits, StrengthLimitHoldsTheNodeRate) {
  ASSERT_TRUE(e.send("setoption name UCI_LimitStrength value true"));
  ASSERT_TRUE(e.send("setoption name UCI_Elo value 1560"));  // 32 nodes per second
  ASSERT_TRUE(e.send("position startpos"));
  long long ms = 0;
  EXPECT_NE(Go("go movetime 2500", ms), "") << e.transcript();
  EXPECT_LE(ms, 2500 + 50);
  long long nodes = LastNodes();
  EXPECT_LE(nodes, 32 * 3 + 40) << e.transcript();  // about 2.5 s at the limit, plus a slice
  bool nodesLine = false;
  for (const std::string& l : e.lines()) nodesLine |= l.rfind("info nodes ", 0) == 0;
  EXPECT_TRUE(nodesLine) << "a nodes line every 2 s under the limit";
}

TEST_F(GoLimits, UnknownTokensAreReportedAndSkipped) {
  ASSERT_TRUE(e.send("position startpos"));
  ASSERT_TRUE(e.send("go sideways depth 2"));
  EXPECT_EQ(e.waitFor("info string"), "info string unknown UCI go <sideways depth 2> command");
  EXPECT_NE(e.waitFor("bestmove"), "");
  for (const std::string& l : e.lines()) {
    std::smatch m;
    if (std::regex_search(l, m, std::regex("^info depth ([0-9]+) seldepth [0-9]+ time"))) EXPECT_LE(std::stoi(m[1]), 2);
  }
}

}  // namespace
