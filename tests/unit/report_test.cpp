// Score and move texts and the exact characters of the report lines.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "board/types.h"
#include "engine/report.h"
#include "engine/timecontrol.h"
#include "search/think.h"
#include "search/tt.h"

namespace {

constexpr int sq(const char* name) { return (name[0] - 'a') + 8 * (name[1] - '1'); }
Move M(const char* from, const char* to, Move kind = QuietKind) { return makeMoveWord(sq(from), sq(to), kind); }

TEST(ScoreText, CentipawnsMatesAndBounds) {
  const struct { int score, bound; const char* text; } cases[] = {
      {7799, 4, "cp 6092"},       {7800, 4, "mate 196"}, {8191, 4, "mate 1"},   {8190, 4, "mate 1"},
      {8189, 4, "mate 2"},        {-8190, 4, "mate -1"}, {-8192, 4, "mate 0"}, {-8189, 4, "mate -1"},
      {-8188, 4, "mate -2"},      {-7800, 4, "mate -196"}, {-7799, 4, "cp -6092"}, {-64, 4, "cp -50"},
      {-1, 4, "cp 0"},            {1, 3, "cp 0"},        {128, 5, "cp 100"},    {0, 0, "cp 0 upperbound "},
      {-200, 2, "cp -156 upperbound "}, {300, 6, "cp 234 lowerbound "}, {300, 7, "cp 234 lowerbound "},
      // A mate never carries a bound word.
      {8191, 6, "mate 1"},        {-8190, 2, "mate -1"}};
  for (const auto& c : cases) EXPECT_EQ(std::string(ScoreText(c.score, c.bound)), c.text) << c.score;
}

TEST(ReportMoveText, UciStyleIsPlainCoordinatesWithLowerCasePromotions) {
  const struct { Move move; const char* text; } cases[] = {
      {M("e2", "e4"), "e2e4 "},
      {M("e1", "g1", CastleKind), "e1g1 "},
      {M("e8", "c8", CastleKind), "e8c8 "},
      {M("e7", "e8", PromoteQueen), "e7e8q "},
      {M("e7", "e8", PromoteKnight), "e7e8n "},
      {M("b2", "a1", PromoteRook), "b2a1r "},
      {M("g7", "h8", PromoteBishop), "g7h8b "},
      {M("e5", "d6", EnPassantKind), "e5d6 "},
      {static_cast<Move>(M("d1", "h5", CaptureKind) | CheckMark), "d1h5 "},  // no check mark in UCI
  };
  for (const auto& c : cases) EXPECT_EQ(std::string(MoveText(c.move, StyleUciOut)), c.text);
  EXPECT_EQ(std::string(MoveText(M("e2", "e4"), StyleUci)), "e2e4    ");
  EXPECT_EQ(std::string(MoveText(M("e7", "e8", PromoteQueen), StyleUci | StyleNoPad)), "e7e8q");
}

TEST(ReportMoveText, CoordinateAndAlgebraicStyles) {
  const unsigned san = StyleSan | StyleNoPad;
  const struct { Move move; unsigned style; const char* text; } cases[] = {
      {M("e2", "e4"), 0, "e2-e4   "},
      {M("e4", "d5", CaptureKind), 0, "e4xd5   "},
      {M("e5", "d6", EnPassantKind), 0, "e5xd6   "},
      {M("e7", "d8", PromoteQueen), 0, "e7xd8Q  "},
      {M("e7", "e8", PromoteKnight), 0, "e7-e8N  "},
      {M("e1", "g1", CastleKind), 0, "O-O     "},
      {static_cast<Move>(M("f1", "b5") | CheckMark), StyleOneSpace, "f1-b5+ "},
      {M("e1", "g1", CastleKind), san, "O-O"},
      {M("e8", "c8", CastleKind), san, "O-O-O"},
      {static_cast<Move>(M("e1", "c1", CastleKind) | CheckMark), san, "O-O-O+"},
      {M("e4", "d5", CaptureKind), san | Pawn, "exd5"},
      {M("e2", "e4"), san | Pawn, "e4"},
      {M("e5", "d6", EnPassantKind), san | Pawn, "exd6"},
      {M("g1", "f3"), san | Knight, "Nf3"},
      {M("g1", "f3"), san | Knight | StyleFile, "Ngf3"},
      {M("g1", "f3"), san | Knight | StyleRank, "N1f3"},
      {M("g1", "f3"), san | Knight | StyleFile | StyleRank, "Ng1f3"},
      {static_cast<Move>(M("g1", "f3") | CheckMark), san | Knight | StyleFile | StyleRank, "Ng1f3+"},
      {M("d1", "d8", CaptureKind), san | Queen, "Qxd8"},
      {M("e7", "d8", PromoteQueen), san | Pawn, "exd8=Q"},
      {M("e7", "d8", PromoteRook), san | Pawn, "exd8=R"},
      {M("e7", "e8", PromoteKnight), san | Pawn, "e8=N"},
      {static_cast<Move>(M("e7", "e8", PromoteQueen) | CheckMark), StyleSan | Pawn, "e8=Q+  "},
      {M("e1", "e2"), san | King, "Ke2"},
      // Padding: seven characters in algebraic style, exactly one space with bit 15.
      {M("g1", "f3"), StyleSan | Knight, "Nf3    "},
      {M("g1", "f3"), StyleSan | Knight | StyleFile | StyleRank, "Ng1f3  "},
      {M("g1", "f3"), StyleSan | StyleOneSpace | Knight, "Nf3 "},
      {M("e8", "c8", CastleKind), StyleSan, "O-O-O  "},
  };
  for (const auto& c : cases) EXPECT_EQ(std::string(MoveText(c.move, c.style)), c.text);
}

TEST(ReportMoveText, NullMoveIsEightSpacesInEveryStyle) {
  for (unsigned style : {0u, StyleUci, StyleUciOut, StyleSan | Knight, StyleNoPad, StyleSan | StyleOneSpace}) {
    EXPECT_EQ(std::string(MoveText(0, style)), "        ") << style;
    EXPECT_EQ(std::string(MoveText(NullMove, style)), "        ") << style;
  }
}

// Keeps the table's fill counters of the running program around a test.
struct FillCounters {
  const uint64_t stamped = ttStamped, tableKb = ttTableKb;
  ~FillCounters() { ttStamped = stamped, ttTableKb = tableKb; }
};

class ReportLines : public testing::Test {
 protected:
  Move line[8] = {0};
  FillCounters saved;
  void SetUp() override {
    searchState = 4;
    selDepth = 17;
    nodeCount = 5000000000ull;  // beyond 32 bits
    measuredNps = 1234567;
    tbHits = 0;
    ttStamped = 0;
    ttTableKb = 1024;
    startTick = 0;  // elapsed = the tick itself; the tests mask the time field
    line[1] = M("e2", "e4");
    line[2] = M("e7", "e5");
    line[3] = M("g1", "f3");
  }
  void TearDown() override {
    searchState = 0;
    nodeCount = 0;
  }
  static std::string Capture(void (*print)()) {
    testing::internal::CaptureStdout();
    print();
    return std::regex_replace(testing::internal::GetCapturedStdout(), std::regex("time [0-9]+"), "time T");
  }
};

TEST_F(ReportLines, PvLineFormat) {
  static Move* current;
  current = line;
  EXPECT_EQ(Capture([] { PrintPvLine(0, current, 4, 38, 9, 14); }),
            "info depth 9 seldepth 14 time T nodes 5000000000 nps 1234567 score cp 29 pv e2e4 e7e5 g1f3 \n");
  EXPECT_EQ(Capture([] { PrintPvLine(2, current, 6, -64, 9, 14); }),
            "info multipv 2 depth 9 seldepth 14 time T nodes 5000000000 nps 1234567 score cp -50 lowerbound  pv "
            "e2e4 e7e5 g1f3 \n");
  tbHits = 42;
  EXPECT_EQ(Capture([] { PrintPvLine(0, current, 1, 8189, 3, 3); }),
            "info depth 3 seldepth 3 time T nodes 5000000000 nps 1234567 score mate 2 tbhits 42 pv e2e4 e7e5 "
            "g1f3 \n");
  searchState = 7;  // the start-up calibration prints nothing
  EXPECT_EQ(Capture([] { PrintPvLine(0, current, 4, 38, 9, 14); }), "");
}

TEST_F(ReportLines, OtherInfoLines) {
  ttStamped = 65536 / 2;  // half of 1024 KB x 64 entries
  EXPECT_EQ(Capture([] { PrintNodesLine(); }), "info nodes 5000000000 nps 1234567 hashfull 500\n");
  EXPECT_EQ(Capture([] { PrintDepthLine(12); }), "info depth 12 seldepth 17\n");
  EXPECT_EQ(Capture([] { PrintCurrMove(3, M("a7", "a8", PromoteQueen)); }),
            "info currmovenumber 3 currmove a7a8q \n");
}

TEST_F(ReportLines, BestMoveLine) {
  EXPECT_EQ(Capture([] { PrintBestMove(M("e2", "e4"), M("e7", "e5")); }),
            "info nps 1234567 nodes 5000000000 hashfull 0 time T\nbestmove e2e4  ponder e7e5 \n");
  EXPECT_EQ(Capture([] { PrintBestMove(M("e7", "e8", PromoteKnight), 0); }),
            "info nps 1234567 nodes 5000000000 hashfull 0 time T\nbestmove e7e8n \n");
  // No legal move: the protocol's null move, not blanks.
  EXPECT_EQ(Capture([] { PrintBestMove(0, 0); }),
            "info nps 1234567 nodes 5000000000 hashfull 0 time T\nbestmove 0000\n");
}

TEST(HashFull, PermilleOfTheMeasuredPart) {
  FillCounters saved;
  // 16 KB hold 1024 entries; more stamps than entries never read above full.
  const struct { uint64_t kb, stamped, permille; } cases[] = {
      {16, 0, 0}, {16, 1024, 1000}, {16, 1023, 999}, {16, 5000, 1000}, {0, 10, 0}};
  for (const auto& c : cases) {
    ttTableKb = c.kb;
    ttStamped = c.stamped;
    EXPECT_EQ(HashFull(), c.permille) << c.kb << " " << c.stamped;
  }
}

}  // namespace
