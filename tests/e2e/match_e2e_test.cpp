// End-to-end tests of "braxen-tool match": small shell-script engines that
// play a fixed game, answer with an illegal move, never answer, answer too
// late or crash, and a short match of the engine against Debian's stockfish.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "e2e/engine_process.h"

namespace {

// A scratch folder for the script engines and game files of one test.
class MatchTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(dir.empty()); }

  // An executable shell script engine; onGo is the shell code run for "go",
  // with $n the number of moves played so far. "stop" gets "bestmove 0000".
  // It lists the given option lines and logs the setoption lines it gets
  // in FILE.options.
  std::string engineScript(const std::string& file, const std::string& onGo, const std::string& options = "") {
    std::string path = dir + "/" + file;
    std::ofstream(path) << "#!/bin/sh\nset -f\nn=0\nwhile IFS= read -r line; do\n  case \"$line\" in\n"
                           "    uci) echo \"id name " << file << "\"; printf '" << options << "'; echo uciok;;\n"
                           "    setoption*) echo \"$line\" >> " << path << ".options;;\n"
                           "    isready) echo readyok;;\n"
                           "    position*) n=0; seen=; for w in $line; do\n"
                           "        [ -n \"$seen\" ] && n=$((n+1)); [ \"$w\" = moves ] && seen=1; done;;\n"
                           "    go*) " << onGo << ";;\n"
                           "    stop) echo 'bestmove 0000';;\n"
                           "    quit) exit 0;;\n  esac\ndone\n";
    chmod(path.c_str(), 0755);
    return path;
  }
  // An engine that plays the given moves in turn, whichever side it has.
  std::string scriptedGame(const std::string& file, const std::string& moves) {
    return engineScript(file, "i=0; for m in " + moves +
                                  "; do if [ $i -eq $n ]; then echo \"info depth 1 score cp 0\"; "
                                  "echo \"bestmove $m\"; break; fi; i=$((i+1)); done");
  }

  // Runs the tool to its end: its exit status, with its output in `output`.
  int runMatch(const std::vector<std::string>& args, int timeoutMs = 60000) {
    EngineProcess tool;
    EngineLaunch launch;
    launch.program = BRAXEN_TOOL_PATH;
    launch.args = {"match"};
    launch.args.insert(launch.args.end(), args.begin(), args.end());
    if (!tool.start(launch)) {
      ADD_FAILURE() << "cannot start " << BRAXEN_TOOL_PATH;
      return -1;
    }
    auto started = std::chrono::steady_clock::now();
    int status = tool.waitExit(timeoutMs);
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    output = tool.transcript() + tool.stderrText();
    return status;
  }
  // A match of e1 (White first) against e2 with the further arguments.
  int runMatch(const std::string& e1, const std::string& e2, std::vector<std::string> more = {},
               int timeoutMs = 60000) {
    more.insert(more.begin(), {"--engine1", e1, "--engine2", e2});
    return runMatch(more, timeoutMs);
  }
  // Every part must be in text.
  static void expectIn(const std::string& text, std::initializer_list<std::string> parts) {
    for (const std::string& p : parts) EXPECT_NE(text.find(p), std::string::npos) << p << "\nin\n" << text;
  }
  // True when the process named in the file has ended (or is a zombie that
  // only waits for its new parent to reap it).
  bool processGone(const std::string& pidFile) {
    int pid = std::atoi(fileText(pidFile).c_str());
    for (int tries = 0; pid > 0 && tries < 50; ++tries) {
      if (kill(pid, 0) != 0) return true;
      std::string stat = fileText("/proc/" + std::to_string(pid) + "/stat");
      size_t paren = stat.rfind(')');
      if (paren != std::string::npos && paren + 2 < stat.size() && stat[paren + 2] == 'Z') return true;
      usleep(20000);
    }
    return false;
  }

  TempFolder scratch{"braxen-match"};
  const std::string dir = scratch.path;
  std::string output;
  double seconds = 0;
};

