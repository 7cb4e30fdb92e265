// Shared pieces of the end-to-end tests of positions and inputs at the
// edge: the reply to one "go", and a legality oracle for the moves the
// engine names.
#pragma once

#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e/engine_process.h"

namespace edge {

constexpr const char* OraclePath = "/usr/games/stockfish";

std::vector<std::string> words(const std::string& text);

// What the engine said between a "go" and its "bestmove".
struct GoReply {
  std::string bestLine;                 // "" when none came in time
  std::string best;                     // the move of "bestmove", "" when none
  std::string ponder;                   // "" when none
  std::vector<std::string> infoLines;   // every "info" line before it
  long long ms = 0;                     // from sending "go" to "bestmove"

  // Moves of each line that carries " pv ", in order.
  std::vector<std::vector<std::string>> pvs() const;
  // Every "score cp N" / "score mate N" value, as printed.
  std::vector<long long> centipawns() const;
  std::vector<long long> mates() const;
  // The pv of the last line that has one ({} without any).
  std::vector<std::string> lastPv() const;
};

// Sends goLine (already in the position wanted) and collects the reply.
GoReply go(EngineProcess& e, const std::string& goLine, int timeoutMs = ReplyTimeoutMs);
// Collects a reply to a "go" sent earlier, up to its "bestmove".
GoReply collect(EngineProcess& e, int timeoutMs = ReplyTimeoutMs);

// An independent move generator driven through its own UCI pipe. A
// position is given as the text after "position " ("fen ..." or "startpos
// moves ...").
class Oracle {
 public:
  // False (the test should fail) when the program is missing.
  bool start();
  // The legal moves in the position in coordinates ("e7e8q").
  std::set<std::string> legalMoves(const std::string& position);
  // "" when every move of line is legal in turn from position (and best is
  // legal or "0000" exactly when there is no legal move); else what is wrong.
  std::string checkLine(const std::string& position, const std::vector<std::string>& line);
  std::string checkReply(const std::string& position, const GoReply& reply);

 private:
  EngineProcess program;
};

// A started engine after "uci", with the oracle beside it; the engine is
// told to quit at the end and must exit with status 0.
class EngineWithOracle : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(oracle.start()) << OraclePath << " is needed as the legality oracle";
    ASSERT_TRUE(e.start());
    ASSERT_TRUE(e.handshake());
  }
  void TearDown() override {
    e.send("quit");
    EXPECT_EQ(e.waitExit(), 0) << e.stderrText();
  }
  // Sets up the position, searches it and checks every move of the reply.
  GoReply searchAndCheck(const std::string& position, const std::string& goLine) {
    EXPECT_TRUE(e.send("position " + position));
    GoReply r = go(e, goLine);
    EXPECT_EQ(oracle.checkReply(position, r), "") << position << "\n" << e.transcript();
    return r;
  }
  EngineProcess e;
  Oracle oracle;
};

// position + the moves of line, as one "position" argument.
std::string after(const std::string& position, const std::vector<std::string>& line);

}  // namespace edge
