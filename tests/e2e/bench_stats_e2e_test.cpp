// "braxen-tool bench --stats": the tree statistics of a build with the
// counters (BRAXEN_STATS) must describe one consistent tree and leave the
// search unchanged; a build without them refuses the option.
#include <unistd.h>

#include <fstream>
#include <map>

#include "e2e/engine_process.h"

namespace {

long long nodesSearched(const std::string& text) {
  const size_t at = text.find("Nodes searched: ");
  return at == std::string::npos ? -1 : std::stoll(text.substr(at + 16));
}

// "--fens FILE" searches the file's positions: EPD lines with operations
// and FEN lines with or without move counters; lines that are no position
// are skipped, and a file without positions is an error.
TEST(BenchPositions, SearchesTheFilesPositions) {
  char path[] = "/tmp/braxen-bench-fens-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  const std::string text =
      "r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - bm Ng5; id \"two knights\";\n"
      "\n"
      "8/8/4k3/8/2P5/4K3/8/8 b - - 0 50\n"
      "comment\n"
      "4k3/8/8/8/8/8/4P3/4K3 w - -\n";
  ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  close(fd);
  int status = -1;
  const std::string out = toolOutput(std::string("bench 4 --fens ") + path, &status);
  EXPECT_EQ(status, 0) << out;
  long long sum = 0;
  int positions = 0;
  std::istringstream in(out);
  for (std::string l; std::getline(in, l);) {
    int index = 0;
    long long nodes = 0;
    if (sscanf(l.c_str(), "%d %lld", &index, &nodes) == 2 && l.find('/') != std::string::npos) {
      positions++;
      sum += nodes;
      EXPECT_GT(nodes, 0) << l;
    }
  }
  EXPECT_EQ(positions, 3) << out;
  EXPECT_EQ(nodesSearched(out), sum);
  EXPECT_NE(out.find("8/8/4k3/8/2P5/4K3/8/8 b - - 0 50"), std::string::npos) << "move counters kept";

  std::ofstream(path, std::ios::trunc) << "no positions here\n";
  toolOutput(std::string("bench 4 --fens ") + path, &status);
  EXPECT_EQ(status, 2);
  unlink(path);
  toolOutput(std::string("bench 4 --fens ") + path, &status);
  EXPECT_EQ(status, 2) << "a missing file";
}

#ifdef BRAXEN_STATS

// Rows "  label    count ..." of the statistics, by label.
std::map<std::string, long long> statRows(const std::string& text) {
  std::map<std::string, long long> rows;
  std::istringstream in(text.substr(text.find("Tree statistics")));
  for (std::string l; std::getline(in, l);) {
    if (l.rfind("  ", 0) != 0) continue;
    const size_t gap = l.find("  ", 2);
    if (gap == std::string::npos) continue;
    const std::string label = l.substr(2, gap - 2);
    long long v = 0;
    if (sscanf(l.c_str() + gap, "%lld", &v) == 1) rows[label] = v;
  }
  return rows;
}

// The iteration table: nodes per completed depth, summed over the searches.
std::map<int, long long> iterationNodes(const std::string& text) {
  std::map<int, long long> nodes;
  std::istringstream in(text.substr(text.find("Tree statistics")));
  for (std::string l; std::getline(in, l);) {
    int depth = 0;
    long long n = 0;
    double ebf = 0;
    long long cumulative = 0;
    if (sscanf(l.c_str(), " %d %lld %lf %lld", &depth, &n, &ebf, &cumulative) == 4) nodes[depth] = n;
  }
  return nodes;
}

TEST(BenchStats, CountsDescribeOneTreeAndLeaveTheSearchAlone) {
  int status = -1;
  const std::string plain = toolOutput("bench 6", &status);
  ASSERT_EQ(status, 0);
  const std::string text = toolOutput("bench --stats 6", &status);
  ASSERT_EQ(status, 0) << text;
  ASSERT_NE(text.find("Tree statistics: 31 searches to depth 6"), std::string::npos) << text;
  const long long total = nodesSearched(text);
  EXPECT_EQ(total, nodesSearched(plain)) << "counting must not change the search";

  const std::map<int, long long> iterations = iterationNodes(text);
  ASSERT_EQ(iterations.size(), 6u) << text;
  long long sum = 0;
  for (const auto& [depth, n] : iterations) sum += n;
  EXPECT_LE(sum, total) << "iterations cannot hold more than every node";
  EXPECT_GE(sum, total * 99 / 100) << "only the root preparation lies outside the iterations";

  std::map<std::string, long long> s = statRows(text);
  auto at = [&](const char* label) {
    EXPECT_TRUE(s.count(label)) << "no row " << label;
    return s[label];
  };
  const long long mainNodes = at("main-search nodes");
  EXPECT_GT(mainNodes, 0);
  EXPECT_GT(at("quiescence nodes"), 0);
  EXPECT_EQ(at("PV nodes") + at("expected cut nodes") + at("expected all nodes"), mainNodes);
  // Each check reads "part <= whole".
  const std::pair<const char*, const char*> within[] = {
      {"PV nodes with a move loop", "PV nodes"},
      {"cut nodes with a move loop", "expected cut nodes"},
      {"all nodes with a move loop", "expected all nodes"},
      {"PV loops that failed high", "PV nodes with a move loop"},
      {"cut loops that failed high", "cut nodes with a move loop"},
      {"all loops that failed high", "all nodes with a move loop"},
      {"beta cutoffs", "main-search nodes"},
      {"on the first move", "beta cutoffs"},
      {"hits", "probes"},
      {"probes", "main-search nodes"},
      {"hits with a move", "hits"},
      {"PVS re-searches", "PVS null-window searches"},
      {"PVS re-search confirmed", "PVS re-searches"},
      {"root fail highs", "root move searches"},
      {"tries", "eligible"},
      {"shallow: evaluation returned", "eligible"},
      {"verifications failed", "verifications"},
      {"reduced by the optimistic rule", "reduced moves"},
      {"reduced and re-searched", "reduced moves"},
      {"re-search confirmed", "reduced and re-searched"},
      {"nodes extended", "main-search nodes"},
      {"stand-pat cutoffs", "quiescence nodes"},
  };
  for (const auto& [part, whole] : within) EXPECT_LE(at(part), at(whole)) << part << " within " << whole;
  EXPECT_LE(at("cutoffs, deeper entry") + at("cutoffs, after extensions"), at("hits"));
  EXPECT_EQ(at("by the hash move") + at("by a good capture") + at("by a killer") + at("by another quiet move") +
                at("by a losing capture"),
            at("beta cutoffs"))
      << "every cutoff has one kind";
  EXPECT_EQ(at("stores lower bound"), at("beta cutoffs")) << "a loop fails high only through a cutoff";
  EXPECT_EQ(at("cutoffs") + at("failed low") + at("mate threats") + at("verifications failed"), at("tries"))
      << "every null move ends one way";
  EXPECT_GT(at("on the first move"), at("beta cutoffs") / 2) << "the ordering puts most refutations first";
}

#else

TEST(BenchStats, RefusedWithoutTheCounters) {
  int status = -1;
  const std::string text = toolOutput("bench --stats 2", &status);
  EXPECT_EQ(status, 2);
  EXPECT_NE(text.find("-DBRAXEN_STATS=ON"), std::string::npos) << text;
  EXPECT_EQ(text.find("Nodes searched"), std::string::npos) << "nothing searched";
}

#endif

}  // namespace
