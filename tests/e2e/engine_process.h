// Drives a real program through pipes for the end-to-end tests. Each runs in
// a fresh temporary folder, removed at the end: it is the working directory
// and APPDATA (so the data folder is <tmp>/BRAXEN Chess), and standard error
// goes to <tmp>/stderr.txt. No call waits longer than its timeout; a
// program still running at the end is killed.
#pragma once

#include <set>
#include <string>
#include <sys/types.h>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

#ifndef BRAXEN_ENGINE_PATH
#define BRAXEN_ENGINE_PATH "braxen-engine"
#endif
#ifndef BRAXEN_ENGINE_PB_PATH
#define BRAXEN_ENGINE_PB_PATH "braxen-engine-pb"
#endif
#ifndef BRAXEN_TOOL_PATH
#define BRAXEN_TOOL_PATH "braxen-tool"
#endif

// Generous default for replies: sanitizer builds are several times slower.
constexpr int ReplyTimeoutMs = 20000;
constexpr const char* OraclePath = "/usr/games/stockfish";

struct EngineLaunch {
  std::string program = BRAXEN_ENGINE_PATH;
  std::vector<std::string> args;  // after argv[0]
  std::vector<std::string> env;   // "NAME=value", applied after APPDATA
};

class EngineProcess {
 public:
  EngineProcess();
  ~EngineProcess();
  EngineProcess(const EngineProcess&) = delete;
  EngineProcess& operator=(const EngineProcess&) = delete;

  bool start(const EngineLaunch& launch = EngineLaunch());
  bool start(const std::string& program) {
    EngineLaunch l;
    l.program = program;
    return start(l);
  }

  // Writes text plus "\n" (send) or the bytes as given (sendRaw). False when
  // the program no longer reads or the pipe stays full past the timeout.
  bool send(const std::string& line, int timeoutMs = ReplyTimeoutMs);
  bool sendRaw(const std::string& bytes, int timeoutMs = ReplyTimeoutMs);
  void closeInput();
  void closeOutput();  // the program's next write fails

  // Next output line without its newline; false on timeout or end of output.
  // Every line read is also kept in lines().
  bool readLine(std::string& line, int timeoutMs = ReplyTimeoutMs);
  // Reads until a line starts with prefix and returns it; "" on timeout.
  std::string waitFor(const std::string& prefix, int timeoutMs = ReplyTimeoutMs);
  // Lines read during the next ms milliseconds (or until end of output).
  std::vector<std::string> linesFor(int ms);
  bool handshake(int timeoutMs = ReplyTimeoutMs) { return send("uci") && waitFor("uciok", timeoutMs) == "uciok"; }
  // Sends "isready" and returns the lines before "readyok"; ok tells whether it came.
  std::vector<std::string> syncLines(bool& ok, int timeoutMs = ReplyTimeoutMs);
  // The same without the lines: whether "readyok" came.
  bool synced(int timeoutMs = ReplyTimeoutMs) {
    bool ok = false;
    syncLines(ok, timeoutMs);
    return ok;
  }

  // The exit status, 128 + signal number after a signal, -1 when the program
  // did not end in time (it is then killed). Unread output goes to lines().
  int waitExit(int timeoutMs = ReplyTimeoutMs);
  bool running();
  // Sends "quit" and waits for the end: the exit status, -2 when the
  // program no longer read its input.
  int quit(int timeoutMs = ReplyTimeoutMs) { return send("quit") ? waitExit(timeoutMs) : -2; }
  bool waited() const { return exitWaited; }

  const std::string& folder() const { return tempFolder; }
  // Content of a file ("" when missing); a relative name is in the data folder.
  std::string readFile(const std::string& name) const;
  std::string stderrText() const { return readFile(tempFolder + "/stderr.txt"); }
  std::string transcript() const;
  const std::vector<std::string>& lines() const { return allLines; }

 private:
  bool fillOutput(int timeoutMs);
  void finish();

  pid_t pid = -1;
  int toEngine = -1;
  int fromEngine = -1;
  bool outputEnded = false;
  bool exitWaited = false;
  int exitStatus = -1;
  std::string tempFolder;
  std::string pendingOutput;
  std::vector<std::string> allLines;
};

using testsupport::commandOutput;
using testsupport::countOccurrences;
using testsupport::words;
using testsupport::fileText;
using testsupport::linesOf;
using testsupport::TempFolder;

// Output and errors of "braxen-tool ARGS"; status gets its exit code.
inline std::string toolOutput(const std::string& args, int* status = nullptr) {
  return commandOutput(std::string(BRAXEN_TOOL_PATH) + " " + args + " 2>&1", status);
}

bool anyStartsWith(const std::vector<std::string>& lines, const std::string& prefix);

// What the engine said between a "go" and its "bestmove".
struct GoReply {
  std::string bestLine;                // "" when none came in time
  std::string best, ponder;            // the moves of that line, "" when none
  std::vector<std::string> infoLines;  // every "info" line before it
  long long ms = 0;                    // from sending "go" (or collecting) to "bestmove"

  std::vector<std::vector<std::string>> pvs() const;  // the moves of each pv
  std::vector<long long> scores(const std::string& kind) const;  // "cp" or "mate" values
};
GoReply go(EngineProcess& e, const std::string& goLine, int timeoutMs = ReplyTimeoutMs);
// Collects the reply to a "go" sent earlier.
GoReply collect(EngineProcess& e, int timeoutMs = ReplyTimeoutMs);

// An independent move generator behind its own pipe. A position is the text
// after "position " ("fen ..." or "startpos moves ...").
class Oracle {
 public:
  bool start();  // false when the program is missing
  std::set<std::string> legalMoves(const std::string& position);
  // "" when every move of the reply (best, ponder, each pv) is legal in turn
  // and best is "0000" exactly when there is no legal move; else what is wrong.
  std::string checkReply(const std::string& position, const GoReply& reply);

 private:
  std::string checkLine(const std::string& position, const std::vector<std::string>& line);
  EngineProcess program;
};

// position + the moves of line, as one "position" argument.
std::string after(const std::string& position, const std::vector<std::string>& line);

// A started engine after "uci"; unless the test waited for its end, it is
// told to quit and must exit with status 0.
class EngineTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(e.start());
    ASSERT_TRUE(e.handshake());
  }
  void TearDown() override {
    if (e.waited()) return;
    e.send("quit");
    EXPECT_EQ(e.waitExit(), 0) << e.stderrText();
  }
  bool noBestMoveFor(int ms) { return !anyStartsWith(e.linesFor(ms), "bestmove"); }
  EngineProcess e;
};

// The same with the oracle beside it, which must be installed.
class EngineWithOracle : public EngineTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(oracle.start()) << OraclePath << " is needed as the legality oracle";
    EngineTest::SetUp();
  }
  // Sets up the position, searches it and checks every move of the reply.
  GoReply searchAndCheck(const std::string& position, const std::string& goLine) {
    EXPECT_TRUE(e.send("position " + position));
    GoReply r = go(e, goLine);
    EXPECT_EQ(oracle.checkReply(position, r), "") << position << "\n" << e.transcript();
    return r;
  }
  Oracle oracle;
};
