// What the engine keeps from one run to the next: the learning file and the
// game file, seen through the real program.
#include <regex>

#include "e2e/engine_process.h"

namespace {

// The last "info" line with a pv, without its time and node rate, and the
// "bestmove" line: what a search found and how many nodes it took.
std::string searchResult(const GoReply& r) {
  std::string last;
  for (const std::string& line : r.infoLines)
    if (line.find(" pv ") != std::string::npos) last = line;
  last = std::regex_replace(last, std::regex(" (time|nps) [0-9]+"), "");
  return last + " / " + r.bestLine;
}

// Sends the lines, then searches the position to the depth.
std::string searchAfter(EngineProcess& e, const std::vector<std::string>& lines, const std::string& position,
                        int depth) {
  for (const std::string& line : lines) EXPECT_TRUE(e.send(line));
  EXPECT_TRUE(e.send("position " + position));
  return searchResult(go(e, "go depth " + std::to_string(depth)));
}

// The black rook's move h5h4 leads to a position whose score swings from
// depth 3 on, so a search of it to depth 8 learns it. A search of the
// parent to depth 4 meets the learned child at its second ply. Switching
// learning off before the parent is searched keeps the parent itself out
// of the file (it saves what was learned so far) and makes both runs
// search it alike.
TEST(Learning, AnEntryLearnedInOneRunGuidesTheNextRunsFirstSearch) {
  const std::string parent = "fen 5rk1/1ppb3p/p1pb4/6qr/3P1p2/2P1R2P/PP1BQ1P1/5RKN b - - 0 1";
  const std::vector<std::string> learningOff = {"setoption name Position Learning value false", "ucinewgame"};

  EngineProcess fresh;
  ASSERT_TRUE(fresh.start() && fresh.handshake());
  const std::string unlearned = searchAfter(fresh, learningOff, parent, 4);
  ASSERT_TRUE(fresh.send("quit"));
  EXPECT_EQ(fresh.waitExit(), 0);

  EngineProcess first;
  ASSERT_TRUE(first.start() && first.handshake());
  ASSERT_TRUE(first.send("position " + parent + " moves h5h4"));
  go(first, "go depth 8");
  const std::string learned = searchAfter(first, learningOff, parent, 4);
  ASSERT_TRUE(first.send("quit"));
  ASSERT_EQ(first.waitExit(), 0);
  ASSERT_EQ(first.readFile("BRAXEN12SP.lrn").size(), 4u + 16u) << "one position learned";
  EXPECT_NE(learned, unlearned) << "the learned entry changes the parent's search";

  EngineProcess second;
  EngineLaunch sameFolder;
  sameFolder.env = {"APPDATA=" + first.folder()};
  ASSERT_TRUE(second.start(sameFolder) && second.handshake());
  EXPECT_EQ(searchAfter(second, learningOff, parent, 4), learned)
      << "the next run searches with what the first one learned";
  ASSERT_TRUE(second.send("quit"));
  EXPECT_EQ(second.waitExit(), 0);
}

}  // namespace
