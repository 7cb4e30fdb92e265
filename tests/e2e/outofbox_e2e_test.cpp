// What a new user and a tester meet first: the book that the run script
// installs (and never installs over a user's book), learning from the first
// game, the engine's bench command for distributed testing, the book probe
// and EPD suite commands of braxen-tool, and a real GUI adapter (polyglot
// running the engine as an xboard engine) playing games to their end.
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/engine_process.h"

namespace {

const std::string sourceDir = BRAXEN_SOURCE_DIR;
const std::string shippedBook = sourceDir + "/data/B12SPBook.bxk";
constexpr const char* PolyglotPath = "/usr/games/polyglot";

std::string shellQuoted(const std::string& s) { return "'" + s + "'"; }

// Standard output of "braxen-tool ARGS"; status gets its exit code.
std::string tool(const std::string& args, int* status = nullptr) {
  return commandOutput(std::string(BRAXEN_TOOL_PATH) + " " + args, status);
}

// The run script's book step: into an empty data folder it copies the book
// of the repository; an existing book, which learning may have changed, is
// never replaced. The folder is found as the engine finds it.
TEST(InstallBook, OnlyWhereNoBookIs) {
  TempFolder home("braxen-e2e-home");
  ASSERT_FALSE(home.path.empty());
  const std::string script = shellQuoted(sourceDir + "/scripts/install-book.sh");
  // env: environment of the script; folder: data folder under the temporary home.
  struct Case { const char* env; const char* folder; };
  constexpr Case cases[] = {
      {"APPDATA=@/app XDG_DATA_HOME=@/xdg", "/app/BRAXEN Chess"},
      {"APPDATA= XDG_DATA_HOME=@/xdg", "/xdg/BRAXEN Chess"},
      {"APPDATA= XDG_DATA_HOME=relative HOME=@", "/.local/share/BRAXEN Chess"},
  };
  for (const Case& c : cases) {
    std::string env = c.env;  // @ stands for the temporary home
    for (size_t at; (at = env.find('@')) != std::string::npos;) env.replace(at, 1, home.path);
    const std::string book = home.path + c.folder + "/B12SPBook.bxk";
    for (const char* before : {"", "a user's book"}) {
      // A user's book (here one that learning changed) stays as it is.
      if (*before) std::ofstream(book, std::ios::binary) << before;
      int status = -1;
      commandOutput("env " + env + " " + script + " 2>/dev/null", &status);
      EXPECT_EQ(status, 0) << c.env;
      EXPECT_EQ(fileText(book), *before ? before : fileText(shippedBook)) << c.env << ": " << book;
    }
  }
}

// On a fresh account: the run script's book step, then the engine opens the
// book, plays its first move from it at once, and after the game has
// learned from it (the book file changed).
TEST(InstallBook, FreshAccountPlaysAndLearnsFromTheFirstGame) {
  EngineProcess e;
  EngineLaunch launch;
  launch.program = "/bin/sh";
  launch.args = {"-c", shellQuoted(sourceDir + "/scripts/install-book.sh") + " && exec " + shellQuoted(BRAXEN_ENGINE_PATH)};
  ASSERT_TRUE(e.start(launch));
  ASSERT_TRUE(e.handshake()) << e.stderrText();
  EXPECT_TRUE(anyStartsWith(e.lines(), "option name Book Status type string default Loaded OK")) << e.transcript();
  const std::string book = e.folder() + "/BRAXEN Chess/B12SPBook.bxk";
  ASSERT_TRUE(fileText(book) == fileText(shippedBook));
  ASSERT_TRUE(e.send("position startpos"));
  GoReply r = go(e, "go wtime 60000 btime 60000");
  EXPECT_TRUE(r.best == "e2e4" || r.best == "d2d4" || r.best == "g1f3" || r.best == "c2c4") << e.transcript();
  EXPECT_LT(r.ms, 1000) << "a book move comes at once";
  EXPECT_TRUE(r.infoLines.empty() || !anyStartsWith(r.infoLines, "info depth 2")) << "not searched";
  // 1...Nf6 is legal after every first move of the book; the engine answers
  // and the game ends.
  const std::string first = r.best;
  ASSERT_TRUE(e.send("position startpos moves " + first + " g8f6"));
  r = go(e, "go wtime 59000 btime 59000");
  ASSERT_FALSE(r.best.empty());
  ASSERT_TRUE(e.send("ucinewgame"));
  ASSERT_TRUE(e.synced());
  EXPECT_FALSE(fileText(book) == fileText(shippedBook)) << "the learned weights changed\n" << e.transcript();
  EXPECT_EQ(fileText(book).size(), fileText(shippedBook).size());
  EXPECT_EQ(e.quit(), 0);
}

// "braxen-engine bench [DEPTH]" for distributed testing: the totals, the
// closing "N nodes R nps" line, and the node count of braxen-tool's bench.
TEST(EngineBench, PrintsTheTotalsOfTheToolsBench) {
  int status = -1;
  const std::vector<std::string> engine = linesOf(commandOutput(std::string(BRAXEN_ENGINE_PATH) + " bench 4", &status));
  EXPECT_EQ(status, 0);
  const std::vector<std::string> toolLines = linesOf(tool("bench 4", &status));
  ASSERT_GE(engine.size(), 3u);
  ASSERT_GE(toolLines.size(), 3u);
  long long nodes = -1, rate = -1, lastNodes = -2, lastRate = -2, toolNodes = -3;
  for (const std::string& l : engine) {
    sscanf(l.c_str(), "Nodes searched: %lld", &nodes);
    sscanf(l.c_str(), "Nodes/second: %lld", &rate);
  }
  for (const std::string& l : toolLines) sscanf(l.c_str(), "Nodes searched: %lld", &toolNodes);
  char rest[16] = "";
  ASSERT_EQ(sscanf(engine.back().c_str(), "%lld nodes %lld %15s", &lastNodes, &lastRate, rest), 3) << engine.back();
  EXPECT_STREQ(rest, "nps");
  EXPECT_GT(nodes, 0);
  EXPECT_EQ(lastNodes, nodes);
  EXPECT_EQ(lastRate, rate);
  EXPECT_EQ(nodes, toolNodes) << "the same search as braxen-tool bench";
  EXPECT_EQ(engine[engine.size() - 3].rfind("Nodes searched: ", 0), 0u);
  EXPECT_EQ(engine[engine.size() - 2].rfind("Nodes/second: ", 0), 0u);
  commandOutput(std::string(BRAXEN_ENGINE_PATH) + " bench deep 2>/dev/null", &status);
  EXPECT_EQ(status, 2) << "a depth that is no number";
}

// The probe shows a book's moves with class, learned weight, marks and each
// style's chances; they add up to one per style that plays at all.
TEST(BookProbeTool, ShowsMovesAndChances) {
  TempFolder dir;
  const std::string pgn = dir.path + "/g.pgn", book = dir.path + "/g.bxk";
  {
    std::ofstream out(pgn);
    for (int i = 0; i < 6; ++i) out << "1.e4 e5 2.Nf3 1-0\n\n";
    for (int i = 0; i < 3; ++i) out << "1.d4 d5 1/2-1/2\n\n";
    out << "1.c4 c5 0-1\n\n1.c4 e5 0-1\n\n";
  }
  int status = -1;
  tool("book build " + shellQuoted(book) + " " + shellQuoted(pgn), &status);
  ASSERT_EQ(status, 0);
  const std::string probe = "book probe --book " + shellQuoted(book) + " startpos";
  const std::string text = tool(probe, &status);
  EXPECT_EQ(status, 0);
  const std::vector<std::string> out = linesOf(text);
  ASSERT_EQ(out.size(), 6u) << text;
  EXPECT_EQ(out[0].rfind("book " + book + ", 6 records; key ", 0), 0u) << text;
  EXPECT_EQ(out[1], "move   san      class learned win loss      Wild      Wide    Varied  Tournament");
  // e4 in 6 of 11 games, all won (7); d4 in 3, its half point a class
  // below white's 68 % average (6 - 1); c4 in 2, both lost (5 - 2).
  const char* moves[3][2] = {{"e2e4", "e4"}, {"d2d4", "d4"}, {"c2c4", "c4"}};
  const int classes[3] = {7, 5, 3};
  double sum[5] = {0, 0, 0, 0, 0};
  for (int i = 0; i < 3; ++i) {
    std::istringstream row(out[2 + i]);
    std::string uci, san, win;
    int cls = -1, learned = -1, loss = -1;
    row >> uci >> san >> cls >> learned >> win >> loss;
    EXPECT_EQ(uci, moves[i][0]) << text;
    EXPECT_EQ(san, moves[i][1]);
    EXPECT_EQ(cls, classes[i]) << out[2 + i];
    EXPECT_EQ(learned, classes[i] * 4);
    EXPECT_EQ(win, "-");
    EXPECT_EQ(loss, 0);
    for (int s = 1; s <= 4; ++s) {
      double p = -1;
      char percent = 0;
      row >> p >> percent;
      EXPECT_EQ(percent, '%');
      sum[s] += p;
    }
  }
  for (int s = 1; s <= 4; ++s) EXPECT_NEAR(sum[s], 100, 0.2) << "style " << s;
  EXPECT_EQ(out[5], "odds with Book Learning on (learned weights)");

  EXPECT_NE(tool(probe + " e2e4 e7e5 g1f3").find("no book moves in this position"), std::string::npos);
  tool(probe + " e2e5 2>/dev/null", &status);
  EXPECT_EQ(status, 2) << "an illegal move";
  tool("book probe --book " + shellQuoted(dir.path + "/none.bxk") + " startpos 2>/dev/null", &status);
  EXPECT_EQ(status, 1) << "no such book";
}

// An EPD suite through the engine's search: a line per position and the
// solved count; "am" is judged as a move to avoid.
TEST(EpdTool, PrintsEachResultAndTheSolvedCount) {
  TempFolder dir;
  const std::string suite = dir.path + "/s.epd";
  {
    std::ofstream out(suite);
    out << "6k1/5ppp/8/8/8/8/8/R3K3 w - - bm Ra8#; id \"back rank\";\n"
        << "# a comment line\n"
        << "rnbqkbnr/pppp1ppp/8/4p3/4P3/5Q2/PPPP1PPP/RNB1KBNR w KQkq - am Qxf7+; id \"poisoned\";\n"
        << "rnbqkbnr/pppp1ppp/8/4p3/4P3/5Q2/PPPP1PPP/RNB1KBNR w KQkq - bm Qxf7+; id \"blunder\";\n"
        << "6k1/5ppp/8/8/8/8/8/R3K3 w - - bm Qh5; id \"no such move\";\n";
  }
  int status = -1;
  const std::string text = tool("epd " + shellQuoted(suite) + " --depth 4", &status);
  EXPECT_EQ(status, 0);
  const std::vector<std::string> out = linesOf(text);
  ASSERT_EQ(out.size(), 5u) << text;
  EXPECT_EQ(out[0].rfind("back rank  solved   bm Ra8#", 0), 0u) << text;
  EXPECT_NE(out[0].find("played Ra8"), std::string::npos) << text;
  EXPECT_EQ(out[1].rfind("poisoned   solved   am Qxf7+", 0), 0u) << text;
  EXPECT_EQ(out[2].rfind("blunder    missed   bm Qxf7+", 0), 0u) << text;
  EXPECT_EQ(out[3].rfind("no such move unreadable", 0), 0u) << text;
  EXPECT_EQ(out[4], "solved 2 of 3 (depth 4), 1 unreadable");
  tool("epd " + shellQuoted(suite) + " --ms 0 2>/dev/null", &status);
  EXPECT_EQ(status, 2);
}

// polyglot, the adapter that lets xboard-protocol GUIs run UCI engines.
class Polyglot : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(access(PolyglotPath, X_OK), 0) << PolyglotPath << " (Debian package polyglot) is needed";
    ASSERT_TRUE(oracle.start()) << OraclePath << " is needed as the legality oracle";
    EngineLaunch launch;
    launch.program = PolyglotPath;
    launch.args = {"-noini", "-ec", BRAXEN_ENGINE_PATH, "-uci", "Hash=16", "-uci", "OwnBook=false"};
    ASSERT_TRUE(p.start(launch));
    ASSERT_TRUE(p.send("xboard"));
    ASSERT_TRUE(p.send("protover 2"));
    ASSERT_EQ(p.waitFor("feature done=1"), "feature done=1") << p.transcript();
    ASSERT_TRUE(p.send("new"));
  }
  void TearDown() override {
    p.send("quit");
    EXPECT_EQ(p.waitExit(), 0) << p.stderrText();
  }
  // The engine's next move ("move X"), or the result line that ends the game.
  std::string nextMoveOrResult() {
    for (std::string line; p.readLine(line);) {
      if (line.rfind("move ", 0) == 0) return line.substr(5);
      if (line.rfind("1-0", 0) == 0 || line.rfind("0-1", 0) == 0 || line.rfind("1/2-1/2", 0) == 0) return line;
    }
    return "";
  }
  EngineProcess p;
  Oracle oracle;
};

