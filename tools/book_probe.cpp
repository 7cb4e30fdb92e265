// braxen-tool book probe: the records of a position in the book file, with
// their classes, learned weights and marks, and the chance each Book Style
// plays them.
#include "tools/book_probe.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>

#include "board/history.h"
#include "board/movegen.h"
#include "board/position.h"
#include "board/setup.h"
#include "book/bookfile.h"
#include "book/bookprobe.h"
#include "engine/edition.h"
#include "engine/report.h"
#include "engine/uci.h"
#include "platform/platform.h"
#include "tools/tools.h"

namespace {

constexpr const char* StyleNames[5] = {"", "Wild", "Wide", "Varied", "Tournament"};

// The distribution of one record's score: sorted values with their
// probabilities and the running sums below and up to each value.
struct ScoreDistribution {
  std::vector<int32_t> values;
  std::vector<double> below;   // P(score < values[i])
  std::vector<double> upTo;    // P(score <= values[i])

  double lessThan(int32_t s) const {
    const size_t i = std::lower_bound(values.begin(), values.end(), s) - values.begin();
    return i < values.size() ? below[i] : 1.0;
  }
  double atMost(int32_t s) const {
    const size_t i = std::upper_bound(values.begin(), values.end(), s) - values.begin();
    return i == 0 ? 0.0 : upTo[i - 1];
  }
};

// Every value of the random words the style reads: r1's low 8 bits (the
// widest mask any style applies) and, for Wild, r2's low 7 bits.
ScoreDistribution distributionOf(int style, int w, uint16_t learn, bool learning) {
  std::map<int32_t, double> counts;
  const int r2Values = style == 1 ? 128 : 1;
  const double each = 1.0 / (256.0 * r2Values);
  for (uint32_t r1 = 0; r1 < 256; ++r1)
    for (int r2 = 0; r2 < r2Values; ++r2)
      counts[bookStyleScore(style, w, learn, learning, r1, static_cast<uint32_t>(r2))] += each;
  ScoreDistribution d;
  double sum = 0;
  for (const auto& [value, p] : counts) {
    d.values.push_back(value);
    d.below.push_back(sum);
    sum += p;
    d.upTo.push_back(sum);
  }
  return d;
}

bool isNumber(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

}  // namespace

void bookStyleOdds(int style, const std::vector<int>& weights, const std::vector<uint16_t>& learns, bool learning,
                   std::vector<double>* odds) {
  const size_t n = weights.size();
  std::vector<ScoreDistribution> d(n);
  for (size_t i = 0; i < n; ++i)
    if (weights[i] >= 0) d[i] = distributionOf(style, weights[i], learns[i], learning);
  odds->assign(n, 0.0);
  // Record i is played with score s when every earlier record scores below
  // s and every later one at most s (the first of equal maxima is kept);
  // a score of 0 is never played.
  for (size_t i = 0; i < n; ++i) {
    if (weights[i] < 0) continue;
    for (size_t v = 0; v < d[i].values.size(); ++v) {
      const int32_t s = d[i].values[v];
      if (s <= 0) continue;
      double p = d[i].upTo[v] - d[i].below[v];
      for (size_t j = 0; j < n && p > 0; ++j)
        if (j != i && weights[j] >= 0) p *= j < i ? d[j].lessThan(s) : d[j].atMost(s);
      (*odds)[i] += p;
    }
  }
}

std::vector<ProbedMove> probeBookPosition(bool learning) {
  std::vector<ProbedMove> moves;
  int first = 0;
  const uint32_t key = bookKey();
  if (!bookFind(key, &first)) return moves;
  Move legal[MaxMovesPerPly];
  const int legalCount = generateLegalMoves(legal);
  std::vector<int> weights;
  std::vector<uint16_t> learns;
  for (int i = first; i < bookWindowCount && bookWindow[i].key == key; ++i) {
    const BookRecord& r = bookWindow[i];
    if ((r.learn >> 8) != bookKeyCheck()) continue;  // another position sharing the key word
    ProbedMove m = {r.move, r.learn, 0, {0, 0, 0, 0, 0}};
    for (int k = 0; k < legalCount && m.move == 0; ++k)
      if ((legal[k] & FromToMask) == (r.move & FromToMask)) m.move = legal[k];
    moves.push_back(m);
    weights.push_back(m.move == 0 ? -1 : learning ? (r.learn & 31) : ((r.move >> 12) & 7) * 4);
    learns.push_back(r.learn);
  }
  for (int style = 1; style <= 4; ++style) {
    std::vector<double> odds;
    bookStyleOdds(style, weights, learns, learning, &odds);
    for (size_t i = 0; i < moves.size(); ++i) moves[i].odds[style] = odds[i];
  }
  return moves;
}

bool setUpProbePosition(const std::vector<std::string>& args, std::string* problem) {
  size_t next = 0;
  if (args.empty()) return *problem = "no position given", false;
  if (args[0] == "startpos") {
    newGame();
    next = 1;
  } else {
    // A FEN in one argument, or its fields one by one: board, side,
    // castling, en passant, then the two counters when they are numbers.
    std::string fen = args[0];
    next = 1;
    if (fen.find(' ') == std::string::npos) {
      for (; next < args.size() && next < 4 && args[next] != "moves"; ++next) fen += " " + args[next];
      for (; next < args.size() && next < 6 && isNumber(args[next]); ++next) fen += " " + args[next];
    }
    if (parseFen(fen.c_str()) == 0) return *problem = "cannot read the FEN '" + fen + "'", false;
  }
  if (next < args.size() && args[next] == "moves") ++next;
  for (; next < args.size(); ++next) {
    Move m = parseMoveText(args[next].c_str());
    if (m == 0 || !completeMove(pos.sideToMove, &m) || !playGameMove(m))
      return *problem = "'" + args[next] + "' is not a legal move here", false;
  }
  return true;
}

// braxen-tool book probe [--book FILE] [--static] FEN|startpos [moves ...]
int bookProbeCommand(int argc, char** argv) {
  std::string file;
  bool learning = true;
  std::vector<std::string> args;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--book") == 0 && i + 1 < argc) file = argv[++i];
    else if (std::strcmp(argv[i], "--static") == 0) learning = false;
    else args.push_back(argv[i]);
  }
  if (args.empty()) {
    std::fprintf(stderr, "usage: braxen-tool book probe [--book FILE] [--static] FEN|startpos [moves ...]\n");
    return 2;
  }
  if (file.empty()) {
    // The engine's own book: the default name in its data folder.
    char folder[PathBufferSize];
    platformDataFolder(folder, sizeof folder);
    file = std::string(folder) + "/" + editionBookFile;
  }
  std::string problem;
  if (!setUpProbePosition(args, &problem)) return std::fprintf(stderr, "book probe: %s\n", problem.c_str()), 2;
  std::snprintf(bookFileName, sizeof bookFileName, "%s", file.c_str());
  if (file.size() >= sizeof bookFileName || !bookOpen())
    return std::fprintf(stderr, "book probe: cannot open the book %s\n", file.c_str()), 1;
  const std::vector<ProbedMove> moves = probeBookPosition(learning);
  std::printf("book %s, %u records; key %08x check %02x\n", file.c_str(), recordCount, bookKey(), bookKeyCheck());
  if (moves.empty()) {
    std::printf("no book moves in this position\n");
  } else {
    std::printf("move   san      class learned win loss %9s %9s %9s %11s\n", StyleNames[1], StyleNames[2],
                StyleNames[3], StyleNames[4]);
    for (const ProbedMove& m : moves) {
      const Move shown = m.move != 0 ? static_cast<Move>(m.move) : static_cast<Move>(m.moveWord & FromToMask);
      char uci[16], san[16];
      std::snprintf(uci, sizeof uci, "%s", MoveText(shown, StyleUciOut | StyleNoPad));
      std::snprintf(san, sizeof san, "%s", m.move != 0 ? MoveText(shown, StyleSan | StyleNoPad | sanDisambiguation(shown)) : "illegal");
      std::printf("%-6s %-8s %5d %7d %3s %4d", uci, san, (m.moveWord >> 12) & 7, m.learn & 31,
                  (m.learn & 0x80) ? "yes" : "-", (m.learn >> 5) & 3);
      for (int style = 1; style <= 4; ++style) std::printf(" %8.1f%%", 100 * m.odds[style]);
      std::printf("\n");
    }
    std::printf("odds with Book Learning %s\n", learning ? "on (learned weights)" : "off (static classes)");
  }
  bookClose();
  return 0;
}
