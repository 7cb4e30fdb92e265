// Commands that arrive while a search runs: answered at once, or deferred
// until the search has stopped and then carried out in order.
#include <gtest/gtest.h>

#include "e2e/engine_process.h"

namespace {

class BusyEngine : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(e.start());
    ASSERT_TRUE(e.handshake());
    ASSERT_TRUE(e.send("position startpos"));
    ASSERT_TRUE(e.send("go infinite"));
  }
  // Lines up to and including the first that starts with prefix.
  std::vector<std::string> until(const std::string& prefix) {
    std::vector<std::string> seen;
    std::string line;
    while (e.readLine(line)) {
      seen.push_back(line);
      if (line.rfind(prefix, 0) == 0) break;
    }
    return seen;
  }
  static bool contains(const std::vector<std::string>& lines, const std::string& prefix) {
    for (const std::string& l : lines)
      if (l.rfind(prefix, 0) == 0) return true;
    return false;
  }
  EngineProcess e;
};

TEST_F(BusyEngine, IsReadyIsAnsweredWithoutStoppingTheSearch) {
  ASSERT_TRUE(e.send("isready"));
  std::vector<std::string> seen = until("readyok");
  ASSERT_EQ(seen.back(), "readyok") << e.transcript();
  EXPECT_FALSE(contains(seen, "bestmove"));
  // Still searching: nothing ends it before "stop".
  EXPECT_FALSE(contains(e.linesFor(300), "bestmove"));
  ASSERT_TRUE(e.send("stop"));
  EXPECT_NE(e.waitFor("bestmove"), "");
  ASSERT_TRUE(e.send("quit"));
  EXPECT_EQ(e.waitExit(), 0);
}

TEST_F(BusyEngine, CommandsNeedingAnIdleEngineStopTheSearchAndRunAfterIt) {
  // "position" stops the search; the "go" after it starts a new one, which
  // "stop" ends; "isready" then comes after both best moves.
  ASSERT_TRUE(e.sendRaw("position startpos moves e2e4\ngo infinite\n"));
  EXPECT_NE(e.waitFor("bestmove"), "") << "the deferred position must stop the running search";
  ASSERT_TRUE(e.send("stop"));
  ASSERT_TRUE(e.send("isready"));
  std::vector<std::string> seen = until("readyok");
  ASSERT_EQ(seen.back(), "readyok") << e.transcript();
  EXPECT_TRUE(contains(seen, "bestmove")) << "the second search must report before readyok";
  ASSERT_TRUE(e.send("quit"));
  EXPECT_EQ(e.waitExit(), 0);
}

TEST_F(BusyEngine, QuitDuringASearch) {
  ASSERT_TRUE(e.send("quit"));
  EXPECT_EQ(e.waitExit(), 0);
  EXPECT_TRUE(contains(e.lines(), "bestmove")) << e.transcript();
}

TEST_F(BusyEngine, LostInputDuringASearch) {
  e.closeInput();
  EXPECT_EQ(e.waitExit(), 0);
  EXPECT_TRUE(contains(e.lines(), "bestmove")) << e.transcript();
  EXPECT_EQ(countOccurrences(e.readFile("B12SP.pgn"), "FATAL ERROR: stdin pipe gone errno="), 1);
}

TEST_F(BusyEngine, UnknownAndRepeatedStopsDuringASearch) {
  ASSERT_TRUE(e.send("STOP"));
  EXPECT_EQ(e.waitFor("info string unknown"), "info string unknown UCI <STOP> command");
  ASSERT_TRUE(e.sendRaw("stop\r\nstop\nstop\n"));
  EXPECT_NE(e.waitFor("bestmove"), "");
  bool ok;
  std::vector<std::string> rest = e.syncLines(ok);
  EXPECT_TRUE(ok);
  EXPECT_FALSE(contains(rest, "bestmove")) << "extra stops while idle do nothing";
  ASSERT_TRUE(e.send("quit"));
  EXPECT_EQ(e.waitExit(), 0);
}

}  // namespace