TEST_F(MatchTest, ScriptedGamesEndByTheRulesAndAreWrittenAsPgn) {
  std::string pgn = dir + "/games.pgn";
  std::string mate = scriptedGame("mate", "f2f3 e7e5 g2g4 d8h4");  // Black mates on the fourth half-move
  ASSERT_EQ(runMatch(mate, mate, {"--games", "1", "--tc", "2+0", "--pgn", pgn}), 0) << output;
  expectIn(output, {"0-1 (Black mates)"});
  expectIn(fileText(pgn), {"1. f3 {+0.00/1 ", "2. g4 {+0.00/1 ", " Qh4#", "{Black mates} 0-1", "[Result \"0-1\"]",
                           "[White \"mate (1)\"]", "[PlyCount \"4\"]"});
  // Knights out and back twice: the start position stands for the third
  // time after eight half-moves. The game file is appended to.
  std::string shuffle = scriptedGame("shuffle", "g1f3 g8f6 f3g1 f6g8 g1f3 g8f6 f3g1 f6g8 g1f3");
  ASSERT_EQ(runMatch(shuffle, shuffle, {"--games", "1", "--pgn", pgn}), 0) << output;
  expectIn(output, {"1/2-1/2 (threefold repetition), 8 plies"});
  expectIn(fileText(pgn), {"{Black mates} 0-1", "{threefold repetition} 1/2-1/2"});
}

// The clock fields of every "go" in the log, in order: {wtime, btime, winc, movestogo}.
std::vector<std::vector<long>> goClocks(const std::string& log) {
  std::vector<std::vector<long>> out;
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::vector<long> v(4, -1);
    for (std::string w; words >> w;) {
      long value = 0;
      int slot = w == "wtime" ? 0 : w == "btime" ? 1 : w == "winc" ? 2 : w == "movestogo" ? 3 : -1;
      if (slot >= 0 && words >> value) v[slot] = value;
    }
    out.push_back(v);
  }
  return out;
}

TEST_F(MatchTest, ClocksLoseTheTimeUsedAndGainIncrementsAndPeriods) {
  std::string log = dir + "/go.log";
  std::string shuffle = engineScript("clock", "echo \"$line\" >> " + log +
                                                  "; i=0; for m in g1f3 g8f6 f3g1 f6g8 g1f3 g8f6; do "
                                                  "[ $i -eq $n ] && echo \"bestmove $m\"; i=$((i+1)); done");
  ASSERT_EQ(runMatch(shuffle, shuffle, {"--games", "1", "--tc", "2+1", "--maxmoves", "2"}), 0) << output;
  expectIn(output, {"1/2-1/2 (game length limit), 4 plies"});
  std::vector<std::vector<long>> go = goClocks(fileText(log));
  ASSERT_EQ(go.size(), 4u) << fileText(log);
  EXPECT_EQ(go[0], (std::vector<long>{2000, 2000, 1000, -1}));
  // White has used a little of its time and gained the increment (a whole
  // second, so that a slow script start on a loaded machine cannot hide it).
  EXPECT_GT(go[1][0], 2000);
  EXPECT_LE(go[1][0], 3000);
  EXPECT_EQ(go[1][1], 2000);
  EXPECT_LE(go[2][0], go[1][0]);
  EXPECT_GT(go[2][1], 2000);
  EXPECT_LE(go[2][1], 3000);

  // Two moves per second: the third move of each side starts a new period.
  std::remove(log.c_str());
  ASSERT_EQ(runMatch(shuffle, shuffle, {"--games", "1", "--tc", "2/1", "--maxmoves", "3"}), 0) << output;
  go = goClocks(fileText(log));
  ASSERT_EQ(go.size(), 6u) << fileText(log);
  EXPECT_EQ(go[0], (std::vector<long>{1000, 1000, 0, 2}));
  EXPECT_EQ(go[2][3], 1);     // White's second move: the last of the period
  EXPECT_LE(go[2][0], 1000);  // a quick script may use under a millisecond
  EXPECT_EQ(go[4][3], 2);     // White's third move: a new period
  // A new period adds its second to what is left (without it, 1000 at most).
  EXPECT_GT(go[4][0], 1500);
  EXPECT_LE(go[4][0], 2000);
}

