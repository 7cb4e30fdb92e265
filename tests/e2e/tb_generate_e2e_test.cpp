// Tables made by braxen-tool tb generate, read by tb probe, tb verify and
// by the engine through the pipe: a search on a won ending reports the
// stored distance as its mate score and counts its table hits.
#include <cstdio>
#include <string>

#include "e2e/engine_process.h"

namespace {

long long tbhitsOf(const std::string& line) {
  const size_t at = line.find(" tbhits ");
  return at == std::string::npos ? -1 : std::atoll(line.c_str() + at + 8);
}

// mateIn: from the independent oracle.
struct Ending { const char* fen; int mateIn; };

// Long mates of KQK, KRK, KPK and KBNK, beyond what depth 10 can see.
constexpr Ending endings[] = {{"8/8/8/5k2/8/8/1Q6/K7 w - - 0 1", 10},
                              {"8/8/8/8/8/2k5/1R6/K7 w - - 0 1", 16},
                              {"8/8/8/1k6/8/8/K5P1/8 w - - 0 1", 28},
                              {"8/8/7N/8/8/8/8/K1k1B3 w - - 0 1", 33}};

class TbGenerate : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder = new TempFolder("braxen-tb");
    ASSERT_FALSE(folder->path.empty());
    dir = folder->path;
    int status = -1;
    const std::string out = toolOutput("tb generate kqk krk kpk kbnk --dir " + dir, &status);
    ASSERT_EQ(status, 0) << out;
  }
  static void TearDownTestSuite() { delete folder; }
  static TempFolder* folder;
  static std::string dir;
};
TempFolder* TbGenerate::folder = nullptr;
std::string TbGenerate::dir;

TEST_F(TbGenerate, EveryFileHasItsSizeAndAMissingFolderIsRefused) {
  int status = -1;
  const std::string out = toolOutput("tb verify " + dir, &status);
  EXPECT_EQ(status, 0) << out;
  // The smaller classes that captures lead into were made first.
  for (const char* name : {"kbnk.nbw", "kbnk.nbb", "kbk.nbw", "knk.nbb", "kqk.nbw", "krk.nbb", "kpk.nbw"})
    EXPECT_NE(std::fopen((dir + "/" + name).c_str(), "rb"), nullptr) << name;
  toolOutput("tb generate kqk --dir /proc/no/such/folder", &status);
  EXPECT_NE(status, 0);
  toolOutput("tb generate kqqqkq --dir " + dir, &status);
  EXPECT_NE(status, 0) << "six men are beyond the generator";
}

// "tb probe" on the tables in path says the side to move wins in mateIn.
void expectProbedWin(const std::string& fen, int mateIn, const std::string& path) {
  const std::string out = toolOutput("tb probe '" + fen + "' --path " + path);
  EXPECT_NE(out.find("result: win in " + std::to_string(mateIn) + "\n"), std::string::npos) << fen << "\n" << out;
}

TEST_F(TbGenerate, ProbeReadsTheOraclesDistanceInBothColourOrders) {
  for (const Ending& e : endings) expectProbedWin(e.fen, e.mateIn, dir);
  expectProbedWin("k7/1q6/8/8/5K2/8/8/8 b - - 0 1", 10, dir);  // colours reversed: Black mates with the queen
}

// --compress writes the compressed form of every file asked for, also of
// classes already on disk; on their own they give the same results.
TEST_F(TbGenerate, CompressedCopiesGiveTheSameResults) {
  int status = -1;
  std::string out = toolOutput("tb generate kqk krk kpk --dir " + dir + " --compress", &status);
  ASSERT_EQ(status, 0) << out;
  const std::string packed = dir + "/emd";
  ASSERT_EQ(std::system(("mkdir -p '" + packed + "' && mv '" + dir + "'/*.emd '" + packed + "'").c_str()), 0);
  out = toolOutput("tb decode " + packed + "/kpk.nbw.emd " + dir + "/kpk.nbw", &status);
  EXPECT_NE(out.find("identical to the original"), std::string::npos) << out;
  for (const Ending& e : endings)
    if (e.mateIn != 33) expectProbedWin(e.fen, e.mateIn, packed);  // kbnk was not asked for
}

TEST_F(TbGenerate, TheEngineReportsTheStoredMateAndItsTableHits) {
  EngineProcess e;
  ASSERT_TRUE(e.start());
  ASSERT_TRUE(e.handshake());
  ASSERT_TRUE(e.send("setoption name NalimovPath value " + dir));
  for (const Ending& end : endings) {
    ASSERT_TRUE(e.send("ucinewgame"));
    ASSERT_TRUE(e.send(std::string("position fen ") + end.fen));
    const GoReply r = go(e, "go depth 10", 120000);
    ASSERT_FALSE(r.bestLine.empty()) << e.transcript();
    const std::vector<long long> mates = r.scores("mate");
    ASSERT_FALSE(mates.empty()) << end.fen << e.transcript();
    EXPECT_EQ(mates.back(), end.mateIn) << end.fen;
    long long first = -1, last = -1;
    for (const std::string& line : r.infoLines) {
      const long long hits = tbhitsOf(line);
      if (hits < 0) continue;
      if (first < 0) first = hits;
      last = hits;
    }
    EXPECT_GT(last, 0) << end.fen << e.transcript();
    EXPECT_GE(last, first);
  }
}

}  // namespace
