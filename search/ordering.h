// Move ordering: history tables, killers, the ordering passes that turn the
// generators' base keys into final keys, and the update after a cutoff.
#pragma once

#include <cstdint>
#include "board/types.h"

constexpr int HistorySize = 768;       // (type - 1) * 64 + to, +384 for Black
constexpr int HistoryBlackOffset = 384;
constexpr int HashMoveKey = 32700;     // hash move; a cutoff move gets depth + this
constexpr int16_t IllegalKey = -32768; // found illegal in the search, never picked again
constexpr int HistoryScoreCap = 60000;
constexpr int Killer1Value = 60002;
constexpr int Killer2Value = 60001;

extern uint16_t historyScore[HistorySize];
extern uint16_t historyTries[HistorySize];
extern uint16_t historyHits[HistorySize];
extern uint8_t historyRatio[HistorySize];
extern uint16_t killer1[MaxPly + 1];
extern uint16_t killer2[MaxPly + 1];
extern int32_t pruneRatioThreshold;

// History index of a move of `side` made by a man of `type`.
inline int historyIndex(int side, int type, Move m) {
  return (type - 1) * 64 + moveTo(m) + (side ? HistoryBlackOffset : 0);
}

// Material the man of value `value` moving to `to` can expect to keep
// there, from the attack tables (ownWeight: its own share of the side's
// count word on `to`, 0 for a pawn moving straight).
int exchangeKeep(int side, int to, int ownWeight, int value);
// Rooks and queens lined up behind a pawn that promotes straight ahead:
// their count words (direct weight, 2 for one more behind it) for the
// promoting side and for its opponent, added on the promotion square.
struct PromotionLine {
  unsigned own, their;
};
PromotionLine promotionLine(int side, int from, int to);
// The exchange estimate of a promotion on `to` with those sliders counted.
int promotionKeep(int side, int to, const PromotionLine& line, int value);

void orderMoves(int side, int ply, ScoredMove* begin, ScoredMove* end);
// checkBonus: the check margin of the quiescence depth (modes 2 and 6).
void orderQuiescenceMoves(int mode, int side, ScoredMove* begin, ScoredMove* end, int checkBonus);
// Quiet cutoff by list[cut] at a node of depth d; list[0..cut) were searched before it.
void recordCutoff(int ply, int side, ScoredMove* list, int cut, int depth);
void ageHistory();
void resetHistory();
void decayHistory();
void clearKillers();
// The root's reward of its best quiet move after an iteration.
void rewardRootMove(int side, int type, Move m, int depth);

// Swaps the entry with the largest key (the first of equal keys) among
// list[i..n) into place i.
inline void pickBest(ScoredMove* list, int i, int n) {
  int best = i;
  int bestKey = list[i].key;
  for (int j = i + 1; j < n; j++)
    if (list[j].key > bestKey) {
      best = j;
      bestKey = list[j].key;
    }
  if (best != i) {
    ScoredMove t = list[i];
    list[i] = list[best];
    list[best] = t;
  }
}