// The match never ponders: an engine offering "Ponder" is told so before the
// user's options, unless the user set it; one without the option is not.
TEST_F(MatchTest, PonderIsSwitchedOffUnlessTheUserSetsIt) {
  const std::string ponder = "option name Ponder type check default true\\n";
  const std::string play = "echo 'bestmove e2e4'";
  struct Case {
    std::string options, userOption, expected;
  } cases[] = {
      {ponder, "Hash=16", "setoption name Ponder value false\nsetoption name Hash value 16\n"},
      {ponder, "ponder=true", "setoption name ponder value true\n"},
      {"option name PonderMore type check default true\\n", "Hash=16", "setoption name Hash value 16\n"},
  };
  int n = 0;
  for (const Case& c : cases) {
    std::string name = "p" + std::to_string(n++);
    std::string engine = engineScript(name, play, c.options);
    std::string quiet = engineScript(name + "q", play);
    ASSERT_EQ(runMatch(engine, quiet, {"--option1", c.userOption, "--games", "1", "--tc", "2+1", "--maxmoves", "1"}), 0)
        << output;
    EXPECT_EQ(fileText(engine + ".options"), c.expected) << c.options;
  }
}

TEST_F(MatchTest, OpeningsArePlayedTwiceWithColoursSwapped) {
  std::string book = dir + "/book.epd";
  std::ofstream(book) << "# two openings, EPD with operations and FEN with counters\n"
                         "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - bm e5; id \"e4\";\n"
                         "\n"
                         "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 0 2\n";
  std::string pgn = dir + "/games.pgn";
  // Each script fits one side of one opening; the other games end at once
  // with an illegal move, which is all this test needs.
  std::string e1 = scriptedGame("one", "g1f3 g8f6 f3g1 f6g8");
  std::string e2 = scriptedGame("two", "g8f6 g1f3 f6g8 f3g1");
  ASSERT_EQ(runMatch(e1, e2, {"--games", "4", "--openings", book, "--pgn", pgn}), 0) << output;
  std::string games = fileText(pgn);
  for (const char* twice : {"[FEN \"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1\"]",
                            "[FEN \"rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 0 2\"]",
                            "[White \"one\"]", "[White \"two\"]"})
    EXPECT_EQ(countOccurrences(games, twice), 2) << twice << "\n" << games;
  expectIn(games, {"1... Nf6"});  // Black moves first in the first opening
  expectIn(output, {"Result one vs two: 4 games"});
}

TEST_F(MatchTest, IllegalMoveCrashAndBadCommandLines) {
  std::string idle = engineScript("idle", "true");
  std::string illegal = engineScript("illegal", "echo 'bestmove e2e5'");
  ASSERT_EQ(runMatch(illegal, idle, {"--games", "1"}), 0) << output;
  expectIn(output, {"0-1 (White plays an illegal move \"e2e5\")",
                    "Faults of illegal: time losses 0, illegal moves 1, crashes 0",
                    "Result illegal vs idle: 1 games, +0 =0 -1, score 0.0 %"});
  // "bestmove 0000" with legal moves on the board is no move either.
  ASSERT_EQ(runMatch(engineScript("null", "echo 'bestmove 0000'"), idle, {"--games", "1"}), 0) << output;
  expectIn(output, {"illegal move \"0000\""});
  std::string crash = engineScript("crash", "kill -SEGV $$");
  ASSERT_EQ(runMatch(crash, idle, {"--games", "2", "--tc", "0.5+0"}), 0) << output;
  expectIn(output, {"Game 1: crash - idle 0-1 (White engine crashed (killed by signal 11",
                    "Faults of crash: time losses 0, illegal moves 0, crashes 1, kills 0, restarts 1"});

  EXPECT_EQ(runMatch({"--engine1", idle}), 2) << output;
  EXPECT_EQ(runMatch(idle, idle, {"--tc", "5+"}), 2) << output;
  EXPECT_EQ(runMatch(idle, idle, {"--option1", "Hash"}), 2) << output;
  EXPECT_EQ(runMatch(dir + "/missing", idle), 1) << output;
  expectIn(output, {"cannot run"});
  std::string mute = dir + "/mute";
  std::ofstream(mute) << "#!/bin/sh\nexec sleep 30\n";
  chmod(mute.c_str(), 0755);
  // No "uciok": refused after the handshake timeout, not hung.
  EXPECT_EQ(runMatch(mute, idle, {"--uci-timeout", "300"}), 1) << output;
  expectIn(output, {"no uciok"});
}

