// Tree statistics: the counters and their table (see stats.h).
#include "search/stats.h"

#include <cinttypes>

uint64_t statCounters[StatCount];
uint64_t statIterationNodes[StatMaxDepth];
uint64_t statIterationSearches[StatMaxDepth];
uint64_t statRootFailHighAt[StatMaxDepth];
uint64_t statRootFailLowAt[StatMaxDepth];

void statReset() {
  for (uint64_t& c : statCounters) c = 0;
  for (int d = 0; d < StatMaxDepth; d++)
    statIterationNodes[d] = statIterationSearches[d] = statRootFailHighAt[d] = statRootFailLowAt[d] = 0;
}

void statNoteIteration(int depth, uint64_t nodes) {
  if (depth < 1 || depth >= StatMaxDepth) return;
  statIterationNodes[depth] += nodes;
  statIterationSearches[depth]++;
}

namespace {

double percent(uint64_t part, uint64_t whole) { return whole ? 100.0 * static_cast<double>(part) / whole : 0.0; }
double ratio(uint64_t a, uint64_t b) { return b ? static_cast<double>(a) / b : 0.0; }

void row(FILE* out, const char* label, uint64_t v) { fprintf(out, "  %-36s %14" PRIu64 "\n", label, v); }

// A count with its share of a base count.
void share(FILE* out, const char* label, StatCounter c, uint64_t base, const char* of) {
  const uint64_t v = statCounters[c];
  fprintf(out, "  %-36s %14" PRIu64 "  %6.2f %% of %s\n", label, v, percent(v, base), of);
}

// An extension kind: how often it applied and its mean size in plies.
void extension(FILE* out, const char* label, StatCounter count, StatCounter sum, uint64_t nodes) {
  const uint64_t n = statCounters[count];
  const double mean = n ? static_cast<double>(static_cast<int64_t>(statCounters[sum])) / n / 32.0 : 0.0;
  fprintf(out, "  %-36s %14" PRIu64 "  %6.2f %% of main nodes, mean %+.3f ply\n", label, n, percent(n, nodes),
          mean);
}

void printIterations(FILE* out) {
  fprintf(out, "  %5s %14s %8s %14s %8s %6s %6s\n", "depth", "nodes", "ebf", "to depth", "ebf-cum", "fh", "fl");
  uint64_t cumulative = 0, previousCumulative = 0;
  for (int d = 1; d < StatMaxDepth; d++) {
    if (statIterationSearches[d] == 0) break;
    cumulative += statIterationNodes[d];
    fprintf(out, "  %5d %14" PRIu64 " %8.2f %14" PRIu64 " %8.2f %6" PRIu64 " %6" PRIu64 "\n", d, statIterationNodes[d],
            ratio(statIterationNodes[d], statIterationNodes[d - 1]), cumulative, ratio(cumulative, previousCumulative),
            statRootFailHighAt[d], statRootFailLowAt[d]);
    previousCumulative = cumulative;
  }
}

}  // namespace

