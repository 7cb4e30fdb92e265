// Searches of positions at the edge of what chess allows, through the real
// program: a full 218-move list, nine queens, four knights, many
// promotions, and games hundreds of plies long. Every move the engine
// names (best move, ponder move, each pv) is checked by an independent
// move generator.
#include <gtest/gtest.h>

#include <random>

#include "e2e/edge_support.h"

namespace {

using edge::GoReply;

using EdgePositions = edge::EngineWithOracle;

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
  };
  for (const char* fen : fens) {
    GoReply r = searchAndCheck(std::string("fen ") + fen, "go depth 6");
    EXPECT_FALSE(r.best.empty() || r.best == "0000") << fen;
    for (long long cp : r.centipawns()) EXPECT_LE(std::llabs(cp), MaxPrintedCentipawns) << fen;
  }
}

TEST_F(EdgePositions, RefusedBoardsKeepThePreviousPosition) {
  const std::string previous = "fen 4k3/8/8/8/8/8/4P3/4K3 w - - 0 1";
  const char* refused[] = {
      "QQQQQQQQ/QQ6/8/8/8/8/8/4K2k b - - 0 1",   // ten queens
      "4k3/8/8/8/8/8/nnnn4/bbb1K3 b - - 0 1",    // the king of the side not to move is attacked
      "4k2P/8/8/8/8/8/8/4K3 w - - 0 1",          // pawn on the last rank
      "4k3/8/8/8/8/8/8/p3K3 b - - 0 1",          // pawn on the first rank
  };
  ASSERT_TRUE(e.send("position " + previous));
  for (const char* fen : refused) {
    ASSERT_TRUE(e.send(std::string("position fen ") + fen));
    GoReply r = edge::go(e, "go depth 3");
    // Only a move of the old position is legal here.
    EXPECT_EQ(oracle.checkReply(previous, r), "") << fen << "\n" << e.transcript();
  }
}

// Knight moves out and back: never a capture or a pawn move.
std::string knightShuffle(int plies) {
  const char* cycle[] = {"g1f3", "g8f6", "f3g1", "f6g8"};
  std::string moves;
  for (int i = 0; i < plies; i++) moves += std::string(" ") + cycle[i % 4];
  return moves;
}

TEST_F(EdgePositions, HundredsOfReversiblePliesThenASearch) {
  // 600 plies bring the start position back 150 times; the search must run
  // on a sound record and may call it a draw, but it must move.
  const std::string position = "startpos moves" + knightShuffle(600);
  searchAndCheck(position, "go depth 4");
  // 602 plies: Black to move after g1f3.
  searchAndCheck("startpos moves" + knightShuffle(601), "go depth 4");
  // The same game continued ply by ply, as a GUI sends it.
  std::string game = "startpos moves" + knightShuffle(596);
  for (const char* m : {" b1c3", " b8c6", " c3b1", " c6b8", " e2e4"}) {
    game += m;
    searchAndCheck(game, "go depth 3");
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
      if (ply == 200 || ply == 397 || ply == 398 || ply == 399) searchAndCheck(moves, "go depth 3");
    }
    if (ply == 520) game = moves;
  }
  ASSERT_FALSE(game.empty()) << "no seed gave a 520-ply game";
  searchAndCheck(game, "go depth 4");
  // Sent again whole (a new game on the same list) and searched once more.
  ASSERT_TRUE(e.send("ucinewgame"));
  searchAndCheck(game, "go depth 4");
}

TEST_F(EdgePositions, DeepDepthRequestsAreClampedToThePlyLimit) {
  // "go depth 200" where the tree is tiny (bare kings, a blocked file), so
  // that the iterations really reach the deepest ply the tables hold.
  const char* fens[] = {
      "8/8/4k3/8/8/4K3/8/8 w - - 0 1",
      "4k3/4p3/4P3/8/8/8/8/4K3 w - - 0 1",
      "7k/5K2/6Q1/8/8/8/8/8 b - - 0 1",  // stalemate: nothing to search at all
  };
  for (const char* fen : fens) {
    GoReply r = searchAndCheck(std::string("fen ") + fen, "go depth 200");
    ASSERT_FALSE(r.bestLine.empty()) << fen;
    for (const std::string& l : r.infoLines) {
      std::vector<std::string> w = edge::words(l);
      for (size_t i = 0; i + 1 < w.size(); i++)
        if (w[i] == "depth" || w[i] == "seldepth") EXPECT_LE(std::stoll(w[i + 1]), 64) << l;
    }
  }
  // Three queens a side, checks everywhere: the tree is far too big for the
  // iterations to end by themselves, so the search is stopped by hand.
  const std::string queens = "fen k7/qqq5/8/8/8/8/5QQQ/7K w - - 0 1";
  ASSERT_TRUE(e.send("position " + queens));
  ASSERT_TRUE(e.send("go depth 200"));
  for (const std::string& l : e.linesFor(300)) ASSERT_NE(l.rfind("bestmove", 0), 0u) << l;
  ASSERT_TRUE(e.send("stop"));
  GoReply r = edge::collect(e);
  EXPECT_EQ(oracle.checkReply(queens, r), "") << e.transcript();
}

}  // namespace
