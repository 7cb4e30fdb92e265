// The table generator against an independent oracle: 3-4-men positions
// with exact distance to mate from another tablebase family, and
// hand-picked ones (longest mates, en passant). Tables are made here.

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <iterator>
#include <random>
#include <fstream>
#include <sstream>
#include <string>

#include "board_support.h"
#include "e2e/engine_process.h"
#include "test_support.h"
#include "engine/options.h"
#include "tablebase/tablebase.h"
#include "tablebase/tbgen.h"
#include "tablebase/tbgen_file.h"
#include "tools/tb_compress.h"

namespace {

// Distance of the set-up position from the tables in memory:
// +n the side to move mates in n moves, -n it is mated in n, 0 draw;
// plies gets the signed ply count (a mated side: 0 with loss set).
struct Verdict { int moves; int plies; int wdl; };

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

// plies: -1000 when the line has none.
struct OracleLine { std::string fen; int dm; int plies; int wdl; };

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

// The classes the tests make, cheapest first: the three-men classes, then
// pawnless four-men classes whose captures lead only into those, then the
// rest (whose promotions pull in many others).
const char* const threeFourMen[] = {
    "kpk",  "knk",  "kbk",  "krk",  "kqk",  "kqkr", "kbnk", "krkn", "kpkp", "knkp", "knkn", "kbkp",
    "kbkn", "kbkb", "krkp", "krkb", "krkr", "kqkp", "kqkn", "kqkb", "kqkq", "kppk", "knpk", "knnk",
    "kbpk", "kbbk", "krpk", "krnk", "krbk", "krrk", "kqpk", "kqnk", "kqbk", "kqrk", "kqqk"};

// Every class up to four men takes about a quarter of an hour of one core,
// and each test of the suite runs in a process of its own, so the default
// run makes the three-men and three cheap four-men classes; the sanitizer
// build, several times slower, only the three-men classes; and
// BRAXEN_LONG_TESTS=1 all of them.
size_t classesToMake() {
  if (std::getenv("BRAXEN_LONG_TESTS") != nullptr) return std::size(threeFourMen);
#if defined(__SANITIZE_ADDRESS__)
  return 5;
#else
  return 8;
#endif
}
const size_t classesMade = classesToMake();

// Every class is made in memory and written to a folder that the engine's
// own registry then reads, so each position is checked twice: the
// generator's result and the file entry at the class index.
class TbGenerator : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char dirTemplate[] = "/tmp/braxen-tbgen-XXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    folder = dirTemplate;
    const auto start = std::chrono::steady_clock::now();
    const GenHooks hooks{nullptr, [](const GenTable& t, const GenStats&) { return genWriteFiles(folder.c_str(), t); }};
    for (size_t i = 0; i < classesMade; ++i)
      ASSERT_NE(genWithDependencies(threeFourMen[i], hooks), nullptr) << threeFourMen[i];
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    SetDefaultOptions();
    std::snprintf(tbPath, sizeof tbPath, "%s", folder.c_str());
    ASSERT_TRUE(InitTablebases(true));
  }
  static void TearDownTestSuite() {
    releaseTablebases();
    tbPath[0] = '\0';
    std::system(("rm -rf '" + folder + "'").c_str());
  }
  static double seconds;
  static std::string folder;
};
double TbGenerator::seconds = 0;
std::string TbGenerator::folder;

// Checks one position; false when its class was not made in this build.
bool expectAgrees(const OracleLine& o) {
  boardtest::loadFen(o.fen);
  Verdict v;
  if (!verdictOfBoard(&v)) {
    EXPECT_LT(classesMade, std::size(threeFourMen)) << "no table for " << o.fen;
    return false;
  }
  EXPECT_EQ(v.moves, o.dm) << o.fen;
  const int wdl = o.plies != -1000 ? o.wdl : o.dm > 0 ? 1 : o.dm < 0 ? -1 : 0;
  if (o.plies != -1000) {
    EXPECT_EQ(v.plies, o.plies) << o.fen;
    EXPECT_EQ(v.wdl, o.wdl) << o.fen;
  }
  TbResult r{};
  EXPECT_TRUE(probeTablebase(static_cast<int>(pos.sideToMove), &r)) << "file entry of " << o.fen;
  EXPECT_EQ(r.kind, wdl) << o.fen;
  EXPECT_EQ(r.distance, o.dm < 0 ? -o.dm : o.dm) << o.fen;
  return true;
}

