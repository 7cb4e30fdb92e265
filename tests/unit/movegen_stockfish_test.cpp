// Divide counts ("move: leaves") compared move by move with Debian's
// stockfish ("go perft N") on positions from random legal games, standard
// and Chess960, and on positions at the edge of what the board holds.
// Without /usr/games/stockfish the tests fail and say so.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "board/perft.h"
#include "board/setup.h"
#include "e2e/engine_process.h"
#include "movegen_support.h"

using namespace movegentest;

namespace {

using Divide = std::map<std::string, uint64_t>;

struct Job { std::string fen; int depth; };

// Runs stockfish once over all jobs; one divide per job, empty when its
// output was missing.
std::vector<Divide> stockfishDivides(const std::vector<Job>& jobs, bool chess960) {
  EngineProcess sf;
  std::vector<Divide> divides;
  if (!sf.start(OraclePath) || !sf.handshake()) return divides;
  if (chess960) sf.send("setoption name UCI_Chess960 value true");
  for (const Job& j : jobs) {
    Divide current;
    sf.send("position fen " + j.fen + "\ngo perft " + std::to_string(j.depth));
    for (std::string text; sf.readLine(text) && text.rfind("Nodes searched:", 0) != 0;) {
      const size_t colon = text.find(": ");
      if (colon >= 4 && colon <= 5 && text[0] >= 'a' && text[0] <= 'h')
        current[text.substr(0, colon)] = std::strtoull(text.c_str() + colon + 2, nullptr, 10);
    }
    divides.push_back(current);
  }
  return divides;
}

Divide ourDivide(const Job& j) {
  Divide d;
  if (!parseFen(j.fen.c_str())) return d;
  static Move moves[MaxMovesPerPly];
  static uint64_t counts[MaxMovesPerPly];
  const int n = perftDivide(j.depth, moves, counts);
  for (int i = 0; i < n; ++i) d[coordinates(moves[i])] = counts[i];
  return d;
}

std::string differences(const Divide& ours, const Divide& theirs) {
  std::ostringstream s;
  for (const auto& [move, count] : theirs) {
    auto it = ours.find(move);
    if (it == ours.end()) s << " missing " << move;
    else if (it->second != count) s << " " << move << " " << it->second << "/" << count;
  }
  for (const auto& [move, count] : ours)
    if (!theirs.count(move)) s << " extra " << move;
  return s.str();
}

void compareWithStockfish(const std::vector<Job>& jobs, bool chess960) {
  if (access(OraclePath, X_OK) != 0)
    FAIL() << "STOCKFISH IS MISSING: " << OraclePath
           << " is needed as the perft oracle (apt-get install -y stockfish)";
  const std::vector<Divide> theirs = stockfishDivides(jobs, chess960);
  ASSERT_EQ(theirs.size(), jobs.size());
  int compared = 0;
  for (size_t i = 0; i < jobs.size(); ++i) {
    const Divide ours = ourDivide(jobs[i]);
    ASSERT_FALSE(theirs[i].empty() && !ours.empty()) << "stockfish gave no divide for " << jobs[i].fen;
    EXPECT_EQ(ours, theirs[i]) << jobs[i].fen << " depth " << jobs[i].depth << ":" << differences(ours, theirs[i]);
    ++compared;
  }
  EXPECT_EQ(compared, static_cast<int>(jobs.size()));
}

// Positions along random games from the given starts, one kept every few
// plies so that openings, middlegames and endings all come up.
std::vector<Job> randomJobs(const std::vector<std::string>& starts, int games, uint64_t seed) {
  std::vector<Job> jobs;
  Rng rng(seed);
  for (int g = 0; g < games; ++g) {
    if (!parseFen(starts[g % starts.size()].c_str())) continue;
    const int keepEvery = 7 + rng.below(9);
    int ply = 0;
    randomWalk(rng, 160, [&] {
      if (ply++ % keepEvery == 3) jobs.push_back({fenOf(), 3});
    });
  }
  return jobs;
}

}  // namespace

TEST(StockfishPerft, RandomStandardGames) {
  const std::vector<std::string> starts = {
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
      "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
      "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
      "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
      "4k3/pppppppp/8/8/8/8/PPPPPPPP/4K3 w - - 0 1",
  };
  std::vector<Job> jobs = randomJobs(starts, 60, 2024);
  ASSERT_GT(jobs.size(), 400u);
  compareWithStockfish(jobs, false);
}

TEST(StockfishPerft, RandomChess960Games) {
  // Starts from the Chess960 suite: every 24th line, so all the king and
  // rook placements of the families come up.
  std::vector<std::string> starts;
  FILE* in = std::fopen((std::string(BRAXEN_DATA_DIR) + "/perft/fischer.epd").c_str(), "r");
  ASSERT_NE(in, nullptr);
  char line[512];
  for (int n = 0; std::fgets(line, sizeof line, in) != nullptr; ++n)
    if (n % 24 == 0) starts.push_back(std::string(line).substr(0, std::string(line).find(';')));
  std::fclose(in);
  std::vector<Job> jobs = randomJobs(starts, 80, 960);
  ASSERT_GT(jobs.size(), 400u);
  compareWithStockfish(jobs, true);
}

TEST(StockfishPerft, PositionsAtTheEdge) {
  const std::vector<Job> jobs = {
      {"R6R/3Q4/1Q4Q1/4Q3/2Q4Q/Q4Q2/pp1Q4/kBNN1KB1 w - - 0 1", 3},  // 218 legal moves
      {"8/8/8/7k/8/QQQ5/QQQ5/QQQK4 w - - 0 1", 4},                  // nine queens
      {"NNNNk3/8/8/8/8/8/8/4K3 w - - 0 1", 4},
      // With Black to move this board is illegal (the c2 knight attacks
      // e1) and is refused; with White to move it is a check to answer.
      {"4k3/8/8/8/8/8/nnnn4/bbb1K3 w - - 0 1", 4},
      {"n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1", 5},
      {"n1n5/PPPk4/8/8/8/8/4Kppp/5N1N w - - 0 1", 5},
      {"7k/1P6/8/8/8/8/5BBB/NNNRRRK1 w - - 0 1", 4},                  // a fourth knight, rook, bishop
      {"3k4/3p4/8/K1P4r/8/8/8/8 b - - 0 1", 6},                     // en passant along a pinned rank
      {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", 4},
  };
  parseFen(jobs[0].fen.c_str());
  EXPECT_EQ(legalMoves().size(), 218u);
  compareWithStockfish(jobs, false);
}
