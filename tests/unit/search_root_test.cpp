// The search driver through the engine's own command handlers: mates,
// decided root moves, draws and the ply bound of the tree search. Every
// reported move of searches at the edge of the board is checked against an
// independent move generator end to end.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "board/setup.h"
#include "engine/options.h"
#include "engine/report.h"
#include "engine/timecontrol.h"
#include "engine/uci.h"
#include "eval/eval.h"
#include "platform/platform.h"
#include "search/root.h"
#include "search/search.h"
#include "search/think.h"
#include "search/tt.h"
#include "test_support.h"

namespace {

class Driver : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Standard input becomes a pipe that never delivers: the search polls
    // it without blocking and never meets the end of input.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    dup2(fds[0], STDIN_FILENO);
    close(fds[0]);
  }
  void SetUp() override {
    ASSERT_TRUE(initSearchMemory());
    SetDefaultOptions();
    ASSERT_TRUE(ttAllocate(16384));
    uciActive = true;
    quitRequested = 0;
    linePending = false;
    searchState = 0;
    stopReason = 0;
    iterationDepth = 0;
    newGameAnnounced = true;
    run("ucinewgame");
    run("position startpos");
  }
  // Runs one command and returns what it printed.
  static std::string run(const std::string& text) {
    static char line[LineBufferSize];
    snprintf(line, sizeof line, "%s", text.c_str());
    ::testing::internal::CaptureStdout();
    HandleUciCommand(line);
    fflush(stdout);
    return ::testing::internal::GetCapturedStdout();
  }
  static std::string bestMoveOf(const std::string& out) {
    const size_t at = out.rfind("bestmove ");
    std::string m;
    if (at != std::string::npos) std::istringstream(out.substr(at + 9)) >> m;
    return m;
  }
  static std::vector<std::string> pvLinesOf(const std::string& out) {
    std::vector<std::string> v;
    for (const std::string& l : testsupport::linesOf(out))
      if (l.rfind("info ", 0) == 0 && l.find(" pv ") != std::string::npos) v.push_back(l);
    return v;
  }
  // Plays the move texts on the current position; false at the first one
  // that is not a legal move there. The position is restored unless
  // `keep` is set and every move was legal.
  static bool legalLine(const std::vector<std::string>& moves, std::string* bad, bool keep = false) {
    size_t made = 0;
    for (; made < moves.size(); made++) {
      Move m = parseMoveText(moves[made].c_str());
      if (m == 0 || !completeMove(pos.sideToMove, &m)) break;
      makeMove(m);
      if (moverLeftKingInCheck()) {
        unmakeMove();
        break;
      }
    }
    const bool ok = made == moves.size();
    if (!ok) *bad = moves[made];
    if (!ok || !keep)
      while (made-- > 0) unmakeMove();
    return ok;
  }
};

std::vector<std::string> pvMoves(const std::string& line) { return testsupport::words(line.substr(line.find(" pv ") + 4)); }

TEST_F(Driver, DepthLimitPrintsEveryIterationOnce) {
  const std::string out = run("go depth 3");
  for (int d = 1; d <= 3; d++)
    EXPECT_NE(out.find("info depth " + std::to_string(d) + " "), std::string::npos) << out;
  EXPECT_EQ(out.find("info depth 4 "), std::string::npos) << out;
  EXPECT_EQ(out.substr(out.rfind('\n', out.size() - 2) + 1, 9), "bestmove ") << out;
}

// The reported line of a mate runs to the mate itself: mate in n shows
// 2n - 1 moves, carries the ponder move, and the side to move at its end is
// checkmated. A mate in one is found at depth 1 and ends the search.
TEST_F(Driver, MateLinesReachTheMate) {
  const struct { const char* fen; int mateIn; } cases[] = {
      {"8/8/8/8/8/4B1kb/5rr1/7K b - - 0 1", 2},  // f2f1 e3g1 f1g1
      {"7k/5RR1/4b1KB/8/8/8/8/8 w - - 0 1", 2},  // the same with colours exchanged
      {"6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1", 1}};
  for (const auto& c : cases) {
    run(std::string("position fen ") + c.fen);
    const std::string out = run("go depth 8");
    ASSERT_FALSE(pvLinesOf(out).empty()) << c.fen;
    const std::string last = pvLinesOf(out).back();
    EXPECT_NE(last.find("score mate " + std::to_string(c.mateIn) + " "), std::string::npos) << out;
    if (c.mateIn == 1) EXPECT_TRUE(last.rfind("info depth 1 ", 0) == 0 && out.find("info depth 2 ") == std::string::npos) << out;
    const std::vector<std::string> line = pvMoves(last);
    ASSERT_EQ(static_cast<int>(line.size()), 2 * c.mateIn - 1) << out;
    if (c.mateIn > 1) EXPECT_NE(out.find("bestmove " + line[0] + "  ponder " + line[1]), std::string::npos) << out;
    std::string bad;
    ASSERT_TRUE(legalLine(line, &bad, true)) << bad;
    Move replies[MaxRootMoves];
    EXPECT_TRUE(isInCheck() && generateLegalMoves(replies) == 0) << "checkmate at the end of " << last;
    for (size_t i = 0; i < line.size(); i++) unmakeMove();
  }
}

