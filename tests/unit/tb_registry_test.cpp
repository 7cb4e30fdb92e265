// Tablebase registry, block cache and probe: which files a path registers,
// what a stored byte means to the engine, what happens to a file that is
// broken at registration or lost afterwards, and that probes allocate
// nothing. Tables are written by the tests at the indices the class's own
// index functions give.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "engine/options.h"
#include "eval_test_support.h"
#include "tb_codec_support.h"
#include "tablebase/tablebase.h"
#include "tablebase/tbcache.h"

#if !defined(__SANITIZE_ADDRESS__)
// Every allocation of the process is counted while countAllocations is set
// (the sanitizer build has an allocator of its own and is not counted).
extern "C" void* __libc_malloc(size_t size);
namespace {
bool countAllocations = false;
long allocations = 0;
}  // namespace
extern "C" void* malloc(size_t size) noexcept {
  if (countAllocations) ++allocations;
  return __libc_malloc(size);
}
#endif

namespace {

using Entries = std::vector<std::pair<uint64_t, int8_t>>;

int classOf(const char* name) {
  initTbClasses();
  const int c = tbClassByName(name);
  EXPECT_GT(c, 0) << name;
  return c;
}

// Index of a position in the table of the class its White and Black men
// form as they stand (no colour swap), for the side to move.
uint64_t indexOf(const std::string& fen, int* classNo = nullptr, int* side = nullptr) {
  EXPECT_TRUE(parseFen(fen.c_str())) << fen;
  uint8_t lists[2][16] = {};
  std::string name[2] = {"k", "k"};
  static const char letters[] = "pnbrq";
  for (int colour = 0; colour < 2; ++colour) {
    for (int k = 4; k >= 0; --k)
      for (int s = 63, n = 0; s >= 0; --s)
        if (pos.colourOn[s] == colour && pos.pieceOn[s] == k + 1) {
          lists[colour][3 * k + n++] = static_cast<uint8_t>(s);
          name[colour] += letters[k];
        }
    lists[colour][TbListKing] = pos.pieceList[colour][0];
  }
  const int c = classOf((name[0] + name[1]).c_str());
  const int s = static_cast<int>(pos.sideToMove);
  if (classNo) *classNo = c;
  if (side) *side = s;
  const int ep = pos.epSquare ? static_cast<int>(pos.epSquare) : TbNoEp;
  return tbClasses[c].indexFn[s](lists[0], lists[1], ep, 0);
}

std::string tableName(int classNo, int side) {
  return std::string(tbClasses[classNo].name) + (side == 0 ? ".nbw" : ".nbb");
}

// A one-byte table file of the class's full size, every entry fill except
// the ones given.
void writeTable(const std::string& path, int classNo, int side, int8_t fill, const Entries& entries = {}) {
  std::string bytes(tbClasses[classNo].positions[side], static_cast<char>(fill));
  for (const auto& [index, v] : entries) bytes.at(index) = static_cast<char>(v);
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void writeTableAt(const std::string& dir, const std::string& fen, int8_t v, int8_t fill = 0) {
  int c = 0, s = 0;
  const uint64_t index = indexOf(fen, &c, &s);
  mkdir(dir.c_str(), 0755);
  writeTable(dir + "/" + tableName(c, s), c, s, fill, {{index, v}});
}

class Tablebases : public tbtest::TableFolders {
 protected:
  void SetUp() override {
    TableFolders::SetUp();
    kqk = classOf("kqk");
    krk = classOf("krk");
    kpk = classOf("kpk");
  }
  bool probe(const std::string& fen, TbResult* r) {
    EXPECT_TRUE(parseFen(fen.c_str())) << fen;
    return probeTablebase(static_cast<int>(pos.sideToMove), r);
  }
  // The distance the probe reads for a win or loss, -1 when not found.
  int distance(const std::string& fen) {
    TbResult r{};
    return probe(fen, &r) ? r.distance : -1;
  }

  int kqk = 0, krk = 0, kpk = 0;
};

// White: Kb2 and a man on c2, Black: Ke5.
constexpr char kqkWhite[] = "8/8/8/4k3/8/8/1KQ5/8 w - - 0 1";
constexpr char kqkBlack[] = "8/8/8/4k3/8/8/1KQ5/8 b - - 0 1";
constexpr char krkWhite[] = "8/8/8/4k3/8/8/1KR5/8 w - - 0 1";
constexpr char kpkWhite[] = "8/8/8/4k3/8/8/1KP5/8 w - - 0 1";

// ---- Stored values ---------------------------------------------------------

TEST(TablebaseScores, StoredBytesBecomeResultsOfTheirKind) {
  // 127 is "no information"; -128 and -127 are the extreme win and loss;
  // two-byte tables (the last rows) store the table score itself.
  const struct { int score; bool found; int kind, distance; } cases[] = {
      {tbScoreOfByte(0), true, TbDraw, 0},      {tbScoreOfByte(1), true, TbWin, 126},
      {tbScoreOfByte(126), true, TbWin, 1},     {tbScoreOfByte(-1), true, TbLoss, 125},
      {tbScoreOfByte(-126), true, TbLoss, 0},   {tbScoreOfByte(-127), true, TbLoss, 126},
      {tbScoreOfByte(-128), true, TbWin, 127},  {tbScoreOfByte(127), false, 0, 0},
      {-32766, true, TbLoss, 0},                {32766, true, TbWin, 1}};
  for (const auto& c : cases) {
    TbResult r{};
    ASSERT_EQ(tbResultOfScore(c.score, &r), c.found) << c.score;
    if (c.found) EXPECT_TRUE(r.kind == c.kind && r.distance == c.distance) << c.score << ": " << r.kind << " " << r.distance;
  }
}

// A loss at distance 0 has R = 0, the value of a draw; the kind keeps it a
// loss all the way to the evaluation.
TEST_F(Tablebases, LossAtDistanceZeroScoresAsMateNotDraw) {
  const char mated[] = "7k/6Q1/6K1/8/8/8/8/8 b - - 0 1";
  writeTableAt(folder("tbA"), mated, -126);
  registerPath("tbA");
  ASSERT_TRUE(evaltest::setUp(mated, OptUseTablebases));
  const int ply = 2;
  EXPECT_EQ(evaltest::eval(EvalFullDepth, ply), -8193 + ply);
  EXPECT_EQ(evaltest::verdict(), EvalTablebaseLoss);
}

TEST_F(Tablebases, ColourReversedPositionsReadTheStoredEntry) {
  folder("tbA");
  for (const char* fen : {kqkWhite, kqkBlack, kpkWhite}) {
    writeTableAt("tbA", fen, 117);
    registerPath("tbA");
    EXPECT_EQ(distance(fen), 10) << fen;
    EXPECT_EQ(tbLastProbe.invert, 0);
    const std::string twin = evaltest::mirrorFen(fen);
    EXPECT_EQ(distance(twin), 10) << twin;
    EXPECT_EQ(tbLastProbe.invert, 1) << twin;
    EXPECT_EQ(std::system("rm -f tbA/*"), 0);
  }
}

// ---- Lookup and registration -------------------------------------------------

TEST_F(Tablebases, LookupTreeHoldsEveryClassBothWaysRound) {
  writeTableAt(folder("tbA"), kqkWhite, 1);
  writeTableAt("tbA", krkWhite, 1);
  registerPath("tbA");
  EXPECT_EQ(tbMaxMen, 3);
  // Men counts P N B R Q p n b r q; kbk has no file.
  const struct { int men[10]; int cls; } cases[] = {{{0, 0, 0, 0, 1, 0, 0, 0, 0, 0}, kqk},
                                                    {{0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, -kqk},
                                                    {{0, 0, 0, 0, 0, 0, 0, 0, 1, 0}, -krk},
                                                    {{0, 0, 1, 0, 0, 0, 0, 0, 0, 0}, 0},
                                                    {{2, 0, 0, 0, 1, 0, 0, 0, 0, 2}, 0}};
  for (const auto& c : cases) EXPECT_EQ(tbLookupClass(c.men), c.cls) << &c - cases;
}

// Material without a registered table, or beyond what any table holds
// (four men of a kind after promotions), is turned away before any file.
TEST_F(Tablebases, PositionsWithoutATableNeverTouchTheDisk) {
  writeTableAt(folder("tbA"), kqkWhite, 1);
  registerPath("tbA");
  const uint32_t tried = tbFilesTried, opened = tbFilesOpened;
  for (const char* fen : {"8/8/8/4k3/8/8/1KNN4/8 w - - 0 1", "8/8/8/4k3/8/8/1KB5/8 b - - 0 1",
                          "8/8/8/4k3/8/8/1KNNNN2/8 w - - 0 1", "8/8/8/4k3/8/8/1K6/QQQQ4 b - - 0 1"}) {
    TbResult r{};
    EXPECT_FALSE(probe(fen, &r)) << fen;
  }
  EXPECT_EQ(tbFilesTried, tried);
  EXPECT_EQ(tbFilesOpened, opened);
}

// An empty path element means the current folder.
TEST_F(Tablebases, PathElementsAreSearchedInOrderAndTheFirstFindWins) {
  writeTableAt(folder("tbA"), kqkWhite, 100);  // win in 27
  writeTableAt(folder("tbB"), kqkWhite, 50);   // win in 77
  writeTableAt("tbB", krkWhite, 120);          // win in 7
  made.push_back("kqk.nbw");
  writeTableAt(".", kqkWhite, 121);            // win in 6
  // withKrk: the path reaches tbB, so two files with krk's win in 7.
  struct Case { const char* path; int kqkDistance; bool withKrk; };
  for (const Case& c : {Case{"tbA;tbB", 27, true}, {"tbB,tbA", 77, true}, {"tbMissing;tbA/;tbB", 27, true},
                        {"", 6, false}, {"tbMissing;", 6, false}, {";tbMissing", 6, false}}) {
    registerPath(c.path);
    EXPECT_EQ(distance(kqkWhite), c.kqkDistance) << '"' << c.path << '"';
    if (!c.withKrk) continue;
    EXPECT_EQ(tbFilesRegistered, 2u) << c.path;
    EXPECT_EQ(distance(krkWhite), 7) << c.path;
  }
}

TEST_F(Tablebases, FileNamesAreMatchedInLowerCase) {
  writeTableAt(folder("tbA"), kqkWhite, 120);
  writeTableAt("tbA", krkWhite, 110);
  ASSERT_EQ(rename("tbA/kqk.nbw", "tbA/KQK.NBW"), 0);
  ASSERT_EQ(rename("tbA/krk.nbw", "tbA/Krk.Nbw"), 0);
  registerPath("tbA");
  EXPECT_EQ(distance(kqkWhite), 7);
  EXPECT_EQ(distance(krkWhite), 17);
  EXPECT_STREQ(tbClasses[kqk].fileName[0][0], "tbA/KQK.NBW");
}

TEST(TablebaseNames, SplitPartsAndFileNames) {
  const uint64_t two31 = 1ull << 31, two30 = 1ull << 30;
  EXPECT_EQ(tbPartEntries(TbSplit), two31);
  EXPECT_EQ(tbPartEntries(TbSplit | TbTwoBytes), two30);
  struct Case { uint32_t flags; uint64_t positions; int parts; uint64_t first, last; };
  const Case cases[] = {
      {0, 28644, 1, 28644, 28644},
      {TbSplit, 5000000000ull, 3, two31, 5000000000ull - 2 * two31},
      {TbSplit | TbTwoBytes, 3000000000ull, 3, two30, 3000000000ull - 2 * two30},
      {TbSplit, two31 + 1, 2, two31, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(tbPartCount(c.flags, c.positions), c.parts) << c.positions;
    EXPECT_EQ(tbExpectedEntries(c.flags, c.positions, 0), c.first) << c.positions;
    EXPECT_EQ(tbExpectedEntries(c.flags, c.positions, c.parts - 1), c.last) << c.positions;
  }
  char name[64];
  const std::pair<std::string, std::string> names[] = {{"", "kqk.nbw"}, {"x", "x/kqk.nbw"}, {"x/", "x/kqk.nbw"}};
  for (const auto& [dir, expected] : names) {
    tbFileName(name, sizeof name, dir.c_str(), "kqk", 0, 0, 0);
    EXPECT_EQ(std::string(name), expected);
  }
  tbFileName(name, sizeof name, "", "kqpkqp", TbSplit, 3, 1);
  EXPECT_STREQ(name, "kqpkqp.3.nbb");
  tbFileName(name, sizeof name, "", "kqpkqp", TbSplit, 10, 0);
  EXPECT_STREQ(name, "kqpkqp.a.nbw");
}

// ---- Broken files ------------------------------------------------------------

// A file of the wrong size at registration is fatal; that is checked end to
// end, where the exit status, both logs and the silent output are seen.

// A short last block keeps its valid length: nothing beyond the end of the
// file is read as an entry, and neither is an index beyond the class.
TEST_F(Tablebases, ShortBlockAndIndexBeyondTheClassAreUnknown) {
  writeTable(folder("tbA") + "/kqk.nbw", kqk, 0, 5);
  registerPath("tbA");
  ASSERT_GT(tbClasses[kqk].positions[0], TbBlockBytes + 100);
  ASSERT_EQ(truncate("tbA/kqk.nbw", TbBlockBytes + 100), 0);
  EXPECT_EQ(readEntry(kqk, 0, 1, 99), 5);
  EXPECT_EQ(readEntry(kqk, 0, 1, 100), TbUnknown);
  EXPECT_EQ(readEntry(kqk, 0, 0, 8191), 5);
  EXPECT_EQ(probeClass(kqk, 0, tbClasses[kqk].positions[0]), TbUnknown);
}

TEST_F(Tablebases, ATableLostAfterRegistrationLosesOnlyThatTable) {
  writeTableAt(folder("tbA"), kqkWhite, 120);
  writeTableAt("tbA", krkWhite, 120);
  registerPath("tbA");
  ASSERT_EQ(truncate("tbA/krk.nbw", 0), 0);
  TbResult r{};
  EXPECT_FALSE(probe(krkWhite, &r));
  EXPECT_EQ(tbClasses[krk].fileName[0][0], nullptr);
  EXPECT_FALSE(probe(krkWhite, &r));
  EXPECT_EQ(distance(kqkWhite), 7);
  // Registering again finds the file as it is now.
  writeTableAt("tbA", krkWhite, 110);
  registerPath("tbA");
  EXPECT_EQ(distance(krkWhite), 17);
}

// "NalimovCache" resizes the cache and keeps the registered files.
TEST_F(Tablebases, ResizingTheCacheKeepsTheTables) {
  writeTableAt(folder("tbA"), kqkWhite, 120);
  registerPath("tbA");
  EXPECT_EQ(tbCacheEntries, (1u << 20) / TbEntryCost);
  EXPECT_EQ(distance(kqkWhite), 7);
  tbCacheBytes = 3u << 20;
  EXPECT_TRUE(InitTablebases(false));
  EXPECT_EQ(tbCacheEntries, (3u << 20) / TbEntryCost);
  EXPECT_EQ(tbFilesRegistered, 1u);
  EXPECT_EQ(distance(kqkWhite), 7);
}

// ---- Block cache ---------------------------------------------------------------

class TablebaseCache : public Tablebases {
 protected:
  void SetUp() override {
    Tablebases::SetUp();
    writeTable(folder("tbA") + "/kqk.nbw", kqk, 0, 0);
    registerPath("tbA");
    ASSERT_TRUE(tbCacheAllocate(3 * TbEntryCost));
    ASSERT_EQ(tbCacheEntries, 3u);
    tbCacheAttach(kqk, 0);
    tbCacheAttach(kqk, 1);
  }
  void fill(int side, uint32_t block) {
    TbCacheEntry* e = tbCacheTake(kqk, side, block);
    ASSERT_NE(e, nullptr);
    e->length = TbBlockBytes;
    tbCacheInsert(e);
  }
  bool cached(int side, uint32_t block) { return tbCacheFind(kqk, side, block) != nullptr; }
};

TEST_F(TablebaseCache, TheLeastRecentlyUsedBlockMakesRoom) {
  fill(0, 0);
  fill(0, 1);
  fill(0, 2);
  EXPECT_TRUE(cached(0, 0));  // block 1 is now the oldest
  fill(0, 3);
  EXPECT_FALSE(cached(0, 1));
  EXPECT_TRUE(cached(0, 2));
  fill(0, 4);  // block 0 was used before block 2
  EXPECT_FALSE(cached(0, 0));
  EXPECT_TRUE(cached(0, 2) && cached(0, 3) && cached(0, 4));
}

// Blocks 0, 32 and 64 share a bucket; sides have buckets of their own.
TEST_F(TablebaseCache, BucketsTellBlocksAndSidesApart) {
  fill(0, 32);
  fill(1, 32);
  fill(0, 64);
  EXPECT_FALSE(cached(0, 0));
  EXPECT_TRUE(cached(1, 32));
  fill(0, 0);  // evicts (0, 32) from the middle of its bucket
  EXPECT_FALSE(cached(0, 32));
  EXPECT_TRUE(cached(0, 64) && cached(0, 0) && cached(1, 32));
  tbCacheFree();
  EXPECT_FALSE(cached(0, 64));
}

// A cached block is served without reading the file again.
TEST_F(TablebaseCache, HitsAreNotReadAgain) {
  EXPECT_EQ(readEntry(kqk, 0, 0, 10), 0);
  {
    std::fstream f("tbA/kqk.nbw", std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(10);
    f.put(static_cast<char>(42));
  }
  EXPECT_EQ(readEntry(kqk, 0, 0, 10), 0);
  for (uint32_t block = 1; block <= 3; ++block) readEntry(kqk, 0, block, 0);
  EXPECT_EQ(readEntry(kqk, 0, 0, 10), 42);
}

// Probes that hit the cache and probes that read a block (the cache is
// kept smaller than the table) allocate nothing.
TEST_F(TablebaseCache, ProbesAllocateNothing) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "allocations are counted only outside the sanitizer build";
#else
  writeTableAt("tbA", kqkWhite, 120);
  writeTableAt("tbA", krkWhite, 110);
  registerPath("tbA");
  ASSERT_TRUE(tbCacheAllocate(2 * TbEntryCost));
  const uint32_t blocks = static_cast<uint32_t>(tbClasses[kqk].positions[0] / TbBlockBytes);
  const char* fens[] = {kqkWhite, krkWhite, kqkBlack, "8/8/8/4K3/8/8/1kq5/8 w - - 0 1"};
  long seen = 0;
  for (int round = 0; round < 3; ++round)
    for (const char* fen : fens) {
      ASSERT_TRUE(parseFen(fen));
      TbResult r{};
      countAllocations = true;
      allocations = 0;
      for (int i = 0; i < 100; ++i) probeTablebase(static_cast<int>(pos.sideToMove), &r);
      for (uint32_t b = 0; b < blocks; ++b) readEntry(kqk, 0, b, 0);
      countAllocations = false;
      seen += allocations;
    }
  EXPECT_EQ(seen, 0);
#endif
}

}  // namespace
