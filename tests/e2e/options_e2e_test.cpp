// The option list of both programs and "setoption" through the real pipe.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "e2e/engine_process.h"

namespace {

// The "option" lines of a "uci" reply, in order.
std::vector<std::string> OptionReply(EngineProcess& e) {
  std::vector<std::string> options;
  EXPECT_TRUE(e.send("uci"));
  std::string line;
  while (e.readLine(line) && line != "uciok")
    if (line.rfind("option ", 0) == 0) options.push_back(line);
  EXPECT_EQ(line, "uciok") << e.transcript();
  return options;
}

std::vector<std::string> ExpectedList(bool standard) {
  std::vector<std::string> l = {
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

// Compares a reply with the list; the measured Elo maximum and the notice
// behind the name are checked by pattern.
void ExpectList(const std::vector<std::string>& reply, bool standard, const std::string& name) {
  const std::vector<std::string> expected = ExpectedList(standard);
  ASSERT_EQ(reply.size(), expected.size());
  for (size_t i = 0; i < reply.size(); i++) {
    if (expected[i] == "UCI_Elo") {
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
}

TEST(OptionsE2E, EachProgramListsItsOptions) {
  {
    EngineProcess e;
    ASSERT_TRUE(e.start());
    ExpectList(OptionReply(e), true, "BRAXEN 12 SP");
  }
  {
    EngineProcess e;
    ASSERT_TRUE(e.start(BRAXEN_ENGINE_PB_PATH));
    ExpectList(OptionReply(e), false, "BRAXEN Veldmark 2007 SP");
    // The second edition has no Sharpen PV: setting it changes nothing.
    ASSERT_TRUE(e.send("setoption name Sharpen PV value true"));
    for (const std::string& l : OptionReply(e)) EXPECT_EQ(l.find("Sharpen PV"), std::string::npos);
  }
}

std::string Find(const std::vector<std::string>& lines, const std::string& name) {
  for (const std::string& l : lines)
    if (l.rfind("option name " + name + " type", 0) == 0) return l;
  return "";
}

TEST(OptionsE2E, SetOptionRoundTrips) {
  EngineProcess e;
  ASSERT_TRUE(e.start());
  ASSERT_TRUE(e.handshake());
  const char* commands[] = {
      "setoption name Braxen Draw Value value 50",
      "setoption name Hash value 0",
      "setoption name Hash value 2049",
      "setoption name hash value 32",
      "setoption name Selectivity value -1",
      "setoption name Selectivity value 8",
      "setoption name Selectivity value 3",
      "setoption name Futility value maybe",
      "setoption name Swindle value FALSE",
  };
  for (const char* c : commands) ASSERT_TRUE(e.send(c));
  ASSERT_TRUE(e.send("setoption name Book File value " + std::string(200, 'x')));
  ASSERT_TRUE(e.send("setoption name Playing Style value solid"));
  ASSERT_TRUE(e.send("setoption name MultiPV value 4"));
  // Nothing above is answered.
  bool ok = false;
  std::vector<std::string> before = e.syncLines(ok);
  ASSERT_TRUE(ok);
  EXPECT_TRUE(before.empty()) << e.transcript();

  const std::vector<std::string> reply = OptionReply(e);
  EXPECT_EQ(Find(reply, "Braxen Draw Value"), "option name Braxen Draw Value type spin min -100 max 100 default 50");
  EXPECT_EQ(Find(reply, "Hash"), "option name Hash type spin min 1 max 2048 default 32");
  EXPECT_EQ(Find(reply, "Selectivity"), "option name Selectivity type spin min 0 max 7 default 3");
  EXPECT_EQ(Find(reply, "Futility"), "option name Futility type check default true");
  EXPECT_EQ(Find(reply, "Swindle"), "option name Swindle type check default false");
  EXPECT_EQ(Find(reply, "Book File"), "option name Book File type string default B12SPBook.bxk");
  EXPECT_EQ(Find(reply, "Playing Style"),
            "option name Playing Style type combo default Solid var Active var Aggressive var Solid");
  EXPECT_EQ(Find(reply, "MultiPV"), "option name MultiPV type spin min 1 max 127 default 4");

  for (const char* v : {"100", "-100"}) {
    ASSERT_TRUE(e.send(std::string("setoption name Braxen Draw Value value ") + v));
    EXPECT_EQ(Find(OptionReply(e), "Braxen Draw Value"),
              std::string("option name Braxen Draw Value type spin min -100 max 100 default ") + v);
  }
  ASSERT_TRUE(e.send("quit"));
  EXPECT_EQ(e.waitExit(), 0);
}

TEST(OptionsE2E, BookFilePrintsItsStatusAtOnce) {
  EngineProcess e;
  ASSERT_TRUE(e.start());
  ASSERT_TRUE(e.handshake());
  ASSERT_TRUE(e.send("setoption name Book File value x.bxk"));
  std::string line;
  ASSERT_TRUE(e.readLine(line));
  EXPECT_EQ(line, "option name Book Status type string default NO BOOK FOUND");
  ASSERT_TRUE(e.readLine(line));
  EXPECT_EQ(line, "option name Book Positions type combo default 0 var 0");
  EXPECT_EQ(Find(OptionReply(e), "Book File"), "option name Book File type string default x.bxk");
  ASSERT_TRUE(e.send("quit"));
  EXPECT_EQ(e.waitExit(), 0);
}

}  // namespace
