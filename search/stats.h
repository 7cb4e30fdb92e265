// Tree statistics for "braxen-tool bench --stats": how the search shapes its
// tree (branching per iteration, cutoffs, table use, re-searches, null move,
// reductions, extensions, quiescence). The counters exist only in a build
// configured with BRAXEN_STATS; elsewhere every STAT_ macro compiles to
// nothing, so the search carries no cost in normal play.
#pragma once

#include <cstdint>
#include <cstdio>

enum StatCounter : int {
  // Nodes.
  StatMainNodes,          // main-search nodes entered (not stopped)
  StatQuiesceNodes,       // quiescence nodes entered
  StatPvNodes,            // main-search nodes by expected type
  StatCutNodes,
  StatAllNodes,
  StatPvLoops,            // nodes of each type that reached the move loop
  StatCutLoops,
  StatAllLoops,
  StatCutNodesFailHigh,   // ... and failed high there
  StatAllNodesFailHigh,
  StatPvNodesFailHigh,
  // Cutoffs of the move loop (main search).
  StatBetaCutoffs,
  StatFirstMoveCutoffs,
  StatCutoffMovesBefore,  // sum over cutoffs of the moves searched before the cutting move
  StatCutoffHash,         // cutting move by kind of its ordering key
  StatCutoffGoodCapture,
  StatCutoffKiller,
  StatCutoffQuiet,
  StatCutoffBadCapture,
  StatFailLowNodes,       // nodes whose loop searched moves and ended at or below alpha
  // Transposition table in the main search.
  StatTtProbes,
  StatTtHits,
  StatTtHashMove,         // hits that carried a usable move
  StatTtCutoffEarly,      // cutoff before the evaluation (entry deeper than the node)
  StatTtCutoffLate,       // cutoff after the extensions (entry as deep as the node)
  StatTtStoresExact,
  StatTtStoresLower,
  StatTtStoresUpper,
  // Evaluation interval and early returns.
  StatIntervalDecides,    // lo >= beta or hi <= alpha at a non-PV node
  StatReducedThreatReturn, // a reduced move's child that returned alpha on a new mate threat
  // Re-searches.
  StatPvsNullWindow,      // later moves at PV nodes searched with the null window
  StatPvsResearch,        // ... and searched again with the full window
  StatPvsResearchHeld,    // ... where the full window confirmed the move beats alpha
  StatRootSearches,       // root move searches (every window)
  StatRootFailHigh,
  StatRootFailLow,
  StatRootNullResearch,   // a later root move that beat the null window
  StatRootUnstable,       // iterations ended by a fail high after a fail low or the reverse
  StatRootResearchNodes,  // nodes spent in root re-searches
  // Null move.
  StatNullEligible,       // every condition but the depth test holds
  StatNullShallowReturn,  // depth <= R without the static test: the evaluation is returned
  StatNullTries,
  StatNullCutoffs,        // returned the null-move score
  StatNullFailLow,        // below beta: normal search
  StatNullMateThreat,     // mated after passing: threat mark, normal search
  StatVerifyRuns,
  StatVerifyFails,        // verification below beta: normal search
  // Futility and late-move reductions.
  StatFutileNodes,
  StatFutilityPruned,     // moves skipped
  StatLmrReduced,
  StatLmrOptimistic,      // reduced only through the optimistic rule
  StatLmrAtPv,            // reduced at a principal-variation node
  StatLmrQuiesce,         // the reduced search was a quiescence search
  StatLmrResearched,      // the reduced search beat alpha: full-depth search follows
  StatLmrResearchHeld,    // ... and the full-depth search beat alpha too
  // Extensions (amounts in 1/32 ply before the cap of one ply per node).
  StatExtNodes,           // nodes with a positive extension fraction after the cap
  StatExtFullPlies,       // times the accumulated fraction reached one ply
  StatExtCheckCount,
  StatExtCheckSum,
  StatExtThreatCount,     // table threat mark or new mate threat
  StatExtThreatSum,
  StatExtPawnCount,       // passed-pawn pushes
  StatExtPawnSum,
  StatExtRecaptureCount,
  StatExtRecaptureSum,
  StatExtTrendPlusCount,  // a positive threat trend
  StatExtTrendPlusSum,
  StatExtTrendMinusCount, // a negative threat trend (a reduction)
  StatExtTrendMinusSum,
  StatExtCapped,          // nodes whose sum exceeded one ply
  StatExtSingleEvasion,   // first evasion of a single-reply check, +1/2 ply (or 3/4)
  // Quiescence.
  StatQStandPat,          // stand-pat cutoffs
  StatQAllMoves,          // nodes that search every move (threat correction)
  StatQInCheck,
  StatQTtCutoffs,
  StatCount
};

constexpr int StatMaxDepth = 64;

extern uint64_t statCounters[StatCount];
// Per iteration depth: nodes of completed iterations and the root's
// re-searches, summed over the searches since the last reset.
extern uint64_t statIterationNodes[StatMaxDepth];
extern uint64_t statIterationSearches[StatMaxDepth];
extern uint64_t statRootFailHighAt[StatMaxDepth];
extern uint64_t statRootFailLowAt[StatMaxDepth];

#ifdef BRAXEN_STATS
constexpr bool statsCompiledIn = true;
#define STAT_ADD(c, n) (statCounters[c] += static_cast<uint64_t>(n))
#define STAT_INC(c) (++statCounters[c])
#define STAT_ITERATION(depth, nodes) statNoteIteration(depth, nodes)
#define STAT_ROOT_FAIL(array, depth) (++array[(depth) < StatMaxDepth ? (depth) : StatMaxDepth - 1])
#else
constexpr bool statsCompiledIn = false;
#define STAT_ADD(c, n) ((void)0)
#define STAT_INC(c) ((void)0)
#define STAT_ITERATION(depth, nodes) ((void)0)
#define STAT_ROOT_FAIL(array, depth) ((void)0)
#endif

void statReset();
void statNoteIteration(int depth, uint64_t nodes);
// The statistics table, for `searches` searches to `depth`.
void statPrint(FILE* out, int searches, int depth);
