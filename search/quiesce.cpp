// Quiescence search: stand pat, threat correction, captures, promotions
// and checks, all evasions when in check, repetition-seeking quiet moves and
// long check series; plus the move hook and the threat helpers that the
// main search shares.
#include <algorithm>

#include "board/attacks.h"
#include "board/geometry.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "engine/options.h"
#include "engine/timecontrol.h"
#include "eval/eval.h"
#include "search/ordering.h"
#include "search/search.h"
#include "search/stats.h"
#include "search/think.h"
#include "search/tt.h"

int32_t rootMaterial0[2];

namespace {

constexpr int MateBase = 8193;
// Margin handed to the check generator, by -qdepth.
constexpr int checkMargin[8] = {152, 152, 88, 88, 56, 56, 0, 0};
// More evasions than this stop the checking side from checking further, by -qdepth.
constexpr int evasionLimit[8] = {15, 15, 4, 3, 2, 1, 0, 0};
constexpr int FreePromotion = 1120;

inline int clampedIndex(int qdepth) { return -qdepth > 7 ? 7 : (-qdepth < 0 ? 0 : -qdepth); }

int materialUnits(int side) { return pos.materialSignature[side] & 0xFF; }
int pieceCount(int side) { return (pos.materialSignature[side] >> 8) & 0xFF; }

// The key of the position after the quiet move m, for the repetition test.
uint64_t keyAfterQuiet(int side, Move m) {
  const int from = moveFrom(m), to = moveTo(m);
  const int type = pos.pieceOn[from];
  uint64_t key = pos.hashKey;
  if (pos.epSquare != 0) key ^= squareKey[pos.epSquare];
  key ^= pieceKey[(type - 1) * 2 + side][from] ^ pieceKey[(type - 1) * 2 + side][to];
  return key;
}

// True when the quiet move m brings back the position of four plies ago.
bool wouldRepeat(int side, Move m, const PlyRecord* rec) {
  if ((m & KindMask) != QuietKind || pos.pieceOn[moveFrom(m)] == Pawn) return false;
  if (rec - 2 < &pos.plyStack[0] || pos.plyCount - pos.lastIrreversiblePly < 3) return false;
  const PlyRecord* back = rec - 2;
  const uint64_t old = (static_cast<uint64_t>(back->keyHi) << 32) | back->keyLo;
  return keyAfterQuiet(side, m) == old;
}

}  // namespace

namespace {

// What the opponent's pawn promoting on `ahead` is worth to it: a free
// square gives a queen (less the pawn); a square the side guards, what the
// exchange there leaves; a square the side's own man blocks, that man's
// threat value less the pawn.
int promotionSquareValue(int side, int ahead) {
  const int o = side ^ 1;
  if (pos.pieceOn[ahead] == None) {
    const SquareAttacks& ours = pos.attackTable[side].sq[ahead];
    if (ours.directCounts == 0) return FreePromotion;
    const SquareAttacks& theirs = pos.attackTable[o].sq[ahead];
    const int keep = 8 * exchangeLoss[attackClassOf(ours.directCounts + ours.xrayCount2)]
                                     [attackClassOf(theirs.directCounts + theirs.xrayCount2)];
    return std::min(keep, pieceValue[Queen]) - 128;
  }
  if (pos.colourOn[ahead] == side) return pos.pieceThreat[ahead] - 128;
  return 0;
}

// True when side c's king is in a mating net: the flag the evaluation
// raised in this ply's record, or else the mating-threat test run now
// (which raises it).
bool mateThreatFound(int c) {
  PlyRecord* rec = pos.plyTop;
  if (rec->flags & mateThreatFlag(c)) return true;
  endgameMateThreat(c);
  return (rec->flags & mateThreatFlag(c)) != 0;
}

// Whether quiescence may still give checks here: not once the opponent
// stopped them (its no-more-checks bit), not with more material than at
// the root, and only down to a depth that grows with the danger to the
// enemy king: -3 normally, -5 when it is attacked, -7 when it is in a
// mating net (found by the evaluation or, when the full evaluation did
// not run here, by the mating-threat test).
bool checksAllowed(int side, int qdepth, uint32_t stopped) {
  const int opp = side ^ 1;
  const PlyRecord* rec = pos.plyTop;
  if (stopped || pos.material[side] > rootMaterial0[side] || qdepth < -7) return false;
  if (qdepth >= -3 || (qdepth >= -5 && (rec->flags & kingAttackedFlag(opp)))) return true;
  if (rec->flags & mateThreatFlag(opp)) return true;
  return !(rec->flags & EvalFullRan) && mateThreatFound(opp);
}

}  // namespace

