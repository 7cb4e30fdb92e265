// Lost streams, line ends, hostile input and the "position" command, seen
// from outside.
#include <random>

#include "e2e/engine_process.h"

namespace {

const char lostInputLine[] = "FATAL ERROR: stdin pipe gone errno=";

TEST(UciInput, ClosedInputEndsNormallyAndLeavesOneLine) {
  // env "" for none; gameFile in the data folder, or in the working folder when it starts with '/'.
  const struct { const char* program; const char* input; const char* env; const char* gameFile; } cases[] = {
      {BRAXEN_ENGINE_PATH, "uci\n", "", "B12SP.pgn"},
      {BRAXEN_ENGINE_PB_PATH, "uci\n", "", "BraxenSPVM07.pgn"},
      {BRAXEN_ENGINE_PATH, "isready\nisrea", "", "B12SP.pgn"},  // before "uci", in an unfinished line
      {BRAXEN_ENGINE_PATH, "uci\nposition startpos\ngo infinite\n", "", "B12SP.pgn"},  // during a search
      // An unusable data folder: the line goes to the working folder instead.
      {BRAXEN_ENGINE_PATH, "uci\n", "APPDATA=/proc/self/not-a-folder", "/B12SP.pgn"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.program) + " " + c.env);
    EngineProcess e;
    EngineLaunch launch;
    launch.program = c.program;
    if (c.env[0] != '\0') launch.env = {c.env};
    ASSERT_TRUE(e.start(launch));
    ASSERT_TRUE(e.sendRaw(c.input));
    e.closeInput();
    EXPECT_EQ(e.waitExit(), 0) << e.stderrText();
    std::string text = e.readFile(c.gameFile[0] == '/' ? e.folder() + c.gameFile : c.gameFile);
    EXPECT_EQ(countOccurrences(text, lostInputLine), 1) << text;
    // Written as PGN's escape line, which readers skip.
    EXPECT_NE(text.find(std::string("%") + lostInputLine + "0\n"), std::string::npos) << text;
    // A search running when the input goes still reports its move.
    if (std::string(c.input).find("go") != std::string::npos) EXPECT_TRUE(anyStartsWith(e.lines(), "bestmove"));
  }
}

TEST(UciInput, LostOutputEndsTheEngineInOrder) {
  for (bool searching : {false, true}) {
    SCOPED_TRACE(searching ? "during a search" : "idle");
    EngineProcess e;
    ASSERT_TRUE(e.start());
    ASSERT_TRUE(e.handshake());
    if (searching) ASSERT_TRUE(e.send("position startpos") && e.send("go infinite"));
    e.closeOutput();
    // The next write fails (the periodic reports of the search, or the reply
    // to "uci"): the engine ends normally, not by a signal, and does not hang.
    if (!searching) ASSERT_TRUE(e.send("uci"));
    e.send("isready");
    EXPECT_EQ(e.waitExit(10000), 0);
    std::string text = e.readFile("B12SP.pgn");
    EXPECT_EQ(countOccurrences(text, "%FATAL ERROR: stdout pipe gone errno="), 1) << text;
  }
}

TEST(UciInput, CarriageReturnsAndALastLineWithoutNewline) {
  EngineProcess e;
  ASSERT_TRUE(e.start());
  ASSERT_TRUE(e.sendRaw("uci\r\nisready\r\nquit\r"));
  e.closeInput();
  EXPECT_EQ(e.waitExit(), 0);
  EXPECT_TRUE(anyStartsWith(e.lines(), "uciok")) << e.transcript();
  EXPECT_TRUE(anyStartsWith(e.lines(), "readyok")) << e.transcript();
  // "quit" ended the program, so the end of input was never met.
  EXPECT_EQ(e.readFile("B12SP.pgn").find("FATAL"), std::string::npos);

  // An unterminated "go" is searched before the lost input ends the program.
  EngineProcess g;
  ASSERT_TRUE(g.start());
  ASSERT_TRUE(g.handshake());
  ASSERT_TRUE(g.sendRaw("position startpos moves e2e4 f7f6 d2d4 g7g5\r\ngo depth 3"));
  g.closeInput();
  EXPECT_EQ(g.waitExit(), 0);
  EXPECT_TRUE(anyStartsWith(g.lines(), "bestmove d1h5")) << g.transcript();
}

using UciInputSession = EngineTest;

TEST_F(UciInputSession, CarriageReturnsAndBlanksAroundCommandsAndMoves) {
  ASSERT_TRUE(e.send("position startpos"));
  for (const char* stop : {"stop\r\n", "stop  \t \r\n"}) {
    ASSERT_TRUE(e.send("go infinite"));
    EXPECT_TRUE(noBestMoveFor(200));
    ASSERT_TRUE(e.sendRaw(stop));
    EXPECT_NE(collect(e, 2000).bestLine, "") << "a stop with blanks and \\r must stop the search";
  }
  // "d8h4 \r" is the last move of the list; White is mated.
  ASSERT_TRUE(e.sendRaw("position startpos moves f2f3 e7e5 g2g4 d8h4 \r\n"));
  EXPECT_EQ(go(e, "go depth 2\r").bestLine, "bestmove 0000") << e.transcript();
  ASSERT_TRUE(e.sendRaw("position startpos moves e2e4 f7f6 d2d4 g7g5\r\n"));
  EXPECT_EQ(go(e, "go depth 3  ").best, "d1h5") << e.transcript();
}

