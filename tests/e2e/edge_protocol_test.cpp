// The driver at its edges: no legal move at the root in every search mode,
// searches that end by themselves while the GUI still expects to stop
// them, line ends and lost output during a search, and scores of the side
// that is losing.
#include <gtest/gtest.h>

#include "e2e/edge_support.h"

namespace {

using edge::GoReply;

class EdgeProtocol : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(e.start());
    ASSERT_TRUE(e.handshake());
  }
  void TearDown() override {
    if (!e.running()) return;
    e.send("quit");
    EXPECT_EQ(e.waitExit(), 0) << e.stderrText();
  }
  bool noBestMoveFor(int ms) {
    for (const std::string& l : e.linesFor(ms))
      if (l.rfind("bestmove", 0) == 0) return false;
    return true;
  }
  EngineProcess e;
};

constexpr char checkmated[] = "position startpos moves f2f3 e7e5 g2g4 d8h4";
constexpr char stalemated[] = "position fen 7k/5K2/6Q1/8/8/8/8/8 b - - 0 1";

TEST_F(EdgeProtocol, NoLegalMoveAnswersNullMoveAtOnceInEveryMode) {
  for (const char* position : {checkmated, stalemated}) {
    for (const char* goLine : {"go depth 5", "go movetime 5000", "go wtime 60000 btime 60000", "go nodes 100000"}) {
      ASSERT_TRUE(e.send(position));
      GoReply r = edge::go(e, goLine);
      EXPECT_EQ(r.bestLine, "bestmove 0000") << position << " / " << goLine << "\n" << e.transcript();
      EXPECT_LT(r.ms, 1000) << position << " / " << goLine;
    }
    // Pondering and infinite: the reply waits for the command that ends
    // the search, then it is the null move as well.
    for (const char* goLine : {"go infinite", "go ponder wtime 60000 btime 60000"}) {
      ASSERT_TRUE(e.send(position));
      ASSERT_TRUE(e.send(goLine));
      EXPECT_TRUE(noBestMoveFor(300)) << position << " / " << goLine;
      bool ok = false;
      e.syncLines(ok);
      EXPECT_TRUE(ok) << "isready during " << goLine;
      ASSERT_TRUE(e.send("stop"));
      GoReply r = edge::collect(e);
      EXPECT_EQ(r.bestLine, "bestmove 0000") << position << " / " << goLine << "\n" << e.transcript();
      EXPECT_LT(r.ms, 1000);
    }
  }
}

TEST_F(EdgeProtocol, SearchMovesWithoutALegalMoveSearchesEverything) {
  // Only one move here is not a mate in one: d1d8 mates, and "searchmoves"
  // naming only impossible moves must not leave the engine without any.
  ASSERT_TRUE(e.send("position fen 6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1"));
  for (const char* goLine : {"go depth 3 searchmoves e2e4 a1a8", "go depth 3 searchmoves xyz", "go depth 3 searchmoves"}) {
    GoReply r = edge::go(e, goLine);
    EXPECT_EQ(r.best, "d1d8") << goLine << "\n" << e.transcript();
  }
  // A legal list is obeyed, and the next search is free again.
  EXPECT_EQ(edge::go(e, "go depth 3 searchmoves h2h3").best, "h2h3") << e.transcript();
  EXPECT_EQ(edge::go(e, "go depth 3").best, "d1d8") << e.transcript();
}

TEST_F(EdgeProtocol, FinishedInfiniteAndPonderSearchesAnswerIsReadyAndWait) {
  // Mate in one: the search ends by itself almost at once.
  for (const char* goLine : {"go infinite", "go ponder wtime 60000 btime 60000", "go infinite depth 2"}) {
    ASSERT_TRUE(e.send("position fen 6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1"));
    ASSERT_TRUE(e.send(goLine));
    EXPECT_TRUE(noBestMoveFor(400)) << goLine;
    for (int i = 0; i < 3; i++) {
      bool ok = false;
      std::vector<std::string> seen = e.syncLines(ok, 2000);
      EXPECT_TRUE(ok) << goLine << ": isready unanswered while the search waits\n" << e.transcript();
      for (const std::string& l : seen) EXPECT_NE(l.rfind("bestmove", 0), 0u) << goLine << ": " << l;
    }
    ASSERT_TRUE(e.send("stop"));
    GoReply r = edge::collect(e, 2000);
    EXPECT_EQ(r.best, "d1d8") << goLine << "\n" << e.transcript();
  }
}