int promotionThreat(int side, int depth, int threshold) {
  const int o = side ^ 1;
  const PieceSet live = pos.pieceSet[o] & pos.pawnSet[o];
  int best = 0;
  for (PieceSet pawns = pos.pawnsOnRank[o][seventhRank[o]] & live; pawns;) {
    const int slot = highestSlot(pawns);
    pawns &= ~(1u << slot);
    const int v = promotionSquareValue(side, pos.pieceList[o][slot] + pawnStep[o]);
    if (v > best) {
      best = v;
      if (best > threshold) return best;
    }
  }
  // With two plies or more to go, a pawn on the sixth rank whose stop
  // square is free and unguarded promotes in time as well; a promotion one
  // move further off is worth half as much.
  if (depth < 2) return best;
  const int sixth = seventhRank[o] - pawnStep[o] / 8;
  for (PieceSet pawns = pos.pawnsOnRank[o][sixth] & live; pawns;) {
    const int slot = highestSlot(pawns);
    pawns &= ~(1u << slot);
    const int stop = pos.pieceList[o][slot] + pawnStep[o];
    if (pos.pieceOn[stop] != None || pos.attackTable[side].sq[stop].directCounts != 0) continue;
    const int ahead = stop + pawnStep[o];
    if (pos.pieceOn[ahead] != None) continue;
    const int v = promotionSquareValue(side, ahead) / 2;
    if (v > best) {
      best = v;
      if (best > threshold) return best;
    }
  }
  return best;
}

int hangingPieceTest(int side, int margin) {
  const int m = margin > 0 ? margin : 0;
  int a = -32767, b = -32767, sqA = -1;
  PieceSet set = pos.evalSet[side] & pos.pieceSet[side];
  while (set) {
    const int slot = highestSlot(set);
    set &= ~(1u << slot);
    const int sq = pos.pieceList[side][slot];
    const int v = pos.pieceThreat[sq];
    if (v > a) {
      b = a;
      a = v;
      sqA = sq;
    } else if (v > b) {
      b = v;
    }
  }
  if (a <= margin) return 0;
  if (b > m) return 1;
  // The most threatened man: what it still loses after its best flight.
  if (afterEscape(side, sqA, a) > m) return 1;
  // A piece that an enemy slider pins or skewers loses the man behind it
  // even when it has somewhere to go.
  const int o = side ^ 1;
  if (pos.pieceOn[sqA] != Pawn &&
      (pos.attackTable[o].sq[sqA].directAttackers & pos.sliders[o] & pos.pieceSet[o])) {
    int penalty = 0;
    if (pinPenalty(side, sqA, &penalty) > m) return 1;
  }
  return 0;
}

