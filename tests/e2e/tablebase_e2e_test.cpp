// Endgame tables through the real programs: the distance a table stores
// reaches the "info" line as a mate score, with "tbhits"; a broken table at
// registration ends the engine in order; a table lost later does not stop
// play. The tables here hold one value for every position of a side, so
// the expected scores follow from the bytes written.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>

#include "e2e/engine_process.h"

namespace {

// Positions of a class for one side to move, from braxen-tool tb info.
long long positionsOf(const std::string& name, int side) {
  std::istringstream in(toolOutput("tb info " + name));
  std::string cls, word;
  long long number = 0, flags = 0, white = 0, black = 0;
  in >> cls >> number >> word >> flags >> word >> white >> black;
  return side == 0 ? white : black;
}

// A table whose every entry is v.
void writeUniform(const std::string& dir, const std::string& name, int side, int8_t v, long long size = -1) {
  mkdir(dir.c_str(), 0755);
  const std::string bytes(static_cast<size_t>(size >= 0 ? size : positionsOf(name, side)), static_cast<char>(v));
  std::ofstream(dir + "/" + name + (side == 0 ? ".nbw" : ".nbb"), std::ios::binary) << bytes;
}

// Stored bytes: a win in n is 127 - n, a loss in n is n - 126.
constexpr int8_t winIn6 = 121, lossIn5 = -121;

// White to move with queen or rook, no mate in one and no stalemate; the
// colour-swapped twins have Black's men as the stored class's White men.
constexpr char kqkWhite[] = "position fen 8/8/8/4k3/8/8/1KQ5/8 w - - 0 1";
constexpr char kqkSwapped[] = "position fen 8/1kq5/8/8/4K3/8/8/8 b - - 0 1";
constexpr char krkWhite[] = "position fen 8/8/8/4k3/8/8/1KR5/8 w - - 0 1";

class TablebaseEngine : public EngineTest {
 protected:
  std::string tables() const { return e.folder() + "/tables"; }
  void writeWinningTables(const std::string& name) {
    writeUniform(tables(), name, 0, winIn6);
    writeUniform(tables(), name, 1, lossIn5);
  }
  long long tbhits(const GoReply& r) {
    long long hits = 0;
    for (const std::string& line : r.infoLines) {
      const size_t at = line.find(" tbhits ");
      if (at != std::string::npos) hits = std::stoll(line.substr(at + 8));
    }
    return hits;
  }
  // Each position searched to depth 10 ends on the stored mate in 6, with table hits.
  void expectStoredMate(std::initializer_list<const char*> positions) {
    for (const char* position : positions) {
      ASSERT_TRUE(e.send(position));
      const GoReply r = go(e, "go depth 10");
      ASSERT_FALSE(r.bestLine.empty()) << position << "\n" << e.transcript();
      const std::vector<long long> mates = r.scores("mate");
      ASSERT_FALSE(mates.empty()) << position << "\n" << e.transcript();
      EXPECT_EQ(mates.back(), 6) << position;
      EXPECT_GT(tbhits(r), 0) << position;
    }
  }
};

// Every move leads to a stored loss in 5 for the opponent: the root's
// moves are decided by the tables and the score is mate in 6.
TEST_F(TablebaseEngine, StoredDistanceBecomesTheMateScore) {
  writeWinningTables("kqk");
  writeWinningTables("krk");
  ASSERT_TRUE(e.send("setoption name NalimovPath value " + tables()));
  expectStoredMate({kqkWhite, kqkSwapped, krkWhite});
  // Without "Use Tablebases" nothing is probed.
  ASSERT_TRUE(e.send("setoption name Use Tablebases value false"));
  ASSERT_TRUE(e.send(krkWhite));
  EXPECT_EQ(tbhits(go(e, "go depth 4")), 0);
}

TEST_F(TablebaseEngine, ToolShowsTheStoredResultAndTheScore) {
  writeWinningTables("kqk");
  const std::string out = toolOutput(std::string("tb probe \"") + (kqkSwapped + 13) + "\" --path " + tables());
  EXPECT_NE(out.find("class: kqk (colours swapped), white to move"), std::string::npos) << out;
  EXPECT_NE(out.find("result: win in 6"), std::string::npos) << out;
  EXPECT_NE(out.find("(mate 6)"), std::string::npos) << out;
  EXPECT_NE(toolOutput("tb verify " + tables()).find("registered 2 files, up to 3 men"), std::string::npos);
}

// A file of the wrong size is fatal when registered: status 1, the message
// in the error log and the game file, and not a word on standard output.
TEST_F(TablebaseEngine, WrongSizeAtRegistrationEndsTheEngine) {
  writeUniform(tables(), "kqk", 0, 0, 1000);
  const size_t before = e.lines().size();
  ASSERT_TRUE(e.send("setoption name NalimovPath value " + tables()));
  ASSERT_EQ(e.waitExit(), 1) << e.transcript();
  EXPECT_EQ(e.lines().size(), before) << e.transcript();
  const std::string message = "*** " + tables() + "/kqk.nbw corrupted";
  EXPECT_NE(e.readFile("debug.txt").find(message), std::string::npos) << e.readFile("debug.txt");
  EXPECT_NE(e.readFile("B12SP.pgn").find(message), std::string::npos) << e.readFile("B12SP.pgn");
}

// Tables compressed by braxen-tool give the engine the same mate scores as
// the files they came from.
TEST_F(TablebaseEngine, CompressedTablesScoreLikeTheirOriginals) {
  writeWinningTables("kqk");
  for (const char* side : {"nbw", "nbb"}) {
    const std::string plain = tables() + "/kqk." + side;
    EXPECT_NE(toolOutput("tb compress " + plain + " " + plain + ".emd").find("blocks"), std::string::npos);
    ASSERT_EQ(std::remove(plain.c_str()), 0);
  }
  EXPECT_NE(toolOutput("tb verify " + tables()).find("registered 2 files, up to 3 men"), std::string::npos);
  ASSERT_TRUE(e.send("setoption name NalimovPath value " + tables()));
  expectStoredMate({kqkWhite, kqkSwapped});
}

// A compressed file whose header is cut short ends the engine at
// registration: status 1, the reason and the fatal message in the log.
TEST_F(TablebaseEngine, CompressedHeaderCutShortEndsTheEngine) {
  mkdir(tables().c_str(), 0755);
  std::ofstream(tables() + "/kqk.nbw.emd", std::ios::binary) << std::string(40, 'x');
  EXPECT_NE(toolOutput("tb verify " + tables()).find("of the wrong size"), std::string::npos);
  ASSERT_TRUE(e.send("setoption name NalimovPath value " + tables()));
  ASSERT_EQ(e.waitExit(), 1) << e.transcript();
  const std::string message = "read error\n*** Unable to read " + tables() + "/kqk.nbw.emd - 2 ";
  EXPECT_NE(e.readFile("debug.txt").find(message), std::string::npos) << e.readFile("debug.txt");
}

// A table that breaks after registration is dropped when it cannot be
// read; the search goes on without it and the other tables still answer.
TEST_F(TablebaseEngine, ATableLostDuringPlayLeavesTheOthers) {
  writeWinningTables("kqk");
  writeWinningTables("krk");
  ASSERT_TRUE(e.send("setoption name NalimovPath value " + tables()));
  ASSERT_TRUE(e.synced()) << "the tables are registered";
  ASSERT_EQ(truncate((tables() + "/krk.nbw").c_str(), 0), 0);
  ASSERT_EQ(truncate((tables() + "/krk.nbb").c_str(), 0), 0);
  ASSERT_TRUE(e.send(krkWhite));
  const GoReply lost = go(e, "go depth 6");
  EXPECT_FALSE(lost.bestLine.empty()) << e.transcript();
  EXPECT_TRUE(lost.scores("mate").empty() || lost.scores("mate").back() != 6) << e.transcript();
  ASSERT_TRUE(e.send(kqkWhite));
  const GoReply kept = go(e, "go depth 6");
  ASSERT_FALSE(kept.scores("mate").empty()) << e.transcript();
  EXPECT_EQ(kept.scores("mate").back(), 6);
}

}  // namespace
