// Perft counts against the published suites: every line of perftsuite.epd
// and fischer.epd at a shallow depth by default, deeper with
// BRAXEN_LONG_TESTS=1 (leaf limit per line BRAXEN_PERFT_LIMIT), and the six
// classic positions at the depths the board must reach.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "board/perft.h"
#include "board/setup.h"

namespace {

bool longTests() {
  const char* v = std::getenv("BRAXEN_LONG_TESTS");
  return v != nullptr && *v != '\0' && *v != '0';
}

// Deepest count a line is checked at: the last one within this many leaves.
uint64_t leafLimit(uint64_t shallow) {
  if (const char* v = std::getenv("BRAXEN_PERFT_LIMIT")) return std::strtoull(v, nullptr, 10);
  return longTests() ? 20000000ULL : shallow;
}

struct PerftCase { std::string name; std::string fen; int depth; uint64_t leaves; };

// One case per line "FEN ;D1 n ;D2 n ...": its deepest depth within limit.
std::vector<PerftCase> loadEpd(const char* file, const char* tag, uint64_t shallow) {
  std::vector<PerftCase> cases;
  std::ifstream in(std::string(BRAXEN_DATA_DIR) + "/perft/" + file);
  const uint64_t limit = leafLimit(shallow);
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    const size_t semi = line.find(';');
    if (semi == std::string::npos) continue;
    PerftCase c{std::string(tag) + "_" + std::to_string(number), line.substr(0, semi), 0, 0};
    while (!c.fen.empty() && c.fen.back() == ' ') c.fen.pop_back();
    for (size_t at = line.find(";D", semi); at != std::string::npos; at = line.find(";D", at + 2)) {
      const int depth = std::atoi(line.c_str() + at + 2);
      const uint64_t leaves = std::strtoull(line.c_str() + line.find(' ', at), nullptr, 10);
      if (depth == 1 || leaves <= limit) c.depth = depth, c.leaves = leaves;
    }
    if (c.depth > 0) cases.push_back(c);
  }
  return cases;
}

std::vector<PerftCase> allSuites() {
  std::vector<PerftCase> cases = loadEpd("perftsuite.epd", "perftsuite", 150000);
  for (const PerftCase& c : loadEpd("fischer.epd", "fischer", 100000)) cases.push_back(c);
  return cases;
}

class PerftSuite : public ::testing::TestWithParam<PerftCase> {};

}  // namespace

TEST_P(PerftSuite, LeafCountMatches) {
  const PerftCase& c = GetParam();
  ASSERT_NE(parseFen(c.fen.c_str()), 0u) << c.fen;
  EXPECT_EQ(perft(c.depth), c.leaves) << c.fen << " depth " << c.depth;
}

INSTANTIATE_TEST_SUITE_P(Epd, PerftSuite, ::testing::ValuesIn(allSuites()),
                         [](const ::testing::TestParamInfo<PerftCase>& p) { return p.param.name; });

TEST(PerftSuiteData, BothFilesWereRead) {
  // A missing data folder must not turn the suite into zero passing cases.
  EXPECT_EQ(loadEpd("perftsuite.epd", "p", 150000).size(), 126u);
  EXPECT_EQ(loadEpd("fischer.epd", "f", 100000).size(), 960u);
}

TEST(Perft, ClassicPositions) {
  struct Classic { const char* fen; int depth, longDepth; uint64_t leaves, longLeaves; } classics[] = {
      {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 5, 6, 4865609, 119060324},
      {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 4, 5, 4085603, 193690690},
      {"8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", 6, 6, 11030083, 11030083},
      {"r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1", 5, 5, 15833292, 15833292},
      {"rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8", 4, 5, 2103487, 89941194},
      {"r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10", 4, 5, 3894594, 164075551},
      // Promotions to many men of a kind, both sides to move, and the
      // mirror image with the colours exchanged.
      {"n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1", 5, 6, 3605103, 71179139},
      {"n1n5/PPPk4/8/8/8/8/4Kppp/5N1N w - - 0 1", 5, 6, 3605103, 71179139},
      {"5n1n/4kPPP/8/8/8/8/pppK4/N1N5 w - - 0 1", 5, 6, 3605103, 71179139},
  };
  for (const Classic& c : classics) {
    ASSERT_NE(parseFen(c.fen), 0u) << c.fen;
    if (longTests())
      EXPECT_EQ(perft(c.longDepth), c.longLeaves) << c.fen;
    else
      EXPECT_EQ(perft(c.depth), c.leaves) << c.fen;
  }
}