TEST_F(TbGenerator, AgreesWithTheOracleOnEveryThreeAndFourMenPosition) {
  const std::vector<OracleLine> lines = readOracle("gaviota-dtm-3-4men-700.epd");
  ASSERT_EQ(lines.size(), 700u);
  int checked = 0;
  for (const OracleLine& o : lines) checked += expectAgrees(o);
  EXPECT_GE(checked, 100);
  std::printf("%zu classes generated and written in %.1f s\n", classesMade, seconds);
}

TEST_F(TbGenerator, AgreesOnTheHandPickedPositionsWithEnPassant) {
  const std::vector<OracleLine> lines = readOracle("endgame-dm-4.epd");
  ASSERT_GE(lines.size(), 40u);
  for (const OracleLine& o : lines) expectAgrees(o);
}

// Both stages of a class are shared out over worker processes, which in
// the backward stage reach the same predecessors at once; the table must
// not depend on how many there are.
TEST_F(TbGenerator, WorkerProcessesDoNotChangeTheTable) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "two more generations of a four-men class are too slow in the sanitizer build";
#endif
  GenTable tables[2];
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(setenv("BRAXEN_TB_WORKERS", i == 0 ? "1" : "3", 1), 0);
    GenStats stats;
    EXPECT_TRUE(genGenerate("kqkr", genLookupStored, &tables[i], &stats));
  }
  unsetenv("BRAXEN_TB_WORKERS");
  for (int side = 0; side < 2; ++side) {
    ASSERT_EQ(tables[0].dist[side].size(), tables[1].dist[side].size());
    EXPECT_TRUE(tables[0].dist[side] == tables[1].dist[side]) << "side " << side;
    EXPECT_TRUE(tables[0].legal[side] == tables[1].legal[side]) << "side " << side;
  }
}

// Five-men classes take minutes each, so they are made beforehand with
// "braxen-tool tb generate CLASS... --dir DIR" and read here from their
// files through the registry: BRAXEN_FIVE_MEN_DIR=DIR names the folder.
// Every hand-picked position whose class is in the folder must agree.
TEST(TbFiveMen, FilesAgreeWithTheHandPickedOracle) {
  const char* dir = std::getenv("BRAXEN_FIVE_MEN_DIR");
  if (dir == nullptr) GTEST_SKIP() << "set BRAXEN_FIVE_MEN_DIR to a folder of generated five-men tables";
  const std::vector<OracleLine> lines = readOracle("endgame-dm-5.epd");
  ASSERT_GE(lines.size(), 20u);
  SetDefaultOptions();
  std::snprintf(tbPath, sizeof tbPath, "%s", dir);
  ASSERT_TRUE(InitTablebases(true));
  std::string missing;
  int checked = 0;
  for (const OracleLine& o : lines) {
    boardtest::loadFen(o.fen);
    TbResult r{};
    if (!probeTablebase(static_cast<int>(pos.sideToMove), &r)) {
      missing += "\n  " + o.fen;
      continue;
    }
    EXPECT_EQ(r.kind, o.dm > 0 ? TbWin : o.dm < 0 ? TbLoss : TbDraw) << o.fen;
    EXPECT_EQ(r.distance, std::abs(o.dm)) << o.fen;
    ++checked;
  }
  std::printf("%d of %zu hand-picked five-men positions checked; no table for:%s\n", checked, lines.size(),
              missing.c_str());
  EXPECT_GT(checked, 0);
  releaseTablebases();
  tbPath[0] = '\0';
}

}  // namespace

// ---- Against stockfish: never a shorter mate, never the opposite result ----------

namespace {

// The mate distance of stockfish's deepest report on the position (+ mates,
// - is mated), 0 when the last report is a centipawn score.
int stockfishMate(EngineProcess& sf, const std::string& fen, int depth) {
  EXPECT_TRUE(sf.send("position fen " + fen));
  const GoReply reply = go(sf, "go depth " + std::to_string(depth), 300000);
  int mate = 0;
  for (const std::string& l : reply.infoLines) {
    const size_t at = l.find(" score ");
    if (at != std::string::npos) mate = l.compare(at, 12, " score mate ") == 0 ? std::atoi(l.c_str() + at + 12) : 0;
  }
  return mate;
}

std::string fenOf(const GenMaterial& mat, const GenSquares& sq, int side) {
  char board[64] = {};
  board[sq.king[White]] = 'K';
  board[sq.king[Black]] = 'k';
  for (int i = 0; i < mat.men; ++i)
    board[sq.man[i]] = static_cast<char>(pieceLetters[mat.type[i] + (mat.colour[i] == Black ? 6 : 0)]);
  return testsupport::placementFen(board) + (side == White ? " w - - 0 1" : " b - - 0 1");
}

}  // namespace