// The GUI plays 1.f3 e5 2.g4 and hands the move to the engine: mate.
TEST_F(Polyglot, EngineFinishesAGameFromTheStart) {
  for (const char* cmd : {"force", "usermove f2f3", "usermove e7e5", "usermove g2g4", "level 0 1 0", "go"})
    ASSERT_TRUE(p.send(cmd));
  EXPECT_EQ(nextMoveOrResult(), "d8h4") << p.transcript();
  EXPECT_EQ(nextMoveOrResult(), "0-1 {Black mates}") << p.transcript();
}

// The engine plays both sides of a queen ending to the mate; every move is
// legal in turn and the game ends with white's mate.
TEST_F(Polyglot, EnginePlaysBothSidesToTheEnd) {
  const std::string fen = "k7/8/2K5/8/8/8/8/7Q w - - 0 1";
  for (const std::string& cmd : std::vector<std::string>{"force", "setboard " + fen, "sd 6", "go"}) ASSERT_TRUE(p.send(cmd));
  std::vector<std::string> moves;
  std::string result;
  while (moves.size() < 30) {
    const std::string m = nextMoveOrResult();
    ASSERT_FALSE(m.empty()) << p.transcript();
    if (m.find('{') != std::string::npos) {
      result = m;
      break;
    }
    EXPECT_EQ(oracle.legalMoves(after("fen " + fen, moves)).count(m), 1u) << m << "\n" << p.transcript();
    moves.push_back(m);
    ASSERT_TRUE(p.send("go"));  // the engine now plays the other side
  }
  EXPECT_EQ(result, "1-0 {White mates}") << p.transcript();
  EXPECT_EQ(moves.size() % 2, 1u) << "white gave the last move";
  EXPECT_TRUE(oracle.legalMoves(after("fen " + fen, moves)).empty()) << "no move left after the mate";
}

}  // namespace
