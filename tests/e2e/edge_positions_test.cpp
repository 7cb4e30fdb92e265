// Searches of positions at the edge of what chess allows, through the real
// program: a full 218-move list, nine queens, many promotions, the perft
// suites' tangles, games hundreds of plies long, board traps and stops in
// the middle of a root move. Every move the engine names (best, ponder,
// each pv) is checked by an independent move generator.
#include <random>

#include "e2e/engine_process.h"

namespace {

using EdgePositions = EngineWithOracle;

// The largest static score a real position can have is far below the mate
// range; a "cp" beyond it means a score was printed unclamped or unsigned.
constexpr long long MaxPrintedCentipawns = 7800 * 100 / 128;

TEST_F(EdgePositions, FullListsAndManyMenOfAKindAtDepthSix) {
  const char* fens[] = {
      "R6R/3Q4/1Q4Q1/4Q3/2Q4Q/Q4Q2/pp1Q4/kBNN1KB1 w - - 0 1",  // 218 legal moves
      "8/8/8/7k/8/QQQ5/QQQ5/QQQK4 w - - 0 1",                 // nine queens
      "7k/8/8/8/8/8/8/KQQQQQQ1 w - - 0 1",                    // six queens against a bare king
      "NNNNk3/8/8/8/8/8/8/4K3 w - - 0 1",
      "4k3/8/8/8/8/8/nnnn4/bbb1K3 w - - 0 1",  // with Black to move the king could be taken
      "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1",
      "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N w - - 0 1",
      "7k/1P6/8/8/8/8/5BBB/NNNRRRK1 w - - 0 1",  // under-promotion to a fourth knight, rook or bishop
      // The perft suites' castling, en-passant and promotion tangles, and a combination.
      "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
      "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
      "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
      "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
      "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - 0 1",
  };
  for (const char* fen : fens) {
    GoReply r = searchAndCheck(std::string("fen ") + fen, "go depth 6");
    EXPECT_FALSE(r.best.empty() || r.best == "0000") << fen;
    for (long long cp : r.scores("cp")) EXPECT_LE(std::llabs(cp), MaxPrintedCentipawns) << fen;
    // The move played is the first move of the last line reported.
    ASSERT_FALSE(r.pvs().empty()) << fen;
    EXPECT_EQ(r.pvs().back().front(), r.best) << fen << "\n" << e.transcript();
  }
}

TEST_F(EdgePositions, LongRandomGameThenASearch) {
  // A random legal game from the oracle's lists, 520 plies unless it ends
  // earlier (then the next seed); the engine searches at several points.
  std::string game;
  for (unsigned seed = 1; seed < 40 && game.empty(); seed++) {
    std::mt19937 random(seed);
    std::string moves = "startpos moves";
    int ply = 0;
    for (; ply < 520; ply++) {
      std::set<std::string> legal = oracle.legalMoves(moves);
      if (legal.empty()) break;
      auto it = legal.begin();
      std::advance(it, random() % legal.size());
      moves += " " + *it;
      if (ply == 200 || (ply >= 397 && ply <= 399)) searchAndCheck(moves, "go depth 3");
    }
    if (ply == 520) game = moves;
  }
  ASSERT_FALSE(game.empty()) << "no seed gave a 520-ply game";
  searchAndCheck(game, "go depth 4");
  ASSERT_TRUE(e.send("ucinewgame"));  // sent again whole, as a new game
  searchAndCheck(game, "go depth 4");
}

TEST_F(EdgePositions, DeepDepthRequestsAreClampedToThePlyLimit) {
  // Tiny trees (bare kings, a blocked file, a stalemate), so that the
  // iterations really reach the deepest ply the tables hold.
  for (const char* fen : {"8/8/4k3/8/8/4K3/8/8 w - - 0 1", "4k3/4p3/4P3/8/8/8/8/4K3 w - - 0 1",
                          "7k/5K2/6Q1/8/8/8/8/8 b - - 0 1"}) {
    GoReply r = searchAndCheck(std::string("fen ") + fen, "go depth 200");
    ASSERT_FALSE(r.bestLine.empty()) << fen;
    for (const std::string& l : r.infoLines) {
      std::vector<std::string> w = words(l);
      for (size_t i = 0; i + 1 < w.size(); i++)
        if (w[i] == "depth" || w[i] == "seldepth") EXPECT_LE(std::stoll(w[i + 1]), 64) << l;
    }
  }
  // Three queens a side: far too big a tree to end by itself; stopped by hand.
  const std::string queens = "fen k7/qqq5/8/8/8/8/5QQQ/7K w - - 0 1";
  ASSERT_TRUE(e.send("position " + queens));
  ASSERT_TRUE(e.send("go depth 200"));
  EXPECT_TRUE(noBestMoveFor(300));
  ASSERT_TRUE(e.send("stop"));
  EXPECT_EQ(oracle.checkReply(queens, collect(e)), "") << e.transcript();
}

TEST_F(EdgePositions, PinnedPawnThatCanPushIsNoStalemate) {
  // After h8a8 the a3 pawn is pinned along its file but can push: a3a4 is
  // White's only move, then Black mates. Taking the push for no move would
  // score a stalemate instead of the mate in two.
  const std::string position = "fen 7r/8/8/8/8/P7/2k5/Kb6 b - - 0 1";
  GoReply r = searchAndCheck(position, "go depth 6");
  ASSERT_FALSE(r.scores("mate").empty()) << e.transcript();
  EXPECT_EQ(r.scores("mate").back(), 2) << e.transcript();
  r = searchAndCheck(position + " moves h8a8", "go depth 4");
  EXPECT_EQ(r.best, "a3a4") << e.transcript();
  ASSERT_FALSE(r.scores("mate").empty()) << e.transcript();
  EXPECT_EQ(r.scores("mate").back(), -1) << e.transcript();
}

TEST_F(EdgePositions, HalfmoveClockFromTheFenEndsTheGameAfterOneQuietMove) {
  // A rook up, but 99 plies without capture or pawn move: drawn whatever
  // White plays (no mate in one, nothing to take).
  GoReply r = searchAndCheck("fen 4k3/8/8/8/8/8/8/R3K3 w - - 99 60", "go depth 6");
  ASSERT_FALSE(r.scores("cp").empty()) << e.transcript();
  EXPECT_EQ(r.scores("cp").back(), 0) << e.transcript();
  // With a fresh clock the same position is a clear win.
  r = searchAndCheck("fen 4k3/8/8/8/8/8/8/R3K3 w - - 0 60", "go depth 6");
  if (r.scores("mate").empty()) {
    ASSERT_FALSE(r.scores("cp").empty()) << e.transcript();
    EXPECT_GT(r.scores("cp").back(), 300) << e.transcript();
  } else {
    EXPECT_GT(r.scores("mate").back(), 0) << e.transcript();
  }
  // A capture resets the clock and is then the only way to keep the win.
  EXPECT_EQ(searchAndCheck("fen 4k3/8/8/8/8/8/7n/R3K2R w - - 99 60", "go depth 5").best, "h1h2") << e.transcript();
}

TEST_F(EdgePositions, StopsAtRandomMomentsReportTheBestOfCompletedSearches) {
  // The side to move is clearly worse: an interrupted root move unwinds with
  // 0, which would look better than every real score if it were taken. The
  // move reported must be the first of the last pv printed.
  const char* fens[] = {
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNB1KBNR w KQkq - 0 1",  // a queen down
      "3qk3/8/8/8/8/8/3PPP2/4K3 w - - 0 1",
      "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/8/PPPP1PPP/RNB1KBNR w KQkq - 0 3",
      "rnb1kbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 3",
  };
  std::mt19937 random(77);
  int checked = 0;
  for (int round = 0; round < 24; round++) {
    const std::string losing = std::string("fen ") + fens[round % 4];
    ASSERT_TRUE(e.send("position " + losing));
    ASSERT_TRUE(e.send("go infinite"));
    e.linesFor(5 + static_cast<int>(random() % 250));
    ASSERT_TRUE(e.send("stop"));
    GoReply r = collect(e, 3000);
    ASSERT_NE(r.bestLine, "") << e.transcript();
    EXPECT_EQ(oracle.checkReply(losing, r), "") << e.transcript();
    // collect() only saw what came after the pause; take the whole search.
    std::string last;
    const auto& lines = e.lines();
    for (size_t i = lines.size() - 1; i-- > 0 && lines[i].rfind("bestmove", 0) != 0;)
      if (lines[i].rfind("info depth", 0) == 0 && lines[i].find(" pv ") != std::string::npos) {
        last = lines[i];
        break;
      }
    if (last.empty()) continue;  // stopped before the first line
    checked++;
    EXPECT_EQ(r.best, words(last.substr(last.find(" pv ") + 4))[0]) << losing << "\n" << e.transcript();
    if (round % 4 == 0) {
      GoReply whole;
      whole.infoLines = {last};
      ASSERT_FALSE(whole.scores("cp").empty()) << last;
      EXPECT_LT(whole.scores("cp")[0], -500) << last;
    }
  }
  EXPECT_GT(checked, 12);
}

}  // namespace