TEST_F(TbGenerator, StockfishNeverFindsAShorterMateOrTheOppositeResult) {
  const bool longRun = std::getenv("BRAXEN_LONG_TESTS") != nullptr;
  const int wanted = longRun ? 1000 : 12;
  EngineProcess sf;
  ASSERT_TRUE(sf.start(OraclePath) && sf.handshake()) << OraclePath << " is the referee (apt-get install -y stockfish)";
  testsupport::Lcg rng{20261207};
  auto next = [&rng] { return uint64_t(rng.next()); };
  int checked = 0;
  while (checked < wanted) {
    const GenTable* table = genStoredTable(threeFourMen[next() % classesMade]);
    ASSERT_NE(table, nullptr);
    const int side = static_cast<int>(next() % 2);
    const uint64_t node = next() % table->mat.baseSize;
    if (!((table->legal[side][node / 64] >> (node % 64)) & 1)) continue;
    const uint8_t d = table->dist[side][node];
    if (d == GenDraw || d == 0 || d > 24) continue;
    GenSquares sq;
    genDecode(table->mat, node, &sq);
    const int moves = d % 2 ? (d + 1) / 2 : -d / 2;
    const std::string fen = fenOf(table->mat, sq, side);
    const int mate = stockfishMate(sf, fen, 2 * std::abs(moves) + 6);
    if (moves > 0) {
      EXPECT_GE(mate, 0) << fen << " table: mates in " << moves;
      if (mate > 0) EXPECT_GE(mate, moves) << fen;
    } else {
      EXPECT_LE(mate, 0) << fen << " table: mated in " << -moves;
      if (mate < 0) EXPECT_GE(-mate, -moves) << fen;
    }
    ++checked;
  }
}

// Every generated file, compressed by the encoder, reads back through the
// registry entry by entry exactly as the file itself: the three-men files
// always, every file that was made with BRAXEN_LONG_TESTS=1.
TEST_F(TbGenerator, CompressedFilesProbeLikeTheFilesTheyCameFrom) {
  const bool longRun = std::getenv("BRAXEN_LONG_TESTS") != nullptr;
  const std::string packed = folder + "-emd";
  int compared = 0;
  for (int classNo = 1; classNo <= 35; ++classNo) {
    if (!longRun && classNo > 5) break;
    const TbClass& c = tbClasses[classNo];
    std::string tables[2];
    ASSERT_EQ(std::system(("rm -rf '" + packed + "' && mkdir '" + packed + "'").c_str()), 0);
    for (int side = 0; side < ((c.flags & TbOneFile) ? 1 : 2); ++side) {
      const std::string name = std::string("/") + c.name + (side == 0 ? ".nbw" : ".nbb");
      tables[side] = testsupport::fileText(folder + name);
      if (tables[side].empty()) continue;
      const std::vector<uint8_t> file =
          tbCompress(reinterpret_cast<const uint8_t*>(tables[side].data()), tables[side].size(), 13, nullptr);
      std::ofstream(packed + name + ".emd", std::ios::binary)
          .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    }
    if (tables[0].empty()) continue;
    std::snprintf(tbPath, sizeof tbPath, "%s", packed.c_str());
    ASSERT_TRUE(InitTablebases(true)) << c.name;
    for (int side = 0; side < 2; ++side)
      for (uint64_t i = 0; i < tables[side].size(); ++i)
        ASSERT_EQ(probeClass(classNo, side, i), tbScoreOfByte(static_cast<int8_t>(tables[side][i])))
            << c.name << " side " << side << " index " << i;
    ++compared;
  }
  EXPECT_GE(compared, 5);
  std::system(("rm -rf '" + packed + "'").c_str());
  std::snprintf(tbPath, sizeof tbPath, "%s", folder.c_str());
  ASSERT_TRUE(InitTablebases(true));
}