// With MultiPV above 1 a mate on the board ends nothing: the other lines
// are searched to the depth asked for, and each depth has one header.
TEST_F(Driver, MultiPvSearchesOnPastAMate) {
  run("setoption name MultiPV value 3");
  run("position fen 6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1");
  const std::string out = run("go depth 5");
  int headers[7] = {};
  std::istringstream in(out);
  std::smatch m;
  for (std::string l; std::getline(in, l);)
    if (std::regex_match(l, m, std::regex("info depth ([0-9]) seldepth [0-9]+"))) headers[std::stoi(m[1])]++;
  for (int d = 1; d <= 5; d++) {
    EXPECT_EQ(headers[d], 1) << d << "\n" << out;
    EXPECT_NE(out.find("info multipv 2 depth " + std::to_string(d) + " "), std::string::npos) << out;
  }
  EXPECT_NE(out.find("info multipv 1 depth 5 seldepth"), std::string::npos) << out;
  EXPECT_EQ(bestMoveOf(out), "d1d8");
  run("setoption name MultiPV value 1");
}

// Without "Retain Hash" nothing of an earlier search steers the next one:
// the same search gives the same report, also after other searches.
TEST_F(Driver, WithoutRetainHashTheSameSearchGivesTheSameReport) {
  // The lines that do not depend on the clock: each iteration's result
  // (not the progress line of a slow search), the node total, the move.
  auto withoutTimes = [](const std::string& out) {
    std::string kept;
    std::istringstream in(out);
    for (std::string l; std::getline(in, l);)
      if (l.rfind("info currmove", 0) != 0) kept += std::regex_replace(l, std::regex(" (time|nps) [0-9]+"), "") + "\n";
    const size_t stats = kept.rfind("info nodes ");
    std::string tail = stats == std::string::npos ? kept : kept.substr(stats);
    const std::vector<std::string> lines = pvLinesOf(out);
    return (lines.empty() ? std::string() : std::regex_replace(lines.back(), std::regex(" (time|nps) [0-9]+"), "")) +
           "\n" + tail;
  };
  run("setoption name Position Learning value false");
  run("setoption name Retain Hash value false");
  const char* a = "position startpos moves e2e4 e7e5 g1f3 b8c6";
  run(a);
  const std::string first = withoutTimes(run("go depth 7"));
  for (int i = 0; i < 9; i++) {  // past a wrap of the table's generations
    run(i % 3 == 2 ? a : "position startpos moves d2d4 d7d5");
    run("go depth 5");
  }
  run(a);
  EXPECT_EQ(withoutTimes(run("go depth 7")), first);
  run("setoption name Retain Hash value true");
}

// A search stopped by the clock has still finished depth 1, whatever the
// clock; a clock of 2^31 - 1 ms neither overflows nor ends it early.
TEST_F(Driver, ClockExtremesStillSearchProperly) {
  run("position startpos moves e2e4 e7e5 g1f3 b8c6 f1b5 a7a6");
  std::string out = run("go wtime 1 btime 1");
  EXPECT_NE(out.find("info depth 1 "), std::string::npos) << out;
  EXPECT_EQ(out.find("info depth 0 "), std::string::npos) << out;
  out = run("go movestogo 1 wtime 2147483647 btime 2147483647 depth 5");
  EXPECT_NE(out.find("info depth 5 "), std::string::npos) << out;
}

// The line shown in mid-iteration is labelled with the depth it was found at.
TEST_F(Driver, ProgressLineShowsTheDepthOfItsLine) {
  run("go depth 4");
  searchState = 4;
  stopReason = 0;
  iterationDepth = 5;  // iteration 5 under way; the best move completed depth 4
  rootMoves[0].depth = 4;
  startTick = platformTick() - 600;
  hardLimit = NoTimeLimit;
  ::testing::internal::CaptureStdout();
  searchPoll();
  fflush(stdout);
  const std::string out = ::testing::internal::GetCapturedStdout();
  searchState = 0;
  iterationDepth = 0;
  EXPECT_EQ(out.rfind("info depth 4 ", 0), 0u) << out;
}