void moveHook(int mover, int toSquare, int alpha, int nodeType) {
  const int o = mover ^ 1;
  PlyRecord* rec = pos.plyTop;
  const int balance = (pos.threatSumBefore[mover] - pos.threatSumBefore[o]) - (pos.threatSum[mover] - pos.threatSum[o]);
  pos.threatBalance = balance;
  const int gained = pos.lastMoveGain;
  const int g = gained - pos.pieceThreat[toSquare];
  const int t = balance + gained;
  rec->gain = static_cast<int16_t>(std::clamp(g, -32768, 32767));
  int trend;
  if (t >= 1 || (g >= 0 && gained != 0 && t >= 0))
    trend = t > 128 ? 16 : 8;
  else
    trend = t < -191 ? -16 : (t < 0 ? -8 : 0);
  pos.threatTrend = trend;
  if (trend > 0) {
    if (nodeType == 0 || (rec->flags & RecImportant)) {
      rec->flags |= RecGainedThreat;
    } else {
      const int p = (rec - 1)->staticEval;
      if (p - 32 <= alpha && alpha < p + gained + balance && alpha < p + gained + pos.threatSum[o]) {
        if (g >= 0 || alpha < p + gained + pos.threatSum[o] - pos.pieceThreat[toSquare]) rec->flags |= RecGainedThreat;
      }
    }
  }
  // A passed pawn pushed towards promotion.
  if (pos.pieceOn[toSquare] == Pawn) {
    const int steps = promotionDistance[mover][rankOf(toSquare)];
    if (steps >= 1 && steps <= 4 && (nodeType == 0 || pos.pieceThreat[toSquare] == 0 || (rec->flags & RecImportant))) {
      const int front = toSquare + pawnStep[mover];
      if (pos.pieceOn[front] != Pawn) {
        const int file = fileOf(toSquare) + 1;
        const int r = rankOf(front);
        // Ranks strictly beyond the square in front, towards promotion.
        const unsigned beyond = mover == White ? (0xFFu << (r + 1)) & 0xFF : (1u << r) - 1;
        const unsigned enemy = pos.pawnRanksOnFile[o][file - 1] | pos.pawnRanksOnFile[o][file] |
                               pos.pawnRanksOnFile[o][file + 1];
        const unsigned own = pos.pawnRanksOnFile[mover][file];
        if ((enemy & (beyond | (1u << r))) == 0 && (own & beyond) == 0) {
          rec->flags |= RecPassedPush;
          if (steps <= 2) rec->flags |= RecAdvancedPawn;
        }
      }
    }
  }
}