// ---- Encoding and class names -------------------------------------------------------

TEST(TbGeneratorEncoding, DistancesSurviveTheByteAndWordEncodings) {
  // distance byte (plies), stored byte, stored word
  struct Case { uint8_t dist; int byte, word; };
  const Case cases[] = {
      {GenDraw, 0, 0},       {1, 126, 32766},   // mates in 1
      {0, -126, -32766},                         // checkmated now
      {2, -125, -32765},     {251, 1, 32641},   // mated in 1; mates in 126
      {253, -128, 32640},    {252, -127, -32640}};  // mates in 127; mated in 126
  for (const Case& c : cases) {
    EXPECT_EQ(genStoredValue(c.dist, false), c.byte) << int(c.dist);
    EXPECT_EQ(genStoredValue(c.dist, true), c.word) << int(c.dist);
    uint8_t back = 7;
    EXPECT_TRUE(genDistanceOf(c.byte & 0xFF, false, &back));
    EXPECT_EQ(back, c.dist);
    EXPECT_TRUE(genDistanceOf(c.word & 0xFFFF, true, &back));
    EXPECT_EQ(back, c.dist);
  }
  uint8_t d;
  EXPECT_FALSE(genDistanceOf(GenUnknownByte, false, &d)) << "127 is no information";
  EXPECT_FALSE(genDistanceOf(GenUnknownWord, true, &d));
}

TEST(TbGeneratorEncoding, ClassNamesPutTheStrongerSideFirstAndListWhatCapturesLeadTo) {
  const std::pair<const char*, const char*> names[] = {
      {"krkq", "kqkr"}, {"kpkn", "knkp"}, {"kpkp", "kpkp"}, {"kkrp", "krpk"}, {"kpkrr", "krrkp"}, {"kbkn", "kbkn"}};
  for (const auto& [given, stored] : names) {
    char out[8];
    ASSERT_TRUE(genStorageNameOf(given, out)) << given;
    EXPECT_STREQ(out, stored) << given;
  }
  char out[8];
  EXPECT_FALSE(genStorageNameOf("kqqqkq", out)) << "six men";
  EXPECT_FALSE(genStorageNameOf("kxk", out));
  EXPECT_FALSE(genStorageNameOf("kk", out));
  const std::vector<std::string> deps = genDependencies("krpkr");
  for (const char* d : {"kpkr", "krkr", "krpk", "kqrkr", "krrkr", "krbkr", "krnkr", "kqrk", "krrk", "krnk"})
    EXPECT_NE(std::find(deps.begin(), deps.end(), d == std::string("kpkr") ? "krkp" : d), deps.end()) << d;
}

// The forward stage judges most quiet moves without making them; each such
// verdict must be the one the board gives. Positions from the perft suites
// (pins, discovered attacks, kings near sliders) and every position one
// move on, plus sparse ones like the tables' own.
TEST(TbGeneratorQuietMoves, VerdictsWithoutMakingAgreeWithTheBoard) {
  std::vector<std::string> fens = {"4k3/8/8/8/4r3/8/4R3/4K3 w - - 0 1", "7k/8/8/8/8/1b6/2R5/3K4 w - - 0 1",
                                   "7k/8/8/8/8/2q5/8/K7 w - - 0 1", "8/8/8/8/8/5k2/4p3/4K3 w - - 0 1"};
  for (const char* file : {"perftsuite.epd", "cpw-extra.epd"}) {
    std::ifstream in(std::string(BRAXEN_DATA_DIR) + "/perft/" + file);
    for (std::string line; std::getline(in, line);)
      if (line.find(';') != std::string::npos) fens.push_back(line.substr(0, line.find(';')));
  }
  ASSERT_GT(fens.size(), 100u);
  int decided[3] = {0, 0, 0};  // the generator offers no king step onto an attacked square
  auto checkAll = [&decided](const std::string& where) {
    const std::vector<Move> legal = boardtest::legalMoves();
    const int side = static_cast<int>(pos.sideToMove);
    const bool inCheck = isInCheck();
    ScoredMove moves[MaxMovesPerPly];
    uint32_t flags;
    const int n = inCheck ? generateEvasions(&flags, side, -1, 0, moves) : generateAll(moves, side, -1, 0);
    for (int i = 0; i < n; ++i) {
      const Move m = moves[i].move & ~CheckMark;
      const GenQuietVerdict v = genJudgeQuiet(m, side, inCheck);
      ++decided[v];
      if (v == GenNeedsTheBoard) continue;
      const bool isLegal = std::find(legal.begin(), legal.end(), m) != legal.end();
      EXPECT_EQ(v == GenLegal, isLegal) << "move " << m << " in " << where;
    }
    return legal;
  };
  for (const std::string& fen : fens) {
    boardtest::loadFen(fen);
    for (const Move m : checkAll(fen)) {
      makeMove(m);
      checkAll(fen + " after move " + std::to_string(m));
      unmakeMove();
    }
  }
  EXPECT_GT(decided[GenLegal], 10000);
  EXPECT_GT(decided[GenNeedsTheBoard], 1000) << "captures, pinned men, double steps";
}