TEST_F(EdgeProtocol, CarriageReturnsAndBlanksAroundCommandsAndMoves) {
  ASSERT_TRUE(e.send("position startpos"));
  ASSERT_TRUE(e.send("go infinite"));
  EXPECT_TRUE(noBestMoveFor(200));
  ASSERT_TRUE(e.sendRaw("stop\r\n"));
  EXPECT_NE(edge::collect(e, 2000).bestLine, "") << "\"stop\\r\\n\" must stop the search";
  ASSERT_TRUE(e.send("go infinite"));
  EXPECT_TRUE(noBestMoveFor(200));
  ASSERT_TRUE(e.sendRaw("stop  \t \r\n"));
  EXPECT_NE(edge::collect(e, 2000).bestLine, "");
  // "e7e5\r" is the last move of the list; after it White mates at once.
  ASSERT_TRUE(e.sendRaw("position startpos moves f2f3 e7e5 g2g4 d8h4 \r\n"));
  EXPECT_EQ(edge::go(e, "go depth 2\r").bestLine, "bestmove 0000") << e.transcript();
  ASSERT_TRUE(e.sendRaw("position startpos moves e2e4 f7f6 d2d4 g7g5\r\n"));
  EXPECT_EQ(edge::go(e, "go depth 3  ").best, "d1h5") << e.transcript();
}

TEST_F(EdgeProtocol, LastLineWithoutNewlineIsACommand) {
  ASSERT_TRUE(e.send("position startpos moves e2e4 f7f6 d2d4 g7g5"));
  ASSERT_TRUE(e.sendRaw("go depth 3"));
  e.closeInput();
  // The unterminated "go" is searched before the lost input ends the program.
  EXPECT_EQ(e.waitExit(), 0);
  bool found = false;
  for (const std::string& l : e.lines()) found = found || l.rfind("bestmove d1h5", 0) == 0;
  EXPECT_TRUE(found) << e.transcript();
}

TEST_F(EdgeProtocol, LostOutputDuringASearchEndsInOrder) {
  ASSERT_TRUE(e.send("position startpos"));
  ASSERT_TRUE(e.send("go infinite"));
  EXPECT_TRUE(noBestMoveFor(200));
  e.closeOutput();
  // The search goes on printing its periodic reports; the first failed
  // write must end the program normally, not by a signal, and not hang.
  EXPECT_EQ(e.waitExit(10000), 0);
  std::string text = e.readFile("B12SP.pgn");
  EXPECT_EQ(countOccurrences(text, "FATAL ERROR: stdout pipe gone errno="), 1) << text;
}

TEST_F(EdgeProtocol, ScoresOfTheLosingSideArePrintedSigned) {
  // Black to move a queen and a rook down: every score is clearly negative
  // and none is a huge unsigned number.
  ASSERT_TRUE(e.send("position fen 4k3/8/8/8/8/8/3QR3/4K3 b - - 0 1"));
  GoReply r = edge::go(e, "go depth 5");
  ASSERT_FALSE(r.centipawns().empty()) << e.transcript();
  for (long long cp : r.centipawns()) {
    EXPECT_LT(cp, -500) << e.transcript();
    EXPECT_GT(cp, -7800) << e.transcript();
  }
  // The same with mates: Black's only move is answered by mate.
  ASSERT_TRUE(e.send("position fen 7k/8/6K1/8/8/8/8/1Q6 b - - 0 1"));
  r = edge::go(e, "go depth 4");
  EXPECT_EQ(r.best, "h8g8") << e.transcript();
  ASSERT_FALSE(r.mates().empty()) << e.transcript();
  EXPECT_EQ(r.mates().back(), -1) << e.transcript();
  for (const std::string& l : r.infoLines) {
    std::vector<std::string> w = edge::words(l);
    for (size_t i = 0; i + 1 < w.size(); i++)
      if (w[i] == "nodes") EXPECT_EQ(w[i + 1].find('-'), std::string::npos) << l;
  }
}

}  // namespace
