// The table generator against an independent oracle: 3-4-men positions
// with exact distance to mate from another tablebase family, and
// hand-picked ones (longest mates, en passant). Tables are made here.
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "board_support.h"
#include "tablebase/tbgen.h"

namespace {

// Distance of the set-up position from the tables in memory:
// +n the side to move mates in n moves, -n it is mated in n, 0 draw;
// plies gets the signed ply count (a mated side: 0 with loss set).
struct Verdict {
  int moves;
  int plies;
  int wdl;
};

bool verdictOfBoard(Verdict* v) {
  GenMen men{};
  for (int c = 0; c < 2; ++c) {
    men.king[c] = static_cast<uint8_t>(kingSquare(c));
    for (PieceSet set = pos.pieceSet[c] & ~1u; set; set &= set - 1) {
      if (men.count == GenMaxMen) return false;
      const int q = pos.pieceList[c][__builtin_ctz(set)];
      men.type[men.count] = pos.pieceOn[q];
      men.colour[men.count] = static_cast<uint8_t>(c);
      men.square[men.count++] = static_cast<uint8_t>(q);
    }
  }
  char name[8];
  bool swapped;
  GenSquares sq;
  if (!genPlace(men, name, &swapped, &sq)) return false;
  const GenTable* table = genStoredTable(name);
  if (!table) return false;
  const int side = static_cast<int>(pos.sideToMove) ^ (swapped ? 1 : 0);
  const int ep = pos.epSquare ? static_cast<int>(pos.epSquare) ^ (swapped ? 56 : 0) : 0;
  const uint8_t d = genTableDistance(*table, sq, side, ep);
  if (d == GenDraw) {
    *v = {0, 0, 0};
  } else if (d % 2) {
    *v = {(d + 1) / 2, d, 1};
  } else {
    *v = {-d / 2, -d, -1};
  }
  return true;
}

struct OracleLine {
  std::string fen;
  int dm;
  int plies;  // -1000 when the line has none
  int wdl;
};

std::vector<OracleLine> readOracle(const std::string& file) {
  std::vector<OracleLine> lines;
  std::ifstream in(std::string(BRAXEN_DATA_DIR) + "/nalimov/dtm/" + file);
  std::string line;
  while (std::getline(in, line)) {
    const size_t dm = line.find(" dm ");
    if (line.empty() || line[0] == '#' || dm == std::string::npos) continue;
    OracleLine o{line.substr(0, dm) + " 0 1", std::atoi(line.c_str() + dm + 4), -1000, 0};
    const size_t plies = line.find("dtm_plies ");
    if (plies != std::string::npos) {
      std::istringstream rest(line.substr(plies + 10));
      std::string wdl;
      rest >> o.plies >> wdl >> o.wdl;
    }
    lines.push_back(o);
  }
  return lines;
}

const char* const threeFourMen[] = {
    "kpk",  "knk",  "kbk",  "krk",  "kqk",  "kpkp", "knkp", "knkn", "kbkp", "kbkn", "kbkb", "krkp",
    "krkn", "krkb", "krkr", "kqkp", "kqkn", "kqkb", "kqkr", "kqkq", "kppk", "knpk", "knnk", "kbpk",
    "kbnk", "kbbk", "krpk", "krnk", "krbk", "krrk", "kqpk", "kqnk", "kqbk", "kqrk", "kqqk"};

class TbGenerator : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const auto start = std::chrono::steady_clock::now();
    for (const char* name : threeFourMen) ASSERT_NE(genWithDependencies(name, GenHooks{}), nullptr) << name;
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  static double seconds;
};
double TbGenerator::seconds = 0;

void expectAgrees(const OracleLine& o) {
  boardtest::loadFen(o.fen);
  Verdict v;
  ASSERT_TRUE(verdictOfBoard(&v)) << o.fen;
  EXPECT_EQ(v.moves, o.dm) << o.fen;
  if (o.plies != -1000) {
    EXPECT_EQ(v.plies, o.plies) << o.fen;
    EXPECT_EQ(v.wdl, o.wdl) << o.fen;
  }
}

TEST_F(TbGenerator, AgreesWithTheOracleOnEveryThreeAndFourMenPosition) {
  const std::vector<OracleLine> lines = readOracle("gaviota-dtm-3-4men-700.epd");
  ASSERT_EQ(lines.size(), 700u);
  for (const OracleLine& o : lines) expectAgrees(o);
  std::printf("3-4-men classes generated in %.1f s\n", seconds);
}

TEST_F(TbGenerator, AgreesOnTheHandPickedPositionsWithEnPassant) {
  const std::vector<OracleLine> lines = readOracle("endgame-dm-4.epd");
  ASSERT_GE(lines.size(), 40u);
  for (const OracleLine& o : lines) expectAgrees(o);
}

}  // namespace