// ---- Node numbers of moved positions ----------------------------------------------

// The generator numbers most moves and un-moves by changing the mover's
// digit instead of normalising the moved position. Random canonical
// positions, one man moved to a random empty square: every shortcut number
// must be genNormalize's, and the canonical test must agree with it. Kings
// on the diagonal and moves across the board's halves leave the shortcut.
TEST(TbGeneratorNumbering, ShiftedNodesAreTheNormalisedOnes) {
  struct Case { const char* name; int minShortcutPercent; };
  const Case cases[] = {
      {"kqkr", 60},   // pawnless, no identical men
      {"krrrk", 60},  // three identical rooks
      {"knnkb", 60},  // identical men beside another side's man
      {"kbbkp", 80},  // pawns, a pair of bishops
      {"kppkp", 80},  // pawns on both sides, a pair of them identical
  };
  std::mt19937_64 rng(20261208);
  for (const Case& c : cases) {
    GenMaterial mat;
    ASSERT_TRUE(genParseMaterial(c.name, &mat)) << c.name;
    int tried = 0, shortcuts = 0, diagonalShortcuts = 0, canonicalSeen[2] = {0, 0};
    while (tried < 40000) {
      GenSquares sq;
      const uint64_t raw = rng() % mat.baseSize;
      genDecode(mat, raw, &sq);
      auto occupied = [&](const GenSquares& s) {
        uint64_t o = (1ull << s.king[0]) | (1ull << s.king[1]);
        for (int i = 0; i < mat.men; ++i) o |= 1ull << s.man[i];
        return o;
      };
      if (__builtin_popcountll(occupied(sq)) != mat.men + 2) continue;
      GenSquares canon = sq;
      const uint64_t node = genNormalize(mat, &canon);
      const uint64_t occ = occupied(canon);  // the move is made in the canonical form
      const bool canonical = node == raw;
      EXPECT_EQ(genIsCanonical(mat, sq, raw), canonical) << c.name << " node " << raw;
      ++canonicalSeen[canonical];
      // One man of the canonical form to an empty square a man of its kind may stand on.
      const int slot = static_cast<int>(rng() % (2 + mat.men));
      const bool pawn = slot >= 2 && mat.type[slot - 2] == Pawn;
      const int to = static_cast<int>(pawn ? 8 + rng() % 48 : rng() % 64);
      if ((occ >> to) & 1) continue;
      ++tried;
      const uint64_t shifted = genShiftedNode(mat, canon, node, slot, to);
      if (shifted == GenShiftUnknown) continue;
      ++shortcuts;
      const int wk = slot == White ? to : canon.king[White];
      diagonalShortcuts += !mat.pawns && (wk >> 3) == (wk & 7);
      GenSquares moved = canon;
      genSlotSquare(moved, slot) = static_cast<uint8_t>(to);
      ASSERT_EQ(shifted, genNormalize(mat, &moved)) << c.name << " node " << node << " slot " << slot << " to " << to;
    }
    EXPECT_GT(shortcuts * 100, tried * c.minShortcutPercent) << c.name;
    EXPECT_LT(shortcuts, tried) << c.name << ": some moves need the normal form";
    EXPECT_GT(canonicalSeen[0], 100) << c.name;
    EXPECT_GT(canonicalSeen[1], 100) << c.name;
    if (!mat.pawns) EXPECT_GT(diagonalShortcuts, 1000) << c.name << ": a White king on the diagonal";
  }
}