void statPrint(FILE* out, int searches, int depth) {
  const uint64_t* c = statCounters;
  const uint64_t mainNodes = c[StatMainNodes], qNodes = c[StatQuiesceNodes];
  const uint64_t allNodes = mainNodes + qNodes;
  fprintf(out, "Tree statistics: %d searches to depth %d\n", searches, depth);
  fprintf(out, "Iterations (nodes of completed iterations; ebf = nodes / nodes of the iteration before;\n"
               "  to depth = nodes to finish the depth; fh/fl = root fail highs/lows)\n");
  printIterations(out);

  fprintf(out, "Nodes\n");
  share(out, "main-search nodes", StatMainNodes, allNodes, "all nodes");
  share(out, "quiescence nodes", StatQuiesceNodes, allNodes, "all nodes");
  share(out, "PV nodes", StatPvNodes, mainNodes, "main nodes");
  share(out, "expected cut nodes", StatCutNodes, mainNodes, "main nodes");
  share(out, "expected all nodes", StatAllNodes, mainNodes, "main nodes");
  share(out, "PV nodes with a move loop", StatPvLoops, c[StatPvNodes], "PV nodes");
  share(out, "cut nodes with a move loop", StatCutLoops, c[StatCutNodes], "cut nodes");
  share(out, "all nodes with a move loop", StatAllLoops, c[StatAllNodes], "all nodes (typed)");
  share(out, "PV loops that failed high", StatPvNodesFailHigh, c[StatPvLoops], "PV loops");
  share(out, "cut loops that failed high", StatCutNodesFailHigh, c[StatCutLoops], "cut loops");
  share(out, "all loops that failed high", StatAllNodesFailHigh, c[StatAllLoops], "all loops");

  fprintf(out, "Move-loop cutoffs (main search)\n");
  share(out, "beta cutoffs", StatBetaCutoffs, mainNodes, "main nodes");
  share(out, "on the first move", StatFirstMoveCutoffs, c[StatBetaCutoffs], "cutoffs");
  fprintf(out, "  %-36s %14.3f\n", "moves searched before the cut", ratio(c[StatCutoffMovesBefore], c[StatBetaCutoffs]));
  share(out, "by the hash move", StatCutoffHash, c[StatBetaCutoffs], "cutoffs");
  share(out, "by a good capture", StatCutoffGoodCapture, c[StatBetaCutoffs], "cutoffs");
  share(out, "by a killer", StatCutoffKiller, c[StatBetaCutoffs], "cutoffs");
  share(out, "by another quiet move", StatCutoffQuiet, c[StatBetaCutoffs], "cutoffs");
  share(out, "by a losing capture", StatCutoffBadCapture, c[StatBetaCutoffs], "cutoffs");
  share(out, "fail-low nodes", StatFailLowNodes, mainNodes, "main nodes");

  fprintf(out, "Transposition table (main search)\n");
  share(out, "probes", StatTtProbes, mainNodes, "main nodes");
  share(out, "hits", StatTtHits, c[StatTtProbes], "probes");
  share(out, "hits with a move", StatTtHashMove, c[StatTtHits], "hits");
  share(out, "cutoffs, deeper entry", StatTtCutoffEarly, c[StatTtHits], "hits");
  share(out, "cutoffs, after extensions", StatTtCutoffLate, c[StatTtHits], "hits");
  row(out, "stores exact", c[StatTtStoresExact]);
  row(out, "stores lower bound", c[StatTtStoresLower]);
  row(out, "stores upper bound", c[StatTtStoresUpper]);
  share(out, "evaluation interval decides", StatIntervalDecides, mainNodes, "main nodes");
  row(out, "reduced move, new threat: alpha", c[StatReducedThreatReturn]);

  fprintf(out, "Re-searches\n");
  row(out, "root move searches", c[StatRootSearches]);
  share(out, "root fail highs", StatRootFailHigh, c[StatRootSearches], "root searches");
  share(out, "root fail lows", StatRootFailLow, c[StatRootSearches], "root searches");
  share(out, "root null-window re-searches", StatRootNullResearch, c[StatRootSearches], "root searches");
  row(out, "unstable iterations", c[StatRootUnstable]);
  fprintf(out, "  %-36s %14" PRIu64 "  %6.2f %% of all nodes\n", "nodes of root re-searches", c[StatRootResearchNodes],
          percent(c[StatRootResearchNodes], allNodes));
  row(out, "PVS null-window searches", c[StatPvsNullWindow]);
  share(out, "PVS re-searches", StatPvsResearch, c[StatPvsNullWindow], "null-window searches");
  share(out, "PVS re-search confirmed", StatPvsResearchHeld, c[StatPvsResearch], "re-searches");

  fprintf(out, "Null move\n");
  share(out, "eligible", StatNullEligible, mainNodes, "main nodes");
  share(out, "shallow: evaluation returned", StatNullShallowReturn, c[StatNullEligible], "eligible");
  share(out, "tries", StatNullTries, c[StatNullEligible], "eligible");
  share(out, "cutoffs", StatNullCutoffs, c[StatNullTries], "tries");
  share(out, "failed low", StatNullFailLow, c[StatNullTries], "tries");
  share(out, "mate threats", StatNullMateThreat, c[StatNullTries], "tries");
  row(out, "verifications", c[StatVerifyRuns]);
  share(out, "verifications failed", StatVerifyFails, c[StatVerifyRuns], "verifications");

  fprintf(out, "Futility and late-move reductions\n");
  share(out, "futile nodes", StatFutileNodes, mainNodes, "main nodes");
  row(out, "moves pruned by futility", c[StatFutilityPruned]);
  row(out, "reduced moves", c[StatLmrReduced]);
  share(out, "reduced by the optimistic rule", StatLmrOptimistic, c[StatLmrReduced], "reduced");
  share(out, "reduced at PV nodes", StatLmrAtPv, c[StatLmrReduced], "reduced");
  share(out, "reduced into quiescence", StatLmrQuiesce, c[StatLmrReduced], "reduced");
  share(out, "reduced and re-searched", StatLmrResearched, c[StatLmrReduced], "reduced");
  share(out, "re-search confirmed", StatLmrResearchHeld, c[StatLmrResearched], "re-searched");

  fprintf(out, "Extensions (sizes before the cap)\n");
  share(out, "nodes extended", StatExtNodes, mainNodes, "main nodes");
  row(out, "whole plies added", c[StatExtFullPlies]);
  extension(out, "check", StatExtCheckCount, StatExtCheckSum, mainNodes);
  extension(out, "threat", StatExtThreatCount, StatExtThreatSum, mainNodes);
  extension(out, "passed pawn", StatExtPawnCount, StatExtPawnSum, mainNodes);
  extension(out, "recapture", StatExtRecaptureCount, StatExtRecaptureSum, mainNodes);
  extension(out, "threat trend up", StatExtTrendPlusCount, StatExtTrendPlusSum, mainNodes);
  extension(out, "threat trend down", StatExtTrendMinusCount, StatExtTrendMinusSum, mainNodes);
  share(out, "capped at one ply", StatExtCapped, mainNodes, "main nodes");
  row(out, "single-evasion extensions", c[StatExtSingleEvasion]);

  fprintf(out, "Quiescence\n");
  share(out, "stand-pat cutoffs", StatQStandPat, qNodes, "quiescence nodes");
  share(out, "all-moves nodes", StatQAllMoves, qNodes, "quiescence nodes");
  share(out, "in check", StatQInCheck, qNodes, "quiescence nodes");
  share(out, "table cutoffs", StatQTtCutoffs, qNodes, "quiescence nodes");
  fflush(out);
}
