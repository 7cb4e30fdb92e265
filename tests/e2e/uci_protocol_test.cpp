// The command loop through a pipe: identity, readiness, keyword rules, the
// silence before "uci" and the end of the program.
#include <gtest/gtest.h>

#include "e2e/engine_process.h"

namespace {

// Lines of the "uci" reply, "uciok" included.
std::vector<std::string> uciReply(EngineProcess& e, const std::string& command = "uci") {
  std::vector<std::string> reply;
  if (!e.send(command)) return reply;
  std::string line;
  while (e.readLine(line)) {
    if (line.rfind("id ", 0) == 0 || line.rfind("option ", 0) == 0 || line == "uciok") reply.push_back(line);
    if (line == "uciok") break;
  }
  return reply;
}

void expectIdentity(const std::string& program, const std::string& name) {
  EngineProcess e;
  ASSERT_TRUE(e.start(program));
  std::string first;
  ASSERT_TRUE(e.readLine(first));
  EXPECT_EQ(first, "BRAXEN by Tamblewick");
  std::vector<std::string> reply = uciReply(e);
  ASSERT_GE(reply.size(), 3u) << e.transcript();
  EXPECT_EQ(reply[0], "id name " + name);
  EXPECT_EQ(reply[1], "id author Tamblewick");
  EXPECT_EQ(reply.back(), "uciok");
  for (size_t i = 2; i + 1 < reply.size(); i++) EXPECT_EQ(reply[i].rfind("option name ", 0), 0u) << reply[i];
  e.send("quit");
  EXPECT_EQ(e.waitExit(), 0);
}

TEST(UciProtocol, IdentityOfBothEditions) {
  expectIdentity(BRAXEN_ENGINE_PATH, "BRAXEN 12 SP");
  expectIdentity(BRAXEN_ENGINE_PB_PATH, "BRAXEN Veldmark 2007 SP");
}

TEST(UciProtocol, UciIsCaseInsensitiveButWholeWord) {
  EngineProcess e;
  ASSERT_TRUE(e.start());
  // "ucinewgame" is not "uci": it must stay unanswered like any command before "uci".
  ASSERT_TRUE(e.send("ucinewgame"));
  ASSERT_TRUE(e.send("UCI"));
  EXPECT_EQ(e.waitFor("id name"), "id name BRAXEN 12 SP") << e.transcript();
  EXPECT_EQ(e.waitFor("uciok"), "uciok");
  std::vector<std::string> again = uciReply(e, "Uci");
  ASSERT_FALSE(again.empty());
  EXPECT_EQ(again.front(), "id name BRAXEN 12 SP");
  bool ok;
  EXPECT_TRUE(e.syncLines(ok).empty());
  EXPECT_TRUE(ok);
}

TEST(UciProtocol, NothingIsAnsweredBeforeUci) {
  EngineProcess e;
  ASSERT_TRUE(e.start());
  for (const char* c : {"isready", "STOP", "stop now", "debug on", "setoption name Hash value 1",
                        "setoption foo", "position startpos moves e2e4", "ucinewgame", "ponderhit",
                        "go depth 1", "xyzzy", "", "   ", "ucinewgame uci"})
    ASSERT_TRUE(e.send(c));
  ASSERT_TRUE(e.send("uci"));
  std::string line;
  std::vector<std::string> before;
  while (e.readLine(line) && line.rfind("id name", 0) != 0) before.push_back(line);
  ASSERT_EQ(line, "id name BRAXEN 12 SP") << e.transcript();
  ASSERT_EQ(before.size(), 2u) << e.transcript();  // the banner and its notice line
  EXPECT_EQ(before[0], "BRAXEN by Tamblewick");
  EXPECT_EQ(e.waitFor("uciok"), "uciok");
  bool ok;
  EXPECT_TRUE(e.syncLines(ok).empty());
  EXPECT_TRUE(ok);
}

TEST(UciProtocol, UnknownCommandsAndStop) {
  EngineProcess e;
  ASSERT_TRUE(e.start());
  ASSERT_TRUE(e.handshake());
  struct Case {
    const char* command;
    const char* reply;  // nullptr: silent
  } cases[] = {
      {"stop", nullptr},
      {"stop\r", nullptr},
      {"stop   ", nullptr},
      {"STOP", "info string unknown UCI <STOP> command"},
      {"stop now", "info string unknown UCI <stop now> command"},
      {"debug on", "info string unknown UCI <debug on> command"},
      {"xyzzy", "info string unknown UCI <xyzzy> command"},
      {"setoption foo bar", "info string unknown UCI <foo bar> command"},
      {"uciok", "info string unknown UCI <uciok> command"},
      {"ponderhit", nullptr},  // no search to switch
      {"", nullptr},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(e.send(c.command));
    bool ok;
    std::vector<std::string> got = e.syncLines(ok);
    ASSERT_TRUE(ok) << c.command << "\n" << e.transcript();
    if (c.reply == nullptr) {
      EXPECT_TRUE(got.empty()) << "'" << c.command << "' answered " << got.front();
    } else {
      ASSERT_EQ(got.size(), 1u) << c.command;
      EXPECT_EQ(got[0], c.reply);
    }
  }
}

TEST(UciProtocol, IsReadyAnswersEveryTime) {
  EngineProcess e;
  ASSERT_TRUE(e.start());
  ASSERT_TRUE(e.handshake());
  std::string burst;
  for (int i = 0; i < 50; i++) burst += i % 2 ? "isready\n" : "ISREADY\r\n";
  ASSERT_TRUE(e.sendRaw(burst));
  for (int i = 0; i < 50; i++) ASSERT_EQ(e.waitFor("readyok"), "readyok") << i;
}

TEST(UciProtocol, QuitEndsWithStatusZero) {
  {
    EngineProcess e;
    ASSERT_TRUE(e.start());
    ASSERT_TRUE(e.handshake());
    ASSERT_TRUE(e.send("quit"));
    EXPECT_EQ(e.waitExit(), 0);
    EXPECT_EQ(e.stderrText(), "");
  }
  {
    // "quit" counts before "uci" too, and ends the loop even with more lines queued.
    EngineProcess e;
    ASSERT_TRUE(e.start());
    ASSERT_TRUE(e.sendRaw("QUIT\nuci\nisready\n"));
    EXPECT_EQ(e.waitExit(), 0);
    for (const std::string& l : e.lines()) EXPECT_NE(l, "uciok");
    EXPECT_EQ(e.readFile("B12SP.pgn").find("FATAL"), std::string::npos);
  }
}

}  // namespace