// Positions whose last iteration ends on a root fail high or fail low that
// is not resolved: the final line is still a confirmed one, whole and
// without a bound, and the ponder move comes with the best move.
TEST_F(Driver, TheFinalLineIsAConfirmedResult) {
  run("setoption name Position Learning value false");
  for (const char* fen : {"3R1rk1/8/5Qpp/2p5/2P1p1q1/P3P3/1P2PK2/8 b - - 0 1",
                          "r1b1kb1r/3q1ppp/pBp1pn2/8/Np3P2/5B2/PPP3PP/R2Q1RK1 w kq - 0 1"}) {
    run(std::string("position fen ") + fen);
    const std::string out = run("go depth 8");
    ASSERT_FALSE(pvLinesOf(out).empty()) << fen;
    const std::string last = pvLinesOf(out).back();
    EXPECT_EQ(last.find("bound"), std::string::npos) << out;
    const std::vector<std::string> line = pvMoves(last);
    ASSERT_GE(line.size(), 2u) << out;
    EXPECT_NE(out.find("bestmove " + line[0] + "  ponder " + line[1]), std::string::npos) << out;
  }
}

// A stop that cuts short the re-search of a fail high. When the confirmed
// move itself failed high, its confirmed result is what is known exactly
// and stands. When another move failed high over it, that move's bound
// already beats the confirmed score: it is played, its cut line completed
// from the table so that a ponder move comes with it.
TEST_F(Driver, AnUnconfirmedFailHighIsSettled) {
  run("position startpos moves e2e4 e7e5 g1f3 b8c6");
  const std::string out = run("go depth 6");
  ASSERT_GE(pvMoves(pvLinesOf(out).back()).size(), 3u) << out;
  const RootMove saved = rootMoves[0];
  rootMoves[0].line[2] = 0;
  rootMoves[0].score = static_cast<int16_t>(saved.score + 40);
  rootBoundState = 6;
  ASSERT_TRUE(settleRootResult());
  for (int j = 1; j <= 3; j++) EXPECT_EQ(rootMoves[0].line[j], saved.line[j]) << j;
  EXPECT_EQ(rootMoves[0].score, saved.score);
  EXPECT_EQ(rootBoundState, 4);
  EXPECT_FALSE(settleRootResult()) << "nothing more to restore";

  std::swap(rootMoves[0], rootMoves[2]);
  const Move promoted = rootMoves[0].line[1];
  rootMoves[0].line[2] = 0;
  rootMoves[0].score = static_cast<int16_t>(saved.score + 40);
  rootBoundState = 6;
  ASSERT_TRUE(settleRootResult());
  EXPECT_EQ(rootMoves[0].line[1], promoted);
  EXPECT_EQ(rootMoves[0].score, saved.score + 40);
  EXPECT_EQ(rootBoundState, 6) << "still reported as the bound it is";
  std::vector<std::string> line;
  for (int j = 1; rootMoves[0].line[j] != 0; j++) {
    std::string t = MoveText(rootMoves[0].line[j] & ~CheckMark, 0x9000);
    line.push_back(t.substr(0, t.find(' ')));
  }
  ASSERT_GE(line.size(), 2u) << "a reply from the table";
  std::string bad;
  EXPECT_TRUE(legalLine(line, &bad)) << bad;
}

TEST_F(Driver, NoLegalMoveAnswersTheNullMoveAtOnce) {
  for (const char* fen : {"7k/5Q2/6K1/8/8/8/8/8 b - - 0 1",      // stalemate
                          "R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1"}) {  // checkmate
    run(std::string("position fen ") + fen);
    const std::string out = run("go depth 8");
    EXPECT_EQ(bestMoveOf(out), "0000") << fen << "\n" << out;
    EXPECT_EQ(nodeCount, 0u) << "nothing is searched";
    EXPECT_TRUE(pvLinesOf(out).empty()) << out;
  }
}

TEST_F(Driver, FiftyMoveAndRepetitionDrawsScoreTheDrawValue) {
  // Every White move is quiet and passes the fifty-move limit.
  run("position fen 8/8/8/8/8/2k5/8/K6Q w - - 99 80");
  std::string out = run("go depth 4");
  ASSERT_FALSE(pvLinesOf(out).empty()) << out;
  EXPECT_NE(pvLinesOf(out).back().find("score cp 0 "), std::string::npos) << out;
  run("setoption name Braxen Draw Value value 100");
  out = run("go depth 4");
  EXPECT_NE(pvLinesOf(out).back().find("score cp 100 "), std::string::npos) << "a draw worth a pawn\n" << out;
  run("setoption name Braxen Draw Value value 0");

  // A queen down, White repeats the position a third time rather than lose.
  run("position fen k7/8/8/8/8/8/q7/6NK w - - 0 1 moves g1f3 a8b8 f3g1 b8a8 g1f3 a8b8 f3g1 b8a8");
  out = run("go depth 5");
  EXPECT_EQ(bestMoveOf(out), "g1f3") << out;
  EXPECT_NE(pvLinesOf(out).back().find("score cp 0 "), std::string::npos) << out;
}

