// The search through the real pipe: time limits, pondering, the wait of a
// finished ponder search, stops at random moments, and the bench signature.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <thread>

#include "e2e/engine_process.h"

namespace {

using Clock = std::chrono::steady_clock;

// The bench node total at its default depth; changes only when the search
// or the evaluation changes on purpose.
constexpr long long BenchSignature = 13526704;

long long msSince(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

class Search : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(e.start());
    ASSERT_TRUE(e.handshake());
  }
  void TearDown() override {
    e.send("quit");
    EXPECT_EQ(e.waitExit(), 0);
  }
  // The last "info ... pv" line before the most recent bestmove.
  std::string lastPvLine() {
    const auto& lines = e.lines();
    for (size_t i = lines.size(); i-- > 0;)
      if (lines[i].rfind("info ", 0) == 0 && lines[i].find(" pv ") != std::string::npos) return lines[i];
    return "";
  }
  static std::string firstPvMove(const std::string& line) {
    std::istringstream in(line.substr(line.find(" pv ") + 4));
    std::string m;
    in >> m;
    return m;
  }
  static std::string moveOf(const std::string& best) {
    std::istringstream in(best);
    std::string word, m;
    in >> word >> m;
    return m;
  }
  EngineProcess e;
};

TEST_F(Search, MovetimeIsKeptAndDepthAnswersAtOnce) {
  ASSERT_TRUE(e.send("position startpos moves e2e4 e7e5 g1f3"));
  Clock::time_point t = Clock::now();
  ASSERT_TRUE(e.send("go movetime 500"));
  const std::string best = e.waitFor("bestmove", 5000);
  const long long ms = msSince(t);
  ASSERT_FALSE(best.empty()) << e.transcript();
  EXPECT_GE(ms, 450);
  EXPECT_LE(ms, 650) << "500 ms plus a small margin";
}

TEST_F(Search, PonderHitTurnsIntoATimedSearchAndStopEndsAPonderSearch) {
  ASSERT_TRUE(e.send("setoption name Ponder value true"));
  ASSERT_TRUE(e.send("position startpos moves e2e4 e7e5"));
  ASSERT_TRUE(e.send("go ponder wtime 4000 btime 4000"));
  for (const std::string& l : e.linesFor(400)) ASSERT_NE(l.rfind("bestmove", 0), 0u) << "a ponder search waits";
  ASSERT_TRUE(e.send("isready"));
  ASSERT_EQ(e.waitFor("readyok", 2000), "readyok");
  Clock::time_point t = Clock::now();
  ASSERT_TRUE(e.send("ponderhit"));
  const std::string best = e.waitFor("bestmove", 6000);
  ASSERT_FALSE(best.empty()) << e.transcript();
  EXPECT_LT(msSince(t), 4000) << "after ponderhit the clock of 4 s governs the move";

  ASSERT_TRUE(e.send("position startpos moves d2d4"));
  ASSERT_TRUE(e.send("go ponder wtime 60000 btime 60000"));
  for (const std::string& l : e.linesFor(300)) ASSERT_NE(l.rfind("bestmove", 0), 0u);
  t = Clock::now();
  ASSERT_TRUE(e.send("stop"));
  EXPECT_FALSE(e.waitFor("bestmove", 2000).empty()) << e.transcript();
  EXPECT_LT(msSince(t), 1000);
}

TEST_F(Search, FinishedPonderSearchWaitsAndAnswersIsReady) {
  // The mate is found at once; the ponder search must still wait.
  ASSERT_TRUE(e.send("position fen 6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1"));
  ASSERT_TRUE(e.send("go ponder"));
  for (const std::string& l : e.linesFor(300)) ASSERT_NE(l.rfind("bestmove", 0), 0u) << l;
  for (int i = 0; i < 3; i++) {
    ASSERT_TRUE(e.send("isready"));
    ASSERT_EQ(e.waitFor("readyok", 2000), "readyok") << e.transcript();
  }
  for (const std::string& l : e.linesFor(200)) ASSERT_NE(l.rfind("bestmove", 0), 0u) << "isready does not end the wait";
  ASSERT_TRUE(e.send("stop"));
  EXPECT_EQ(moveOf(e.waitFor("bestmove", 2000)), "d1d8") << e.transcript();
  // Same for a root without a legal move: the null move, but only after stop.
  ASSERT_TRUE(e.send("position fen 7k/5Q2/6K1/8/8/8/8/8 b - - 0 1"));
  ASSERT_TRUE(e.send("go infinite"));
  for (const std::string& l : e.linesFor(300)) ASSERT_NE(l.rfind("bestmove", 0), 0u) << l;
  ASSERT_TRUE(e.send("stop"));
  EXPECT_EQ(moveOf(e.waitFor("bestmove", 2000)), "0000");
}

TEST_F(Search, StopAtAnyMomentReportsASearchedMoveWithItsScore) {
  // White is a queen down: every honest score is far below zero, so an
  // interrupted child's 0 would show at once.
  std::mt19937 rng(12345);
  std::uniform_int_distribution<int> delay(0, 250);
  for (int i = 0; i < 16; i++) {
    ASSERT_TRUE(e.send("ucinewgame"));
    ASSERT_TRUE(e.send("position fen rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNB1KBNR w KQkq - 0 1"));
    ASSERT_TRUE(e.send("go infinite"));
    std::this_thread::sleep_for(std::chrono::milliseconds(delay(rng)));
    ASSERT_TRUE(e.send("stop"));
    const std::string best = e.waitFor("bestmove", 3000);
    ASSERT_FALSE(best.empty()) << e.transcript();
    const std::string pv = lastPvLine();
    ASSERT_FALSE(pv.empty()) << e.transcript();
    EXPECT_EQ(firstPvMove(pv), moveOf(best)) << pv << "\n" << best;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(pv, m, std::regex(" score cp (-?[0-9]+)"))) << pv;
    EXPECT_LT(std::stoi(m[1]), -500) << pv;
  }
}

TEST(SearchBench, SignatureIsReproducible) {
  const std::string cmd = std::string(BRAXEN_TOOL_PATH) + " bench 2>&1";
  long long totals[2] = {-1, -2};
  for (long long& total : totals) {
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::array<char, 512> buf;
    int lines = 0;
    while (fgets(buf.data(), buf.size(), p) != nullptr) {
      lines++;
      long long n = 0;
      if (sscanf(buf.data(), "Nodes searched: %lld", &n) == 1) total = n;
    }
    EXPECT_EQ(pclose(p), 0);
    EXPECT_GE(lines, 32) << "one line per position plus the totals";
  }
  EXPECT_EQ(totals[0], totals[1]) << "two runs give the same count";
  EXPECT_EQ(totals[0], BenchSignature) << "the search changed: record the new signature";
}

}  // namespace