TEST_F(MatchTest, SilentEngineLosesOnTimeAndIsKilledWithItsChildren) {
  std::string idle = engineScript("idle", "true");
  // On "go" it waits on a child and reads nothing more: "stop" goes unheard.
  std::string silent = engineScript("silent", "echo $$ > " + dir + "/silent.pid; sleep 30 & echo $! > " + dir +
                                                  "/child.pid; wait");
  ASSERT_EQ(runMatch(silent, idle, {"--games", "2", "--tc", "0.2+0"}, 20000), 0) << output;
  // Game 2: restarted, it has Black; idle never moves and loses on time too.
  expectIn(output, {"0-1 (White loses on time", "Game 2: idle - silent 0-1 (White loses on time",
                    "Faults of silent: time losses 1, illegal moves 0, crashes 0, kills 1, restarts 1",
                    "Faults of idle: time losses 1, illegal moves 0, crashes 0, kills 0, restarts 0"});
  EXPECT_TRUE(processGone(dir + "/silent.pid")) << "the engine still runs";
  EXPECT_TRUE(processGone(dir + "/child.pid")) << "the engine's child still runs";
  EXPECT_LT(seconds, 10.0);
}

TEST_F(MatchTest, LateAnswerLosesOnTimeButTheEngineStaysInTheMatch) {
  // Answers a legal move for either side, but only after 0.4 s.
  std::string late = engineScript("late", "sleep 0.4; if [ $n -eq 0 ]; then echo 'bestmove e2e4'; "
                                          "else echo 'bestmove e7e5'; fi");
  std::string quick = scriptedGame("quick", "e2e4");
  ASSERT_EQ(runMatch(late, quick, {"--games", "2", "--tc", "0.2+0"}), 0) << output;
  expectIn(output, {"Game 1: late - quick 0-1 (White loses on time", "Game 2: quick - late 1-0 (Black loses on time",
                    "Faults of late: time losses 2, illegal moves 0, crashes 0, kills 0, restarts 0"});
  // A flag fall against a bare king is a draw: nothing can mate.
  std::string book = dir + "/bare.fen";
  std::ofstream(book) << "4k3/8/8/8/8/8/8/R3K3 w - - 0 1\n";
  ASSERT_EQ(runMatch(late, quick, {"--games", "1", "--tc", "0.2+0", "--openings", book}), 0) << output;
  expectIn(output, {"1/2-1/2 (White loses on time", "draw, the opponent has a bare king)", "Faults of late: time losses 1,"});
}

TEST_F(MatchTest, TwoShortGamesAgainstStockfishWithoutFaults) {
  if (access(OraclePath, X_OK) != 0) GTEST_SKIP() << "SKIPPED: " << OraclePath << " is not installed";
  std::string pgn = dir + "/games.pgn";
  std::string book = std::string(BRAXEN_DATA_DIR) + "/openings/8moves_v3_2000.epd";
  ASSERT_EQ(runMatch(BRAXEN_ENGINE_PATH, OraclePath,
                     {"--option2", "UCI_LimitStrength=true", "--option2", "UCI_Elo=1500", "--tc", "1+0.01", "--games",
                      "2", "--openings", book, "--pgn", pgn, "--maxmoves", "60"}),
            0) << output;
  expectIn(output, {": 2 games,"});
  EXPECT_EQ(countOccurrences(output, "time losses 0, illegal moves 0, crashes 0, kills 0, restarts 0"), 2) << output;
  std::string games = fileText(pgn);
  EXPECT_EQ(countOccurrences(games, "[Event \"braxen-tool match\"]"), 2) << games;
  EXPECT_EQ(countOccurrences(games, "[TimeControl \"1+0.01\"]"), 2) << games;
  EXPECT_EQ(countOccurrences(games, "[Black \"Stockfish"), 1) << games;
}

}  // namespace