// Swindle plays on in a drawn ending only for the side materially ahead,
// with the option on and time to think.
TEST_F(Driver, SwindlePlaysOnInADrawnEndingWhenAhead) {
  struct Case { const char* position; bool swindle; int32_t maxMs; int playOn; };
  const Case cases[] = {
      {"fen 8/8/3k4/8/8/3K4/3N4/8 w - - 0 1", true, 1000, 1},   // KN v K: a certain draw, a knight ahead
      {"fen 8/8/3k4/8/8/3K4/3N4/8 w - - 0 1", false, 1000, 0},  // option off
      {"fen 8/8/3k4/8/8/3K4/3N4/8 w - - 0 1", true, 20, 0},     // no time
      {"fen 8/8/3k4/8/8/3K4/3N4/8 b - - 0 1", true, 1000, 0},   // the side behind
      {"fen 8/8/3k4/8/8/3K4/3Q4/8 w - - 0 1", true, 1000, 0},   // ahead but no draw
  };
  for (const Case& c : cases) {
    run(std::string("setoption name Swindle value ") + (c.swindle ? "true" : "false"));
    run(std::string("position ") + c.position);
    maxTime = c.maxMs;
    run("go depth 1");
    EXPECT_EQ(tablebaseDrawPlayOn, c.playOn) << c.position << " swindle " << c.swindle << " " << c.maxMs;
  }
}

TEST_F(Driver, TreeSearchStopsAtTheDeepestSupportedPly) {
  // Queens everywhere give long check sequences; the search at the last
  // plies of the stack must return without making a move beyond it.
  ASSERT_TRUE(parseFen("8/8/8/7k/8/QQQ5/QQQ5/QQQK4 w - - 0 1"));
  searchFlags = optionFlags;
  rootPly = pos.plyCount;
  pos.plyTop = &pos.plyStack[0];
  const uint64_t key = pos.hashKey;
  for (int ply = DeepestPly - 6; ply <= DeepestPly + 1; ply++) {
    const int at = ply < MaxPly ? ply : MaxPly - 1;
    const int record = ply - 1 < MaxPly ? ply - 1 : MaxPly - 1;  // plyTop stands for the node's ply
    pos.plyStack[record] = pos.plyStack[0];
    pos.plyTop = &pos.plyStack[record];
    moveListStart[at] = moveBuffer + MoveBufferSize - 2 * MaxMovesPerPly;
    stopReason = 0;
    EXPECT_GT(search(at, 40, 0, -8192, 8192, 0, 0), -8192) << ply;
    EXPECT_EQ(pos.hashKey, key) << "every move made is taken back";
    EXPECT_GT(quiescence(at, 0, -8192, 8192, 0), -8192) << ply;
  }
  pos.plyTop = &pos.plyStack[0];
}

TEST_F(Driver, NullMoveNeverReturnsAnUnprovenMate) {
  // The table says the side that has passed to is mated (as a deeper
  // search of another line found). A mate seen after an illegal pass
  // proves nothing about this node: it may only claim beta.
  run("position fen n6k/p7/6K1/8/8/8/8/1Q6 w - - 0 1");
  run("ucinewgame");
  searchFlags = optionFlags;
  rootPly = pos.plyCount;
  pos.plyTop = &pos.plyStack[0];
  pos.plyStack[1] = pos.plyStack[0];
  pos.plyTop = &pos.plyStack[1];
  pos.plyTop->move = makeMoveWord(0, 1, 0);
  moveListStart[2] = moveBuffer;
  stopReason = 0;
  ttNewGeneration();
  ttStore(Black, TTExact, 5 - 8193, 0, 10, 3, 0);
  const int s = search(2, 6, 0, 0, 1, 0, 1);
  EXPECT_LE(s, ScoreMateThreshold) << "a null-move cutoff returned a mate score";
  EXPECT_GE(s, 1);
  TTHit hit;
  if (ttProbe(White, 2, &hit)) EXPECT_LE(hit.score, ScoreMateThreshold) << "and stored none either";
  pos.plyTop = &pos.plyStack[0];
}

}  // namespace
