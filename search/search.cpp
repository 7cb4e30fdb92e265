// The main search: principal-variation alpha-beta with mate-distance
// pruning, table cutoffs, an evaluation interval, fractional extensions,
// null move with verification, futility, late-move reductions and
// optional internal deepening at principal-variation nodes.
#include "search/search.h"

#include <algorithm>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "engine/options.h"
#include "engine/timecontrol.h"
#include "eval/eval.h"
#include "search/ordering.h"
#include "search/stats.h"
#include "search/think.h"
#include "search/tt.h"

Move pvLine[MaxPly + 1][MaxPly + 1];
uint32_t inCheckHistory[2];

namespace {

constexpr int MateBase = 8193;
constexpr int FutilityMargin = 128;

struct Node {
  int ply, depth, fraction, alpha, beta, alphaIn;
  uint32_t nodeFlags;
  int nodeType;
  int side;
  bool inCheck, pv, futile;
  int eval;
  int lo, hi;
  ScoredMove* list;
  int count;
  Move hashMove;
  uint32_t ttBits;
  int nonLosingEvasions;
  int legal;
  int bestIndex;
};

inline void setSingleLine(int ply, Move m) {
  pvLine[ply][0] = m;
  pvLine[ply][1] = 0;
}

inline void copyLine(int ply, Move m) {
  Move* dst = pvLine[ply];
  const Move* src = pvLine[ply + 1];
  dst[0] = m;
  int j = 0;
  while (src[j] != 0 && j + 1 < MaxPly - ply) {
    dst[j + 1] = src[j];
    j++;
  }
  dst[j + 1] = 0;
}

inline int sideThreatBit(int side) { return static_cast<int>(mateThreatFlag(side)); }

bool newlyThreatened(const PlyRecord* rec, int side) {
  return (rec->flags & mateThreatFlag(side)) && !((rec - 1)->flags & mateThreatFlag(side));
}

int materialUnits(int side) { return pos.materialSignature[side] & 0xFF; }
int pieceCount(int side) { return (pos.materialSignature[side] >> 8) & 0xFF; }

// Table cutoff at a non-PV node; returns true with *result when it cuts.
bool tableCutoff(Node& n, const TTHit& hit, bool* loSet, bool* hiSet, int* best, int* result) {
  const uint32_t bound = hit.flags & TTBoundMask;
  if (bound == TTExact) {
    setSingleLine(n.ply, hit.move);
    *result = hit.score;
    return true;
  }
  if (bound == TTLower) {
    if (hit.score >= n.beta) {
      setSingleLine(n.ply, hit.move);
      *result = hit.score;
      return true;
    }
    *best = hit.score;
    n.lo = hit.score;
    *loSet = true;
  } else if (bound == TTUpper) {
    if (hit.score <= n.alpha) {
      *result = hit.score;
      return true;
    }
    n.hi = hit.score;
    *hiSet = true;
  }
  return false;
}

// Extension fraction of this node in 1/32 ply.
int extensionOf(Node& n, const PlyRecord* rec, uint32_t ttBits) {
  const int side = n.side;
  int x;
  if (n.lo >= n.beta || n.hi <= n.alpha) {
    x = (pos.threatTrend < 0 && !(rec->flags & RecImportant)) ? pos.threatTrend : 0;
    STAT_INC(StatIntervalDecides);
    if (x < 0) {
    STAT_INC(StatExtTrendMinusCount);
    STAT_ADD(StatExtTrendMinusSum, x);
  }
    return x > 32 ? 32 : x;
  }
  if (n.pv || (rec->flags & RecImportant)) {
    if (pos.threatTrend < 0) pos.threatTrend = 0;
  } else if (pos.threatTrend > 0) {
    pos.threatTrend = 0;
  }
  x = pos.threatTrend;
  if (x > 0) {
    STAT_INC(StatExtTrendPlusCount);
    STAT_ADD(StatExtTrendPlusSum, x);
  }
  if (x < 0) {
    STAT_INC(StatExtTrendMinusCount);
    STAT_ADD(StatExtTrendMinusSum, x);
  }
  if (n.inCheck) {
    const int check = (rec->gain >= 0 || (rec->flags & RecImportant) || n.pv) ? 32 : 24;
    x += check;
    STAT_INC(StatExtCheckCount);
    STAT_ADD(StatExtCheckSum, check);
  } else if ((ttBits & TTThreat) || newlyThreatened(rec, side)) {
    x += 16;
    STAT_INC(StatExtThreatCount);
    STAT_ADD(StatExtThreatSum, 16);
  }
  [[maybe_unused]] const int beforePawn = x;
  if (rec->flags & RecPassedPush) {
    if (rec->flags & RecAdvancedPawn) {
      if (n.pv) {
        x += 32;
      } else {
        const int sq = moveTo(rec->move), mover = side ^ 1;
        const int rel = mover == White ? rankOf(sq) : 7 - rankOf(sq);
        const int bonus = rel >= 5 ? 16 : 0;
        x += bonus;
        const int front = sq + pawnStep[mover];
        // The pusher holds the square in front by direct attacks alone:
        // an x-ray behind a defender does not clear the way.
        if (front >= 0 && front < 64 &&
            __builtin_popcount(pos.attackTable[mover].sq[front].directAttackers) >=
                __builtin_popcount(pos.attackTable[side].sq[front].directAttackers))
          x += bonus / 2;
      }
    } else if (n.pv) {
      x += 16;
    }
    if (x != beforePawn) {
    STAT_INC(StatExtPawnCount);
    STAT_ADD(StatExtPawnSum, x - beforePawn);
  }
  }
  if (n.ply > 2 && rec->capturedType != None) {
    const PlyRecord* prev = rec - 1;
    if ((prev->capturedType != None || isPromotion(prev->move)) && moveTo(prev->move) == moveTo(rec->move) &&
        prev->move != NullMove) {
      if (n.pv) {
        x += 32;
        STAT_INC(StatExtRecaptureCount);
        STAT_ADD(StatExtRecaptureSum, 32);
      } else if (n.eval < n.beta && n.eval + pieceValue[rec->capturedType] > n.alpha &&
                 !(rec->gain < 0 && !(rec->flags & RecImportant)) &&
                 !(prev->gain < 0 && !(prev->flags & RecImportant))) {
        x += 32;
        STAT_INC(StatExtRecaptureCount);
        STAT_ADD(StatExtRecaptureSum, 32);
      }
    }
  }
  if (x > 32) STAT_INC(StatExtCapped);
  if (x > 0) STAT_INC(StatExtNodes);
  return x > 32 ? 32 : x;
}

// Null-move reduction for the selectivity setting.
int nullReduction(int sel, int depth, int side, const PlyRecord* rec) {
  const bool smart = searchFlags & OptSmartSearch;
  const int units = materialUnits(side);
  if (sel < 4) return 1;
  if (depth < 3 && units <= 8 && smart) return 1;
  if (sel < 6) return 2;
  if ((rec - 1)->move == NullMove) return 2;
  if (depth >= 8 || (depth >= 6 && units > 8) || !smart) return 3;
  return 2;
}

// Kind nibbles (bits 12..15, 15 = check mark) that futility may prune and
// late-move reduction may reduce.
constexpr bool futilityKind[16] = {1, 1, 0, 1, 0, 0, 1, 1, 0, 0, 0, 1, 0, 0, 1, 1};
constexpr bool reducibleKind[16] = {1, 0, 0, 1, 0, 0, 1, 1, 0, 0, 0, 1, 0, 0, 1, 1};

bool pawnToAdvancedRank(int side, int from, int to) {
  if (pos.pieceOn[from] != Pawn) return false;
  const int rel = side == White ? rankOf(to) : 7 - rankOf(to);
  if (rel < 5) return false;
  const int front = to + pawnStep[side];
  // Such a push is pruned only when a pawn blocks it.
  return !(front >= 0 && front < 64 && pos.pieceOn[front] == Pawn);
}

// Statistics of a beta cutoff by the move `sm`, the `searched`-th move searched.
inline void noteCutoff([[maybe_unused]] const ScoredMove& sm, [[maybe_unused]] int searched) {
#ifdef BRAXEN_STATS
  STAT_INC(StatBetaCutoffs);
  STAT_ADD(StatCutoffMovesBefore, searched - 1);
  if (searched == 1) STAT_INC(StatFirstMoveCutoffs);
  const int key = sm.key;
  if (key >= HashMoveKey)
    STAT_INC(StatCutoffHash);
  else if (key == Killer1Value - 30000 || key == Killer2Value - 30000)
    STAT_INC(StatCutoffKiller);
  else if (sm.move & (CaptureKind | PromotionBit))
    STAT_INC(key > 30000 ? StatCutoffGoodCapture : StatCutoffBadCapture);
  else
    STAT_INC(StatCutoffQuiet);
#endif
}

// One pass of the move loop at passDepth; returns the best score.
int moveLoop(Node& n, int passDepth) {
  const int side = n.side;
  const uint32_t childFlags = n.nodeFlags & NodeChildMask;
  int best = -ScoreInfinite;
  int alpha = n.alpha;
  const int beta = n.beta;
  int nodeType = n.nodeType;
  int searched = 0;
  n.bestIndex = -1;
  n.legal = 0;
  n.nonLosingEvasions = 0;
  for (int i = 0; i < n.count; i++) {
    pickBest(n.list, i, n.count);
    ScoredMove& sm = n.list[i];
    if (sm.key == IllegalKey) break;
    const Move m = sm.move;
    const Move plain = m & ~CheckMark;
    const int from = moveFrom(plain), to = moveTo(plain);
    const int h = historyIndex(side, pos.pieceOn[from], plain);
    const bool isHash = n.hashMove != 0 && plain == (n.hashMove & ~CheckMark);

    if (n.futile && !isHash && futilityKind[m >> 12] && historyRatio[h] <= pruneRatioThreshold &&
        !pawnToAdvancedRank(side, from, to) && !givesCheck(plain, side)) {
      const int floor = n.eval + (FutilityMargin << (passDepth - 1));
      if (floor > best) best = floor;
      STAT_INC(StatFutilityPruned);
      continue;
    }

    prefetchChild(plain);
    makeMove(plain);
    if (moverLeftKingInCheck()) {
      unmakeMove();
      sm.key = IllegalKey;
      continue;
    }
    n.legal++;
    PlyRecord* child = pos.plyTop;
    const bool givesCheckNow = child->flags & RecInCheck;
    int score = 0;
    if (pos.plyCount - pos.lastIrreversiblePly > 3 && isRepetition()) {
      score = drawScoreFor[side];
      pvLine[n.ply + 1][0] = 0;
    } else {
      if (sm.key >= HashMoveKey) child->flags |= RecImportant;
      moveHook(side, to, alpha, nodeType);
      if (passDepth - 1 < 1) {
        if (searched == 0) {
          score = -quiescence(n.ply + 1, 0, -beta, -alpha, childFlags);
        } else {
          // The null window proved at least `score`: the re-search looks above it only.
          score = -quiescence(n.ply + 1, 0, -alpha - 1, -alpha, childFlags);
          if (score > alpha && score < beta) score = -quiescence(n.ply + 1, 0, -beta, -score, childFlags);
        }
      } else if (searched == 0) {
        int childFraction = n.fraction;
        if (n.inCheck && (n.count == 1 || (n.ttBits & TTThreat)) && n.lo < beta && n.hi > alpha) {
          childFraction += (n.pv && (searchFlags & OptExtendSearch) && n.hashMove) ? 24 : 16;
          STAT_INC(StatExtSingleEvasion);
        }
        score = -search(n.ply + 1, passDepth - 1, childFraction, -beta, -alpha, childFlags, -nodeType);
      } else {
        bool full = true;
        bool reduce = searched >= 3 && nodeType != 0 && historyRatio[h] < pruneRatioThreshold &&
                      !(child->flags & (RecInCheck | RecAdvancedPawn | RecEvalNoReduce));
        if (reduce && (n.inCheck || !reducibleKind[m >> 12])) {
          reduce = (searchFlags & OptOptimistic) && child->gain < 0 && pos.threatTrend <= 0;
          if (reduce) STAT_INC(StatLmrOptimistic);
        }
        if (reduce) {
          STAT_INC(StatLmrReduced);
          if (n.pv) STAT_INC(StatLmrAtPv);
          child->flags |= RecReduced;
          if (passDepth - 1 < 2) {
            score = -quiescence(n.ply + 1, 0, -alpha - 1, -alpha, childFlags);
            STAT_INC(StatLmrQuiesce);
          } else {
            score = -search(n.ply + 1, passDepth - 2, n.fraction, -alpha - 1, -alpha, childFlags, -nodeType);
          }
          child->flags &= ~RecReduced;
          if (score > alpha && stopReason == 0)
            child->flags |= RecImportant;
          else
            full = false;
          if (full) STAT_INC(StatLmrResearched);
        }
        if (full && stopReason == 0) {
          score = -search(n.ply + 1, passDepth - 1, n.fraction, -alpha - 1, -alpha, childFlags, -nodeType);
          if (reduce && score > alpha) STAT_INC(StatLmrResearchHeld);
          if (n.pv) STAT_INC(StatPvsNullWindow);
          if (score > alpha && score < beta && stopReason == 0) {
            STAT_INC(StatPvsResearch);
            if (pos.threatTrend < 0) pos.threatTrend = 0;
            // The null window proved the move worth at least `score`, so the
            // principal-variation re-search needs only the window above it.
            score = -search(n.ply + 1, passDepth - 1, n.fraction, -beta, -score, childFlags, 0);
            if (score > alpha) STAT_INC(StatPvsResearchHeld);
          }
        }
      }
    }
    unmakeMove();
    if (stopReason != 0) return 0;
    searched++;
    if (!(n.inCheck && score < -ScoreMateThreshold)) n.nonLosingEvasions++;
    if (score > best) {
      best = score;
      n.bestIndex = i;
      if (score > alpha) {
        alpha = score;
        copyLine(n.ply, static_cast<Move>(plain | (givesCheckNow ? CheckMark : 0)));
        if (score >= beta) {
          noteCutoff(sm, searched);
          sm.key = static_cast<int16_t>(passDepth + HashMoveKey);
          break;
        }
      }
    }
    if (nodeType == 0) nodeType = 1;
  }
  return best;
}

// Statistics of a node's result by its expected type.
inline void noteNodeOutcome([[maybe_unused]] int nodeType, [[maybe_unused]] bool failHigh,
                            [[maybe_unused]] bool raised) {
#ifdef BRAXEN_STATS
  STAT_INC(failHigh ? StatTtStoresLower : (raised ? StatTtStoresExact : StatTtStoresUpper));
  if (!raised) STAT_INC(StatFailLowNodes);
  STAT_INC(nodeType == 0 ? StatPvLoops : (nodeType < 0 ? StatCutLoops : StatAllLoops));
  if (failHigh) STAT_INC(nodeType == 0 ? StatPvNodesFailHigh : (nodeType < 0 ? StatCutNodesFailHigh : StatAllNodesFailHigh));
#endif
}

// Puts the hash move first (key 32700); false when it is not in the list.
bool markHashMove(Node& n) {
  const Move plain = n.hashMove & ~CheckMark;
  for (int i = 0; i < n.count; i++) {
    if ((n.list[i].move & ~CheckMark) == plain) {
      n.list[i].key = HashMoveKey;
      n.list[i].move |= n.hashMove & CheckMark;
      return true;
    }
  }
  return false;
}

}  // namespace