TEST_F(UciInputSession, GarbageNeverCrashesOrHangs) {
  std::mt19937 random(12345);
  std::string binary;
  for (int i = 0; i < 256; i++) binary += static_cast<char>(i);
  for (int i = 0; i < 3000; i++) binary += static_cast<char>(random());
  const std::string inputs[] = {
      binary + "\n",
      std::string(10000, 'x') + "\n",
      std::string(100000, 'y') + "\n",
      "\n\n\n\n",
      "                                   \n",
      "\r\n\r\n \r\n",
      "position\nposition fen\nposition fen moves\nposition moves\nposition startpos moves\n",
      "position " + std::string(20000, 'z') + "\n",
      "position startpos moves " + std::string(5000, '7') + "\n",
      "setoption\nsetoption name\nsetoption name Hash value\nsetoption name Hash value -99999999999999999999\n",
      "go\x01\x02\x03 nonsense\n",
  };
  for (const std::string& in : inputs) {
    ASSERT_TRUE(e.sendRaw(in)) << in.substr(0, 40);
    ASSERT_TRUE(e.synced()) << "no readyok after " << in.substr(0, 40);
  }
}

// A checkmated side has no legal move, so "bestmove 0000" proves that every
// move of a mating list was played, and a real best move that one was not.
class PositionCommand : public EngineTest {
 protected:
  std::string bestMoveAfter(const std::string& position) {
    if (!e.send(position)) return "<no pipe>";
    GoReply r = go(e, "go depth 2");
    return r.bestLine.empty() ? "<no bestmove>" : r.best;
  }
};

constexpr char foolsMate[] = "f2f3 e7e5 g2g4 d8h4";  // White is mated
const std::string beforeMate = "rnbqkbnr/pppp1ppp/8/4p3/6P1/5P2/PPPPP2P/RNBQKBNR b KQkq g3 0 2";

TEST_F(PositionCommand, RejectedTokensSanAndFenMoves) {
  EXPECT_EQ(bestMoveAfter("position startpos moves f2f3 xyz e7e5 e2e5 g2g4 a1a8 d8h4"), "0000");
  EXPECT_EQ(bestMoveAfter("position startpos moves f2f3 e7e5 g2g4"), "d8h4");
  EXPECT_EQ(bestMoveAfter("position startpos moves f2f3 e5 g4 Qh4"), "0000");
  EXPECT_EQ(bestMoveAfter("position fen " + beforeMate), "d8h4");
  EXPECT_EQ(bestMoveAfter("position fen " + beforeMate + " moves d8h4"), "0000");
  EXPECT_EQ(bestMoveAfter("position startpos"), bestMoveAfter("position startpos moves"));
}

// A refused FEN keeps the previous position, its "moves" are not played on
// the old board, and an "info string" says what was wrong. An overlong
// clock field is no reason to refuse a FEN: its number saturates.
TEST_F(PositionCommand, RefusedFensSayWhyAndKeepThePosition) {
  const std::string longClock(40, '9');
  const struct { std::string position, best, info; } cases[] = {
      {"position fen not/a/fen w - - 0 1 moves d8h4", "d8h4", "8 fields where at least 11 are needed"},
      {"position fen 8/8/8/8/8/8/8/8 w - - 0 1 moves d8h4", "d8h4", "white has 0 kings"},
      {"position fen 6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 " + longClock, "a1a8", ""},
      {"position fen 6k1/5ppp/8/8/8/8/8/R5K1 w - - " + longClock + " " + longClock, "a1a8", ""},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(bestMoveAfter("position startpos moves f2f3 e7e5 g2g4"), "d8h4");
    ASSERT_TRUE(e.send(c.position));
    GoReply r = go(e, "go depth 2");
    EXPECT_EQ(r.best, c.best) << c.position;
    const std::string said = "info string FEN rejected: " + c.info + "; the previous position stays";
    EXPECT_EQ(anyStartsWith(r.infoLines, "info string FEN rejected"), !c.info.empty()) << e.transcript();
    if (!c.info.empty()) EXPECT_TRUE(anyStartsWith(r.infoLines, said)) << e.transcript();
  }
}

TEST_F(PositionCommand, LongMoveListsAreReadWhole) {
  // 800 reversible plies (about 4000 characters), then a mate.
  std::string list = "position startpos moves";
  for (int i = 0; i < 200; i++) list += " g1f3 g8f6 f3g1 f6g8";
  ASSERT_GT(list.size(), 4000u);
  EXPECT_EQ(bestMoveAfter(list + " " + foolsMate), "0000");
  EXPECT_EQ(bestMoveAfter(list + " f2f3 e7e5 g2g4"), "d8h4");
  // A game sent ply by ply as a GUI does, then a new game.
  for (const char* game : {"position startpos moves f2f3", "position startpos moves f2f3 e7e5"}) ASSERT_TRUE(e.send(game));
  EXPECT_EQ(bestMoveAfter("position startpos moves f2f3 e7e5 g2g4"), "d8h4");
  EXPECT_EQ(bestMoveAfter("position startpos moves e2e4 f7f6 d2d4 g7g5"), "d1h5");
}

}  // namespace
