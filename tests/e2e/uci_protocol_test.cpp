// The command loop through a pipe: identity and option list of both
// editions, keyword rules, the silence before "uci", "setoption" and quit.
#include <regex>

#include "e2e/engine_process.h"

namespace {

// The "id" and "option" lines of a "uci" reply, in order; "uciok" must end it.
std::vector<std::string> uciReply(EngineProcess& e, const std::string& command = "uci") {
  std::vector<std::string> reply;
  EXPECT_TRUE(e.send(command));
  std::string line;
  while (e.readLine(line) && line != "uciok")
    if (line.rfind("id ", 0) == 0 || line.rfind("option ", 0) == 0) reply.push_back(line);
  EXPECT_EQ(line, "uciok") << e.transcript();
  return reply;
}

std::string optionLine(const std::vector<std::string>& reply, const std::string& name) {
  for (const std::string& l : reply)
    if (l.rfind("option name " + name + " type", 0) == 0) return l;
  return "";
}

std::vector<std::string> expectedReply(bool standard, const std::string& name) {
  std::vector<std::string> l = {
      "id name " + name,
      "id author Tamblewick",
      "option name Ponder type check default true",
      "option name OwnBook type check default false",
      "option name Book File type string default B12SPBook.bxk",
      "option name Book Status type string default NO BOOK FOUND",
      "option name Book Positions type combo default 0 var 0",
      "option name Book Style type combo default Tournament var Wild var Wide var Varied var Tournament",
      "option name Book Learning type check default true",
      "option name Position Learning type check default true",
      "option name Hash type spin min 1 max 2048 default 16",
      "option name Clear Hash type button",
      "option name Retain Hash type check default true",
      "option name Use Tablebases type check default true",
      "option name Tablebase Depth type spin min 0 max 7 default 4",
      "option name NalimovCache type spin min 1 max 256 default 1",
      "option name NalimovPath type string default ",
      "option name Braxen Draw Value type spin min -100 max 100 default 0",
      "option name Playing Style type combo default Active var Active var Aggressive var Solid",
      "option name Selectivity type spin min 0 max 7 default 7",
      "option name Forward Pruning type spin min 0 max 16 default 10",
      "option name Threat Depth type spin min 0 max 7 default 5",
      "option name Smart Search type check default true",
      "option name Futility type check default true"};
  if (standard) l.push_back("option name Sharpen PV type check default false");
  l.push_back(std::string("option name Optimistic Search type check default ") + (standard ? "true" : "false"));
  l.push_back("option name Combinations type check default false");
  l.push_back(std::string("option name Extend Search type check default ") + (standard ? "true" : "false"));
  for (const char* s : {"option name Hyper-Modern Play type check default true",
                        "option name Swindle type check default true",
                        "option name GUI Time Lag type check default false",
                        "option name Verbose UCI type check default false",
                        "option name AutoSave PGN type check default true", "UCI_Elo",
                        "option name UCI_LimitStrength type check default false",
                        "option name UCI_Chess960 type check default false",
                        "option name MultiPV type spin min 1 max 127 default 1", "UCI_EngineAbout"})
    l.push_back(s);
  return l;
}

TEST(UciProtocol, EachEditionIdentifiesItselfAndListsItsOptions) {
  for (bool standard : {true, false}) {
    const std::string name = standard ? "BRAXEN 12 SP" : "BRAXEN Veldmark 2007 SP";
    SCOPED_TRACE(name);
    EngineProcess e;
    ASSERT_TRUE(e.start(standard ? BRAXEN_ENGINE_PATH : BRAXEN_ENGINE_PB_PATH));
    std::string banner;
    ASSERT_TRUE(e.readLine(banner));
    EXPECT_EQ(banner, "BRAXEN by Tamblewick");
    const std::vector<std::string> reply = uciReply(e), expected = expectedReply(standard, name);
    ASSERT_EQ(reply.size(), expected.size()) << e.transcript();
    for (size_t i = 0; i < reply.size(); i++) {
      if (expected[i] == "UCI_Elo") {
        // The maximum is measured at start-up.
        std::smatch m;
        ASSERT_TRUE(std::regex_match(reply[i], m, std::regex("option name UCI_Elo type spin min 1250 max ([0-9]+) default 2285")))
            << reply[i];
        EXPECT_GE(std::stoi(m[1]), 2285);
      } else if (expected[i] == "UCI_EngineAbout") {
        EXPECT_EQ(reply[i].rfind("option name UCI_EngineAbout type string default " + name + " ", 0), 0u) << reply[i];
      } else {
        EXPECT_EQ(reply[i], expected[i]);
      }
    }
    if (!standard) {  // the second edition has no Sharpen PV: setting it changes nothing
      ASSERT_TRUE(e.send("setoption name Sharpen PV value true"));
      EXPECT_EQ(optionLine(uciReply(e), "Sharpen PV"), "");
    }
    EXPECT_EQ(e.quit(), 0);
    EXPECT_EQ(e.stderrText(), "");
  }
}

TEST(UciProtocol, NothingIsAnsweredBeforeUciAndUciIsCaseInsensitiveButWholeWord) {
  EngineProcess e;
  ASSERT_TRUE(e.start());
  for (const char* c : {"isready", "STOP", "stop now", "debug on", "setoption name Hash value 1", "setoption foo",
                        "position startpos moves e2e4", "ucinewgame", "ponderhit", "go depth 1", "xyzzy", "", "   ",
                        "ucinewgame uci"})
    ASSERT_TRUE(e.send(c));
  ASSERT_TRUE(e.send("UCI"));
  std::string line;
  std::vector<std::string> before;
  while (e.readLine(line) && line.rfind("id name", 0) != 0) before.push_back(line);
  ASSERT_EQ(line, "id name BRAXEN 12 SP") << e.transcript();
  ASSERT_EQ(before.size(), 2u) << e.transcript();  // the banner and its notice line
  EXPECT_EQ(before[0], "BRAXEN by Tamblewick");
  EXPECT_EQ(e.waitFor("uciok"), "uciok");
  std::vector<std::string> again = uciReply(e, "Uci");
  ASSERT_FALSE(again.empty());
  EXPECT_EQ(again.front(), "id name BRAXEN 12 SP");
  bool ok;
  EXPECT_TRUE(e.syncLines(ok).empty());
  EXPECT_TRUE(ok);
}

TEST(UciProtocol, QuitCountsBeforeUciAndEndsTheLoopAtOnce) {
  EngineProcess e;
  ASSERT_TRUE(e.start());
  ASSERT_TRUE(e.sendRaw("QUIT\nuci\nisready\n"));
  EXPECT_EQ(e.waitExit(), 0);
  EXPECT_FALSE(anyStartsWith(e.lines(), "uciok"));
  EXPECT_EQ(e.readFile("B12SP.pgn").find("FATAL"), std::string::npos);
}

using UciCommands = EngineTest;

TEST_F(UciCommands, UnknownCommandsAndStopWhileIdle) {
  // reply nullptr: silent.
  const struct { const char* command; const char* reply; } cases[] = {
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
  for (const auto& c : cases) {
    ASSERT_TRUE(e.send(c.command));
    bool ok;
    std::vector<std::string> got = e.syncLines(ok);
    ASSERT_TRUE(ok) << c.command << "\n" << e.transcript();
    ASSERT_EQ(got.size(), c.reply == nullptr ? 0u : 1u) << "'" << c.command << "'\n" << e.transcript();
    if (c.reply != nullptr) EXPECT_EQ(got[0], c.reply);
  }
  // A burst of isready in both cases and line ends: one readyok each.
  std::string burst;
  for (int i = 0; i < 50; i++) burst += i % 2 ? "isready\n" : "ISREADY\r\n";
  ASSERT_TRUE(e.sendRaw(burst));
  for (int i = 0; i < 50; i++) ASSERT_EQ(e.waitFor("readyok"), "readyok") << i;
}

TEST_F(UciCommands, SetOptionRoundTripsThroughALaterUci) {
  for (const char* c : {"setoption name Braxen Draw Value value 50", "setoption name Hash value 0",
                        "setoption name Hash value 2049", "setoption name hash value 32",
                        "setoption name Selectivity value -1", "setoption name Selectivity value 8",
                        "setoption name Selectivity value 3", "setoption name Futility value maybe",
                        "setoption name Swindle value FALSE", "setoption name Playing Style value solid",
                        "setoption name MultiPV value 4"})
    ASSERT_TRUE(e.send(c));
  ASSERT_TRUE(e.send("setoption name Book File value " + std::string(200, 'x')));
  bool ok = false;
  EXPECT_TRUE(e.syncLines(ok).empty()) << "nothing above is answered\n" << e.transcript();
  ASSERT_TRUE(ok);

  std::vector<std::string> reply = uciReply(e);
  EXPECT_EQ(optionLine(reply, "Braxen Draw Value"), "option name Braxen Draw Value type spin min -100 max 100 default 50");
  EXPECT_EQ(optionLine(reply, "Hash"), "option name Hash type spin min 1 max 2048 default 32");
  EXPECT_EQ(optionLine(reply, "Selectivity"), "option name Selectivity type spin min 0 max 7 default 3");
  EXPECT_EQ(optionLine(reply, "Futility"), "option name Futility type check default true");
  EXPECT_EQ(optionLine(reply, "Swindle"), "option name Swindle type check default false");
  EXPECT_EQ(optionLine(reply, "Book File"), "option name Book File type string default B12SPBook.bxk");
  EXPECT_EQ(optionLine(reply, "Playing Style"),
            "option name Playing Style type combo default Solid var Active var Aggressive var Solid");
  EXPECT_EQ(optionLine(reply, "MultiPV"), "option name MultiPV type spin min 1 max 127 default 4");

  // A new book file reports its status at once.
  ASSERT_TRUE(e.send("setoption name Book File value x.bxk"));
  std::string line;
  ASSERT_TRUE(e.readLine(line));
  EXPECT_EQ(line, "option name Book Status type string default NO BOOK FOUND");
  ASSERT_TRUE(e.readLine(line));
  EXPECT_EQ(line, "option name Book Positions type combo default 0 var 0");
  EXPECT_EQ(optionLine(uciReply(e), "Book File"), "option name Book File type string default x.bxk");
}

}  // namespace
