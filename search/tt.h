// Transposition table (two halves, one per side to move) and its sizing.
#pragma once

#include <cstdint>
#include "board/types.h"

// One entry: the key words are folded into the data words, so a torn or
// foreign entry never validates.
struct TTEntry {
  uint32_t check0;  // data0 ^ key high word
  uint32_t check1;  // data1 ^ key low word
  uint32_t data0;   // bits 0..15 flag word, 16..31 score + 0x4000
  uint32_t data1;   // bits 0..15 move, 16..31 depth of the move (or learnAux)
};
static_assert(sizeof(TTEntry) == 16);

// Flag-word bits.
constexpr uint32_t TTGenerationMask = 0x7;
constexpr uint32_t TTMateScore = 0x10;    // score stored relative to the node
constexpr uint32_t TTThreat = 0x20;       // mate threat found by the null move, or a single evasion
constexpr uint32_t TTUpper = 0x40;
constexpr uint32_t TTLower = 0x80;
constexpr uint32_t TTExact = 0xC0;
constexpr uint32_t TTBoundMask = 0xC0;
constexpr uint32_t TTDepthMask = 0x3F00;
constexpr uint32_t TTLearned = 0x8000;
// Passed to ttStore by the position-learning step only (never stored): its
// learnAux and move go into the entry. A search store that carries the
// learned bit of the entry it probed keeps that entry's learnAux and move,
// and never makes an entry learned.
constexpr uint32_t TTLearnStore = 0x10000;
constexpr int TTScoreBias = 0x4000;

extern TTEntry* ttTable[2];
extern uint32_t ttEntriesPerSide;
extern uint32_t ttIndexMask;
extern uint32_t ttWrapSub;
extern uint8_t ttGeneration;        // 1..7
extern uint64_t ttStamped;          // entries stamped in the current generation
extern uint64_t ttTableKb;          // size in KB of the part hashfull measures

// Splits hashKb between the evaluation cache and the two table halves;
// retries with smaller sizes on failure. False when nothing could be had.
bool ttAllocate(uint32_t hashKb);
void ttFree();
// all = false keeps learned entries ("Clear Hash"); true empties everything.
// Both reset the history tables, the killers and the evaluation cache.
void ttClear(bool all = false);
// Advances the generation 1..7 (never 0); at every fresh search.
void ttNewGeneration();
// Empties every entry but the learned ones (the generations wrap after
// seven searches, and without "Retain Hash" an old entry must never look new).
void ttForgetEarlierSearches();

// The size tried after an allocation of `size` KB failed, for a request
// whose largest power of two is `base`; `quarter` carries the remembered
// step between calls (start with 0). 0 = give up.
uint32_t ttRetrySize(uint32_t size, uint32_t base, uint32_t* quarter);

// What a probe found: the full flag word, depth (62 for an unbounded mate
// score), the score adjusted to the probing ply, and the validated move.
struct TTHit {
  uint32_t flags;
  int depth;
  int score;
  Move move;
};

// Probes the half of `side` for the current position. False when there is
// no usable entry (none, an ignored generation, or a stored move that is
// not a move of this position).
bool ttProbe(int side, int ply, TTHit* hit);
void ttStore(int side, uint32_t flags, int score, int learnAux, int depth, int ply, Move move);

// Bucket of the key in one half.
inline TTEntry* ttBucket(int side, uint64_t key) {
  uint32_t i = static_cast<uint32_t>(key >> 32) & ttIndexMask;
  if (i >= ttEntriesPerSide) i -= ttWrapSub;
  return ttTable[side] + i;
}

// Starts loading the bucket of a position with `side` to move and the
// given upper key half, so that its probe finds it in the processor cache.
inline void ttPrefetch(int side, uint32_t keyHigh) {
  if (ttTable[side]) __builtin_prefetch(ttBucket(side, uint64_t{keyHigh} << 32));
}