int quiescence(int ply, int qdepth, int alpha, int beta, uint32_t nodeFlags) {
  pvLine[ply][0] = 0;
  if (--pollCountdown <= 0) searchPoll();
  if (stopReason != 0) return 0;
  const int side = pos.sideToMove, opp = side ^ 1;
  PlyRecord* rec = pos.plyTop;
  if (ply >= DeepestPly) return staticScore(side, ply, qdepth, alpha, beta);
  STAT_INC(StatQuiesceNodes);
  ScoredMove* list = moveListStart[ply];
  moveListStart[ply + 1] = list;
  const bool inCheck = rec->flags & RecInCheck;
  const int qi = clampedIndex(qdepth);
  const int turn = (ply - 1) / 2;
  bool perpetual = false;
  int count = 0;
  if (inCheck) {
    uint32_t evasionFlags = 0;
    count = generateEvasions(&evasionFlags, side, ply, 1, list);
    if (count == 0) return ply - MateBase;
    STAT_INC(StatQInCheck);
    inCheckHistory[side] |= 1u << turn;
    if (turn > 8 && ((inCheckHistory[side] >> (turn - 9)) & 0x3FF) == 0x3FF) perpetual = true;
  } else {
    inCheckHistory[side] &= ~(1u << turn);
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
  if (ply > selDepth) selDepth = ply;

  TTHit hit;
  if (qdepth >= -1 && ttProbe(side, ply, &hit)) {
    const uint32_t bound = hit.flags & TTBoundMask;
    if (bound == TTExact || (bound == TTLower && hit.score >= beta) || (bound == TTUpper && hit.score <= alpha)) {
      STAT_INC(StatQTtCutoffs);
      pvLine[ply][0] = bound == TTUpper ? 0 : hit.move;
      pvLine[ply][1] = 0;
      return hit.score;
    }
    if (bound == TTLower) alpha = std::max(alpha, hit.score);
    if (bound == TTUpper) beta = std::min(beta, hit.score);
  }

  int e = staticScore(side, ply, qdepth, alpha, beta);
  if (rec->flags & 0x100F00) return e;
  const uint32_t sideBit = static_cast<uint32_t>(side + 1), oppBit = static_cast<uint32_t>(opp + 1);
  bool allMoves = nodeFlags & NodeAllMoves;

  if (!inCheck && e > alpha && !allMoves) {
    int t = 8 * rec->threatMeasure;
    if (!(rec->flags & EvalFullRan)) {
      if (e - FreePromotion < beta &&
          (pos.pawnsOnRank[opp][seventhRank[opp]] & pos.pieceSet[opp] & pos.pawnSet[opp]))
        t = std::max(t, promotionThreat(side, 0, 0));
      if ((pos.evalSet[side] & pos.pieceSet[side]) && e - pos.threatSum[side] < beta &&
          hangingPieceTest(side, e - beta))
        t = std::max(t, 1);
      if ((materialUnits(opp) >= 13 || (materialUnits(opp) >= 8 && pieceCount(opp) >= 2)) &&
          !((rec - 1)->flags & mateThreatFlag(side)))
        endgameMateThreat(side);
    }
    const bool newThreat = (rec->flags & mateThreatFlag(side)) && !((rec - 1)->flags & mateThreatFlag(side));
    if (newThreat || (t != 0 && e - t < beta)) {
      if (!(nodeFlags & (sideBit | NodeAllMovesCount | NodeAllMovesCount2))) {
        allMoves = true;
      } else {
        e -= t / 4;
        if (newThreat) e -= 416;
      }
    }
  }

  const bool checks = checksAllowed(side, qdepth, nodeFlags & oppBit);
  int mode = checks ? ((nodeFlags & (NodeAllMovesCount | NodeAllMovesCount2)) ? 2 : 6) : 1;

  int best, base;
  bool searchAll = false;
  if (inCheck) {
    orderQuiescenceMoves(1, side, list, list + count, 0);
    bool counter = e > alpha;
    if (!counter) {
      const bool threatBits = !(nodeFlags & (sideBit | NodeAllMovesCount | NodeAllMovesCount2)) &&
                              ((rec->flags & mateThreatFlag(side)) || ((rec - 1)->flags & mateThreatFlag(side)));
      const bool ownPromotion = (pos.pawnsOnRank[side][seventhRank[side]] & pos.pieceSet[side] & pos.pawnSet[side]) &&
                                promotionThreat(opp, 0, alpha - e) > alpha - e;
      const bool theyHang = (pos.evalSet[opp] & pos.pieceSet[opp]) && e + pos.threatSum[opp] > alpha &&
                            hangingPieceTest(opp, alpha - e + 1);
      counter = threatBits || ownPromotion || theyHang || (materialUnits(side) >= 13 && mateThreatFound(opp));
    }
    if (counter) {
      searchAll = true;
      best = -ScoreInfinite;
      base = -7700;
    } else {
      best = base = e - pos.threatSum[side] - 1;
    }
    if (!(nodeFlags & sideBit) && count > evasionLimit[qi] && !(rec->flags & mateThreatFlag(side)) &&
        (materialUnits(opp) < 13 || (rec->flags & EvalFullRan) || !mateThreatFound(side)))
      nodeFlags |= sideBit;
  } else if (allMoves) {
    STAT_INC(StatQAllMoves);
    count = generateAll(list, side, ply, 1);
    if (count == 0) return drawScoreFor[side];
    orderQuiescenceMoves(checks ? 2 : 1, side, list, list + count, checkMargin[qi]);
    searchAll = true;
    best = -ScoreInfinite;
    base = -7700;
    if ((nodeFlags & (NodeAllMovesCount | NodeAllMovesCount2)) != (NodeAllMovesCount | NodeAllMovesCount2))
      nodeFlags += NodeAllMovesCount;
  } else {
    if (e >= beta) {
      STAT_INC(StatQStandPat);
      return e;
    }
    count = generateCaptures(side, ply, mode, list);
    if (count == 0) return e;
    orderQuiescenceMoves(mode, side, list, list + count, checkMargin[qi]);
    best = base = e;
    if (e > alpha) {
      alpha = e;
      nodeFlags |= sideBit;
    }
  }

  const uint32_t childFlags = nodeFlags & NodeChildMask;
  const int alphaIn = alpha;
  int legal = 0;
  Move bestMove = 0;
  const bool recapturable = ((rec - 1)->flags & mateThreatFlag(opp)) && !(rec->flags & mateThreatFlag(opp)) &&
                            !(nodeFlags & oppBit);
  for (int i = 0; i < count; i++) {
    pickBest(list, i, count);
    ScoredMove& sm = list[i];
    if (sm.key == IllegalKey) break;
    const Move m = sm.move;
    const Move plain = m & ~CheckMark;
    const int from = moveFrom(plain), to = moveTo(plain);
    const int key = sm.key;
    bool wanted = searchAll || (recapturable && to == static_cast<int>(pos.lastTo)) ||
                  ((rec->flags & EvalThreatMoveSet) && (plain & FromToMask) == rec->threatMove) ||
                  ((key >= 0 || inCheck) && base + key > alpha) || (m & CheckMark);
    if (!wanted && qdepth >= threatDepthNeg) {
      const int victim = pos.pieceOn[to];
      int g = 0;
      if (isPromotion(plain)) {
        g = FreePromotion + pieceValue[victim] - 64;
      } else if ((plain & KindMask) == EnPassantKind) {
        g = 128 + 64;
      } else if (victim != None) {
        g = pieceValue[victim] + 64;
        if (victim == Pawn && rankOf(to) == seventhRank[opp]) g += 320;
      }
      if (e < 416 && key > -224 && victim > Pawn && victim < King && pieceCount(opp) == 1) wanted = true;
      g = std::max(key, std::min(g, pos.pieceThreat[from] - pos.pieceThreat[to] - pos.threatSum[side] +
                                        pos.threatSum[opp] + key));
      if (g >= 0 && base + g > alpha) wanted = true;
    }
    if (!wanted && drawScoreFor[side] > best && pos.plyCount - pos.lastIrreversiblePly > 2 &&
        wouldRepeat(side, plain, rec))
      wanted = true;
    if (!wanted) {
      if (base > -7700) best = std::max(best, std::min(base + key, alpha));
      continue;
    }
    prefetchChild(plain);
    makeMove(plain);
    if (moverLeftKingInCheck()) {
      unmakeMove();
      sm.key = IllegalKey;
      continue;
    }
    legal++;
    const bool givesCheckNow = pos.plyTop->flags & RecInCheck;
    int score;
    if (pos.plyCount - pos.lastIrreversiblePly > 3 && isRepetition()) {
      score = drawScoreFor[side];
      pvLine[ply + 1][0] = 0;
    } else if (rec->flags & mateThreatFlag(side)) {
      score = -quiescence(ply + 1, qdepth - 1, -alpha - 1, -alpha, childFlags);
      if (score > alpha && score < beta) score = -quiescence(ply + 1, qdepth - 1, -beta, -alpha, childFlags);
    } else {
      score = -quiescence(ply + 1, qdepth - 1, -beta, -alpha, childFlags);
    }
    unmakeMove();
    if (stopReason != 0) return 0;
    if (score > best) {
      best = score;
      bestMove = static_cast<Move>(plain | (givesCheckNow ? CheckMark : 0));
      if (score > alpha) {
        alpha = score;
        Move* dst = pvLine[ply];
        const Move* src = pvLine[ply + 1];
        dst[0] = bestMove;
        int j = 0;
        while (src[j] != 0 && j + 1 < MaxPly - ply) {
          dst[j + 1] = src[j];
          j++;
        }
        dst[j + 1] = 0;
        if (score >= beta) break;
      }
    }
  }

  if (best == -ScoreInfinite) return (inCheck && legal == 0) ? ply - MateBase : drawScoreFor[side];
  if (perpetual && best > drawScoreFor[side] && best < 7700 && best > 0) best /= 2;
  if (qdepth == 0 && bestMove != 0) {
    uint32_t flags = best >= beta ? TTLower : (best > alphaIn ? TTExact : TTUpper);
    if (inCheck && count == 1) flags |= TTThreat;
    ttStore(side, flags, best, e, 0, ply, bestMove);
  }
  return best;
}