int staticScore(int side, int ply, int depth, int alpha, int beta) {
  int e = evaluate(side, ply, depth, alpha, beta);
  // Outside tablebase verdicts a static score never reads as a mate.
  if (!(pos.plyTop->flags & EvalFullMode)) {
    if (e > EvalLimit) e = EvalLimit;
    if (e < -EvalLimit) e = -EvalLimit;
  }
  return e;
}

bool opponentPawnsAdvanced(int side) {
  const int o = side ^ 1;
  const PieceSet live = pos.pieceSet[o] & pos.pawnSet[o];
  const int r7 = seventhRank[o], r6 = r7 - pawnStep[o] / 8;
  return ((pos.pawnsOnRank[o][r7] | pos.pawnsOnRank[o][r6]) & live) != 0;
}

int search(int ply, int depth, int fraction, int alpha, int beta, uint32_t nodeFlags, int nodeType) {
  pvLine[ply][0] = 0;
  if (--pollCountdown <= 0) searchPoll();
  if (stopReason != 0) return 0;
  const int side = pos.sideToMove, opp = side ^ 1;
  PlyRecord* rec = pos.plyTop;
  if (ply >= DeepestPly) return staticScore(side, ply, 0, alpha, beta);
  STAT_INC(StatMainNodes);
  STAT_INC(nodeType == 0 ? StatPvNodes : (nodeType < 0 ? StatCutNodes : StatAllNodes));

  Node n;
  n.ply = ply;
  n.depth = depth;
  n.fraction = fraction;
  n.nodeFlags = nodeFlags;
  n.nodeType = nodeType;
  n.side = side;
  n.pv = nodeType == 0;
  n.list = moveListStart[ply];
  n.count = 0;
  moveListStart[ply + 1] = n.list;
  n.inCheck = rec->flags & RecInCheck;
  const uint32_t turnBit = 1u << ((ply - 1) / 2);
  if (n.inCheck) {
    uint32_t evasionFlags = 0;
    n.count = generateEvasions(&evasionFlags, side, ply, 0, n.list);
    if (n.count == 0) return ply - MateBase;
    orderMoves(side, ply, n.list, n.list + n.count);
    inCheckHistory[side] |= turnBit;
  } else {
    inCheckHistory[side] &= ~turnBit;
  }
  if (fiftyMoveDraw()) return drawScoreFor[side];

  // Mate distance: nothing here scores below being mated two plies on or
  // above mating on the next ply. The floor sits one below the worst real
  // score, so that a node whose every move is mated at once still returns
  // an exact score with its line: a mating line reaches the mate.
  if (alpha < ply - MateBase + 1) {
    alpha = ply - MateBase + 1;
    if (alpha >= beta) return alpha;
  }
  if (beta > 8192 - ply) {
    beta = 8192 - ply;
    if (beta <= alpha) return beta;
  }
  n.alpha = alpha;
  n.beta = beta;
  n.alphaIn = alpha;

  TTHit hit;
  const bool have = ttProbe(side, ply, &hit);
  STAT_INC(StatTtProbes);
  if (have) STAT_INC(StatTtHits);
  if (have && hit.move != 0) STAT_INC(StatTtHashMove);
  n.hashMove = have ? hit.move : 0;
  n.ttBits = have ? (hit.flags & (TTThreat | TTLearned)) : 0;
  int best = -ScoreInfinite, result = 0;
  bool loSet = false, hiSet = false;
  n.lo = -ScoreInfinite;
  n.hi = ScoreInfinite;
  if (have && !n.pv && hit.depth > depth && tableCutoff(n, hit, &loSet, &hiSet, &best, &result)) {
    STAT_INC(StatTtCutoffEarly);
    return result;
  }

  n.eval = staticScore(side, ply, depth, alpha, beta);
  if (rec->flags & 0x100F00) return n.eval;
  if ((rec->flags & RecReduced) && rec->gain >= 0 && newlyThreatened(rec, side)) {
    STAT_INC(StatReducedThreatReturn);
    return alpha;
  }

  int mOwn = 0;
  if (n.pv) {
    rec->flags |= RecPvNode;
    n.lo = -ScoreInfinite;
    n.hi = ScoreInfinite;
  } else {
    if ((rec->flags & EvalMaterialDrawDepth) && depth > 1) depth--;
    mOwn = pos.threatSum[side] + (opponentPawnsAdvanced(side) ? promotionThreat(side, depth, 0) : 0);
    const int mOpp = pos.threatSum[opp] + (opponentPawnsAdvanced(opp) ? promotionThreat(opp, depth, 0) : 0);
    if (!loSet) n.lo = n.eval - mOwn - 64 * depth;
    if (!hiSet) n.hi = n.eval + mOpp + 64 * depth;
    if (have && hit.depth < depth) {
      if (hit.flags & TTUpper) n.hi = std::min(n.hi, hit.score + 64 * (depth - hit.depth));
      if (hit.flags & TTLower) n.lo = std::max(n.lo, hit.score - 64 * (depth - hit.depth));
    }
    if (n.inCheck) n.lo = -ScoreInfinite;
    if (n.lo > n.hi) n.lo = n.hi;
  }
  if (rec->flags & mateThreatFlag(side)) n.lo = -ScoreInfinite;
  if (rec->flags & mateThreatFlag(opp)) n.hi = ScoreInfinite;

  if (!((searchFlags & OptCombinations) || ((searchFlags & OptExtendSearch) && n.pv))) pos.threatTrend >>= 1;

  fraction += extensionOf(n, rec, n.ttBits);
  if (fraction >= 32) {
    depth++;
    fraction -= 32;
    STAT_INC(StatExtFullPlies);
  }
  n.depth = depth;
  n.fraction = fraction;

  if (have && !n.pv && hit.depth >= depth && tableCutoff(n, hit, &loSet, &hiSet, &best, &result)) {
    STAT_INC(StatTtCutoffLate);
    return result;
  }

  // Null move.
  bool nullThreat = false;
  const int sel = static_cast<int>((searchFlags >> OptSelectivityShift) & 7);
  if (!n.inCheck && !(rec->flags & mateThreatFlag(side)) && n.eval - mOwn >= beta && !(n.ttBits & TTThreat) &&
      !(nodeFlags & NodeNoNull) && (sel & 1) && rec->move != NullMove && pieceCount(side) > 0 && !n.pv &&
      !(have && (hit.flags & TTBoundMask) == TTUpper && hit.score < beta && hit.depth >= depth - 4)) {
    const int r = nullReduction(sel, depth, side, rec);
    bool tryNull = true;
    STAT_INC(StatNullEligible);
    if (depth <= r) {
      tryNull = sel == 1 || (rec->flags & kingAttackedFlag(side)) || n.eval - mOwn - 32 * (depth - 1) < beta;
      if (!tryNull) {
        STAT_INC(StatNullShallowReturn);
        return n.eval;
      }
    }
    STAT_INC(StatNullTries);
    const int32_t savedGain = pos.lastMoveGain;
    makeNullMove();
    pos.lastMoveGain = 0;
    pos.plyTop->gain = 0;
    const uint32_t nf = nodeFlags & NodeChildMask;
    int v;
    if (depth > r + 1)
      v = -search(ply + 1, depth - r - 1, fraction, -beta, -beta + 1, nf, -nodeType);
    else
      v = -quiescence(ply + 1, 0, -beta, -beta + 1, nf);
    unmakeNullMove();
    pos.lastMoveGain = savedGain;
    if (stopReason != 0) return 0;
    if (v < -ScoreMateThreshold) {
      nullThreat = true;
      STAT_INC(StatNullMateThreat);
    } else if (v < beta) {
      STAT_INC(StatNullFailLow);
    } else {
      // A mate seen after passing proves nothing about this position.
      if (v > ScoreMateThreshold) v = beta;
      bool holds = true;
      if (pieceCount(side) <= 1 && depth > 4) {
        STAT_INC(StatVerifyRuns);
        const int w = search(ply, depth - 4, fraction, alpha, beta, (nodeFlags & 0xDB7F) | NodeNoNull, -nodeType);
        if (stopReason != 0) return 0;
        holds = w >= beta;
        if (!holds) STAT_INC(StatVerifyFails);
        moveListStart[ply + 1] = n.list;
      }
      if (holds) {
        STAT_INC(StatNullCutoffs);
        ttStore(side, TTLower, v, n.eval, depth, ply, 0);
        pvLine[ply][0] = 0;
        return v;
      }
    }
  }

  if (n.hashMove == 0 && (rec->flags & EvalThreatMoveSet)) {
    Move tm = rec->threatMove;
    if (tm != 0 && completeMove(side, &tm))
      n.hashMove = tm;
    else
      rec->flags &= ~EvalThreatMoveSet;
  }
  if (!n.inCheck) {
    n.count = generateAll(n.list, side, ply, 0);
    if (n.count == 0) return drawScoreFor[side];
    orderMoves(side, ply, n.list, n.list + n.count);
  }
  if (n.hashMove != 0 && !markHashMove(n)) n.hashMove = 0;

  n.futile = !n.pv && !n.inCheck && depth <= 2 && (searchFlags & OptFutility) &&
             n.eval + (FutilityMargin << (depth - 1)) <= alpha;
  if (n.futile) STAT_INC(StatFutileNodes);

  // Sharpen PV: shallower passes first at PV nodes without a hash move.
  int passDepth = depth;
  const bool sharpen = n.pv && n.hashMove == 0 && depth > 2 && (searchFlags & OptSharpenPv) && sharpenPvOption;
  if (sharpen) passDepth = 2 - (depth & 1);
  bool repeated = false;
  for (;;) {
    best = moveLoop(n, passDepth);
    if (stopReason != 0) return 0;
    if (passDepth >= depth) break;
    if (n.bestIndex >= 0) n.list[n.bestIndex].key = static_cast<int16_t>(passDepth + HashMoveKey);
    if (best <= n.alphaIn && !repeated) {
      repeated = true;
      n.alpha = -ScoreInfinite;
    } else {
      repeated = false;
      n.alpha = n.alphaIn;
      passDepth += 2;
      if (passDepth > depth) passDepth = depth;
    }
    n.nodeType = 0;
  }

  if (n.legal == 0 && best == -ScoreInfinite) return n.inCheck ? ply - MateBase : drawScoreFor[side];

  uint32_t flags = best >= beta ? TTLower : (best > n.alphaIn ? TTExact : TTUpper);
  flags |= n.ttBits;
  if (nullThreat) flags |= TTThreat;
  if (n.inCheck && n.nonLosingEvasions == 1) flags |= TTThreat;
  ttStore(side, flags, best, n.eval, depth, ply, best > n.alphaIn ? pvLine[ply][0] : 0);
  noteNodeOutcome(nodeType, best >= beta, best > n.alphaIn);

  if (best >= beta && n.bestIndex >= 0 && !(n.list[n.bestIndex].move & (CaptureKind | PromotionBit)))
    recordCutoff(ply, side, n.list, n.bestIndex, depth);
  return best;
}
