// The match runner's own logic: statistics, time-control text, the referee's
// verdicts and move text, and the game file. braxen-tool's sources are not
// in the engine library, so the runner files under test are compiled here.
#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <string>

#include "tools/match_game.cpp"
#include "tools/match_pgn.cpp"
#include "tools/match_process.cpp"
#include "tools/match_referee.cpp"
#include "tools/match_stats.cpp"

using namespace match;

namespace {

TEST(MatchStats, EloMarginAndLikelihoodOfSuperiority) {
  EXPECT_NEAR(eloFromScore(0.75), 190.85, 0.01);
  EXPECT_NEAR(eloFromScore(0.25), -190.85, 0.01);
  // margin < 0: unbounded; los < 0: not checked.
  const struct { int w, d, l; bool finite; double score, elo, margin, los; } cases[] = {
      {70, 20, 10, true, 0.8, 240.82, 72.73, -1},
      {55, 30, 15, true, 0.7, 147.19, 60.46, -1},
      {15, 30, 55, true, 0.3, -147.19, 60.46, -1},  // the mirror image: same margin, opposite sign
      {10, 0, 10, true, 0.5, 0, 163.32, 0.5},
      {0, 10, 0, true, 0.5, 0, 0, 0.5},
      {9, 0, 1, true, 0.9, 381.7, -1, -1},  // the interval reaches a score of 1
      {0, 0, 0, false, 0, 0, 0, -1},
      {5, 0, 0, false, 1, 0, 0, -1},
      {0, 0, 3, false, 0, 0, 0, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + " " + std::to_string(c.d) + " " + std::to_string(c.l));
    MatchStats s;
    s.wins = c.w;
    s.draws = c.d;
    s.losses = c.l;
    EloEstimate e = estimateElo(s);
    EXPECT_EQ(e.finite, c.finite);
    EXPECT_NEAR(e.score, c.score, 1e-9);
    if (!c.finite) continue;
    EXPECT_NEAR(e.elo, c.elo, 0.01);
    if (c.margin < 0) EXPECT_TRUE(std::isinf(e.margin));
    else EXPECT_NEAR(e.margin, c.margin, 0.05);
    if (c.los >= 0) EXPECT_DOUBLE_EQ(e.los, c.los);
    if (c.w == 70) EXPECT_GT(e.los, 0.9999);
    if (c.w == 15) EXPECT_LT(e.los, 1e-5);
  }
  // Same games and score: draws narrow the interval.
  MatchStats drawish;
  drawish.wins = drawish.losses = 5;
  drawish.draws = 10;
  EXPECT_LT(estimateElo(drawish).margin, 163.32);
}

TEST(MatchTimeControl, ParsesBaseIncrementAndMovesPerPeriod) {
  const struct {
    const char* text;
    int64_t base, increment;
    int moves;
  } good[] = {{"5+0.05", 5000000, 50000, 0}, {"1+0.01", 1000000, 10000, 0}, {"40/60", 60000000, 0, 40},
              {"0.2", 200000, 0, 0}};
  TimeControl tc;
  for (const auto& g : good) {
    ASSERT_TRUE(parseTimeControl(g.text, tc)) << g.text;
    EXPECT_EQ(tc.baseMicros, g.base) << g.text;
    EXPECT_EQ(tc.incrementMicros, g.increment) << g.text;
    EXPECT_EQ(tc.movesPerPeriod, g.moves) << g.text;
  }
  for (const char* bad : {"", "abc", "5+", "+1", "-1+0", "0+1", "5+0.05x", "0/10", "x/10", "5+-1", "40/", "5++1", "1e3", "1..5"}) {
    EXPECT_FALSE(parseTimeControl(bad, tc)) << bad;
    EXPECT_EQ(tc.baseMicros, 200000) << bad << ": a refused text leaves the setting alone";
  }
}

// Plays UCI moves on the referee; false at the first one it refuses.
bool play(std::initializer_list<const char*> moves) {
  for (const char* m : moves)
    if (!refereePlay(m, nullptr)) return false;
  return true;
}

TEST(MatchReferee, ThreefoldRepetitionCountsCastlingRights) {
  ASSERT_TRUE(refereeSetUp(""));
  ASSERT_TRUE(play({"g1f3", "g8f6", "f3g1", "f6g8", "g1f3", "g8f6", "f3g1"}));
  EXPECT_EQ(refereeGameEnd(), GameEnd::None);
  ASSERT_TRUE(play({"f6g8"}));
  EXPECT_EQ(refereeGameEnd(), GameEnd::Repetition);

  // Rooks out and back: the first return has lost the long castling rights,
  // so it is a new position. Counting men alone would call a repetition
  // after eight plies; the real third occurrence (of the position after
  // ply 2) comes at ply 10.
  ASSERT_TRUE(refereeSetUp("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1"));
  ASSERT_TRUE(play({"a1b1", "a8b8", "b1a1", "b8a8", "a1b1", "a8b8", "b1a1", "b8a8"}));
  EXPECT_EQ(refereeOccurrences(), 2);
  ASSERT_TRUE(play({"a1b1"}));
  EXPECT_EQ(refereeGameEnd(), GameEnd::None);
  ASSERT_TRUE(play({"a8b8"}));
  EXPECT_EQ(refereeGameEnd(), GameEnd::Repetition);
}

TEST(MatchReferee, FiftyMovesStalemateAndInsufficientMaterial) {
  const struct { const char* fen; const char* move; GameEnd end; } games[] = {
      {"8/8/4k3/8/8/4K3/8/R7 w - - 99 60", "a1a2", GameEnd::FiftyMoves},  // the FEN's clock counts
      {"8/8/4k3/8/8/4K3/r7/R7 w - - 99 60", "a1a2", GameEnd::None},       // a capture resets it
      {"7k/8/6K1/8/8/8/8/R7 w - - 99 80", "a1a8", GameEnd::Checkmate},    // mate on the hundredth stands
      {"7k/8/6K1/5Q2/8/8/8/8 w - - 0 1", "f5f7", GameEnd::Stalemate},
  };
  for (const auto& g : games) {
    ASSERT_TRUE(refereeSetUp(g.fen)) << g.fen;
    EXPECT_EQ(refereeGameEnd(), GameEnd::None) << g.fen;
    ASSERT_TRUE(play({g.move})) << g.fen;
    EXPECT_EQ(refereeGameEnd(), g.end) << g.fen;
  }
  const struct { const char* fen; bool dead; } material[] = {
      {"8/8/4k3/8/8/4K3/8/8 w - - 0 1", true},      // bare kings
      {"8/8/4k3/8/8/4K3/8/6N1 w - - 0 1", true},    // knight
      {"8/8/4k3/8/8/4K3/8/2B5 b - - 0 1", true},    // bishop
      {"5b2/8/4k3/8/8/4K3/8/2B5 w - - 0 1", true},  // bishops c1 and f8, both dark
      {"2b5/8/4k3/8/8/4K3/8/2B5 w - - 0 1", false}, // c1 dark, c8 light: a mate exists
      {"8/8/4k3/8/8/4K3/8/2BB4 w - - 0 1", false},  // c1 and d1: opposite colours
      {"8/8/4k3/8/8/4K3/8/B1B5 w - - 0 1", true},   // a1 and c1, one colour
      {"6n1/8/4k3/8/8/4K3/8/6N1 w - - 0 1", false}, // knight each
      {"8/8/4k3/8/8/4K3/8/1N4N1 w - - 0 1", false}, // two knights
      {"6n1/8/4k3/8/8/4K3/8/2B5 w - - 0 1", false}, // bishop and knight
      {"8/8/4k3/8/8/4K3/4P3/8 w - - 0 1", false},   // pawn
      {"8/8/4k3/8/8/4K3/8/7R w - - 0 1", false},    // rook
  };
  for (const auto& c : material) {
    ASSERT_TRUE(refereeSetUp(c.fen)) << c.fen;
    EXPECT_EQ(insufficientMaterial(), c.dead) << c.fen;
    EXPECT_EQ(refereeGameEnd() == GameEnd::InsufficientMaterial, c.dead) << c.fen;
  }
}

TEST(MatchReferee, RefusesWhatIsNotALegalMoveAndKeepsThePosition) {
  ASSERT_TRUE(refereeSetUp(""));
  for (const char* bad : {"e2e5", "e7e5", "e1g1", "0000", "", "e2", "e2e4x", "E2E4", "g1g3", "a2a3q"})
    EXPECT_FALSE(refereePlay(bad, nullptr)) << bad;
  EXPECT_EQ(refereeSideToMove(), White);
  EXPECT_EQ(refereeLegalMoveCount(), 20);
  EXPECT_TRUE(refereePlay("e2e4", nullptr));
  EXPECT_EQ(refereeSideToMove(), Black);
  // A promotion needs its letter; a king in check must be helped.
  ASSERT_TRUE(refereeSetUp("8/P3k3/8/8/8/8/8/4K2r w - - 0 1"));
  EXPECT_FALSE(refereePlay("a7a8q", nullptr));
  EXPECT_TRUE(refereePlay("e1e2", nullptr));
  ASSERT_TRUE(refereeSetUp("8/P3k3/8/8/8/8/8/4K3 w - - 0 1"));
  EXPECT_FALSE(refereePlay("a7a8", nullptr));
  EXPECT_TRUE(refereePlay("a7a8n", nullptr));
}

TEST(MatchReferee, AlgebraicMoveText) {
  const struct { const char* fen; const char* uci; const char* san; } cases[] = {
      {"", "g1f3", "Nf3"},
      {"", "e2e4", "e4"},
      {"4k3/8/8/8/8/8/8/1N3NK1 w - - 0 1", "b1d2", "Nbd2"},       // file tells
      {"4k3/8/8/R7/8/8/8/R5K1 w - - 0 1", "a1a3", "R1a3"},        // rank tells
      {"k7/8/8/8/8/2Q1Q3/8/2Q3K1 w - - 0 1", "c3d2", "Qc3d2"},   // both needed
      {"4k3/8/8/8/8/8/8/1N3NK1 w - - 0 1", "b1c3", "Nc3"},        // only one reaches
      {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "e1g1", "O-O"},
      {"r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", "e8c8", "O-O-O"},
      {"4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 2", "e5d6", "exd6"},
      {"3rk3/2P5/8/8/8/8/8/4K3 w - - 0 1", "c7d8q", "cxd8=Q+"},
      {"4k3/2P5/8/8/8/8/8/4K3 w - - 0 1", "c7c8r", "c8=R+"},
      {"7k/8/6K1/8/8/8/8/R7 w - - 0 1", "a1a8", "Ra8#"},
      {"4k3/8/8/8/8/8/3n4/4K3 w - - 0 1", "e1d2", "Kxd2"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(refereeSetUp(c.fen)) << c.fen;
    std::string san;
    ASSERT_TRUE(refereePlay(c.uci, &san)) << c.fen << " " << c.uci;
    EXPECT_EQ(san, c.san) << c.fen;
  }
}

TEST(MatchPgn, TagsNumberingCommentsAndLineLength) {
  PgnHeader h;
  h.event = "test \"quoted\"";
  h.date = "2026.12.07";
  h.round = 3;
  h.white = "braxen";
  h.black = "other";
  h.timeControl = "5+0.05";
  GameResult g;
  g.fen = "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1";
  g.score = 0;
  g.termination = Termination::TimeForfeit;
  g.reason = "White loses on time";
  for (int i = 0; i < 30; ++i) {
    g.sanMoves.push_back(i % 2 ? "Nf3" : "Nf6");
    g.comments.push_back("+0.25/10 0.123s");
  }
  std::string text = formatPgnGame(h, g);
  for (const std::string& part :
       {std::string("[Event \"test \\\"quoted\\\"\"]\n"),
        std::string("[Round \"3\"]\n[White \"braxen\"]\n[Black \"other\"]\n[Result \"0-1\"]\n"),
        "[SetUp \"1\"]\n[FEN \"" + g.fen + "\"]\n", std::string("[PlyCount \"30\"]\n[Termination \"time forfeit\"]\n\n"),
        std::string("\n1... Nf6 {+0.25/10 0.123s} 2. Nf3 {+0.25/10 0.123s} Nf6"),
        std::string("16. Nf3 {+0.25/10 0.123s}"), std::string("{White loses on time} 0-1\n\n")})
    EXPECT_NE(text.find(part), std::string::npos) << part << "\nin\n" << text;
  for (size_t start = 0, end; start < text.size(); start = end + 1) {
    end = std::min(text.find('\n', start), text.size());
    EXPECT_LE(end - start, 79u) << text.substr(start, end - start);
  }
  // From the start position, without a FEN: no set-up tags, White first.
  GameResult plain;
  plain.sanMoves = {"e4", "e5"};
  plain.reason = "game length limit";
  text = formatPgnGame(h, plain);
  EXPECT_EQ(text.find("[FEN"), std::string::npos);
  EXPECT_NE(text.find("\n1. e4 e5 {game length limit} 1/2-1/2\n"), std::string::npos) << text;
}

}  // namespace
