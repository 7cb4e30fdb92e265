// The transposition table: sizing, probe with re-stamping, store with the
// bucket replacement rule, and clearing.
#include "search/tt.h"

#include <cstdlib>
#include <cstring>

#include "board/movegen.h"
#include "board/position.h"
#include "eval/eval.h"
#include "platform/platform.h"
#include "search/ordering.h"
#include "search/think.h"

TTEntry* ttTable[2] = {nullptr, nullptr};
uint32_t ttEntriesPerSide = 0;
uint32_t ttIndexMask = 0;
uint32_t ttWrapSub = 0;
uint8_t ttGeneration = 1;
uint64_t ttStamped = 0;
uint64_t ttTableKb = 0;

namespace {

constexpr uint32_t RetainHashBit = 1u << 10;  // "Retain Hash" in the option word

int floorLog2(uint32_t v) { return 31 - __builtin_clz(v); }

uint32_t flagWordOf(const TTEntry& e) { return e.data0 & 0xFFFF; }

// A zeroed table of n entries. It starts on a cache line, so that each
// bucket of four entries lies in one line (calloc's large blocks start 16
// bytes into a page, which split every bucket over two lines).
TTEntry* allocateEntries(size_t n) { return static_cast<TTEntry*>(platformAllocTable(n * sizeof(TTEntry))); }

// Tries one size; false leaves no table.
bool allocateOnce(uint32_t n) {
  if (n < 4) return false;
  const uint32_t cacheKb = 1u << (floorLog2(n) - 1);
  const uint32_t r = n - cacheKb;
  if (r < 4) return false;
  TTEntry* a = allocateEntries(static_cast<size_t>(r) * 32);
  if (a == nullptr) return false;
  TTEntry* b = allocateEntries(static_cast<size_t>(r) * 32);
  if (b == nullptr) {
    free(a);
    return false;
  }
  if (!evalCacheResize(cacheKb * 32)) {
    free(a);
    free(b);
    return false;
  }
  ttTable[0] = a;
  ttTable[1] = b;
  ttEntriesPerSide = r * 32;
  const uint32_t q = 1u << (floorLog2(r - 1) + 7);
  ttWrapSub = q / 4;
  ttIndexMask = ((q - 1) / 2) & ~3u & 0x7FFFFFFFu;
  ttTableKb = r;
  ttClear(true);
  return true;
}

void writeEntry(TTEntry& e, uint64_t key, uint32_t data0, uint32_t data1) {
  e.data0 = data0;
  e.data1 = data1;
  e.check0 = data0 ^ static_cast<uint32_t>(key >> 32);
  e.check1 = data1 ^ static_cast<uint32_t>(key);
}

bool matches(const TTEntry& e, uint64_t key) {
  return (e.check0 ^ e.data0) == static_cast<uint32_t>(key >> 32) &&
         (e.check1 ^ e.data1) == static_cast<uint32_t>(key);
}

// Whether an entry of this flag word counts in the current search.
bool usable(uint32_t fw) {
  if (fw == 0) return false;
  return (searchFlags & RetainHashBit) || (fw & TTGenerationMask) == ttGeneration || (fw & TTLearned);
}

}  // namespace

uint32_t ttRetrySize(uint32_t size, uint32_t base, uint32_t* quarter) {
  if (size > base) {
    *quarter = 0;
    return base;
  }
  if (*quarter == 0) {
    // A step of at least 1 KB, so that small sizes still shrink.
    *quarter = size / 4 > 0 ? size / 4 : 1;
    return size - *quarter;
  }
  const uint32_t next = (size + *quarter) / 2;
  *quarter = 0;
  return next < size ? next : size - 1;
}

bool ttAllocate(uint32_t hashKb) {
  if (hashKb == 0) return false;
  ttFree();
  const uint32_t base = 1u << floorLog2(hashKb);
  uint32_t quarter = 0;
  for (uint32_t size = hashKb; size != 0; size = ttRetrySize(size, base, &quarter))
    if (allocateOnce(size)) return true;
  return false;
}

void ttFree() {
  free(ttTable[0]);
  free(ttTable[1]);
  ttTable[0] = ttTable[1] = nullptr;
  ttEntriesPerSide = ttIndexMask = ttWrapSub = 0;
  ttTableKb = 0;
}

void ttClear(bool all) {
  for (int side = 0; side < 2; side++) {
    if (ttTable[side] == nullptr) continue;
    for (uint32_t i = 0; i < ttEntriesPerSide; i++) {
      TTEntry& e = ttTable[side][i];
      if (all || !(e.data0 & TTLearned)) e.data0 = e.data1 = 0;
    }
  }
  ttStamped = 0;
  resetHistory();
  evalCacheClear();
}

void ttForgetEarlierSearches() {
  for (int side = 0; side < 2; side++) {
    if (ttTable[side] == nullptr) continue;
    for (uint32_t i = 0; i < ttEntriesPerSide; i++) {
      TTEntry& e = ttTable[side][i];
      if (!(e.data0 & TTLearned)) e.data0 = e.data1 = e.check0 = e.check1 = 0;
    }
  }
}

void ttNewGeneration() {
  ttGeneration = static_cast<uint8_t>(ttGeneration >= 7 ? 1 : ttGeneration + 1);
}

bool ttProbe(int side, int ply, TTHit* hit) {
  if (ttTable[side] == nullptr) return false;
  const uint64_t key = pos.hashKey;
  TTEntry* bucket = ttBucket(side, key);
  for (int k = 0; k < 4; k++) {
    TTEntry& e = bucket[k];
    if (!matches(e, key)) continue;
    uint32_t fw = flagWordOf(e);
    if (!usable(fw)) continue;
    Move m = static_cast<Move>(e.data1 & 0xFFFF);
    if (m != 0) {
      Move full = m & ~CheckMark;
      if (!completeMove(side, &full)) return false;
      m = static_cast<Move>(full | (m & CheckMark));
    }
    if ((fw & TTGenerationMask) != ttGeneration) {
      fw = (fw & ~TTGenerationMask) | ttGeneration;
      writeEntry(e, key, (e.data0 & 0xFFFF0000u) | fw, e.data1);
      ttStamped++;
    }
    int score = static_cast<int>(e.data0 >> 16) - TTScoreBias;
    int depth = static_cast<int>((fw & TTDepthMask) >> 8);
    if (score < -ScoreMateThreshold) {
      score += ply - 1;
      if (!(searchOutcome & 2)) depth = 62;
    } else if (score > ScoreMateThreshold) {
      score -= ply - 1;
      if (!(searchOutcome & 2)) depth = 62;
    }
    hit->flags = fw;
    hit->depth = depth;
    hit->score = score;
    hit->move = m;
    return true;
  }
  return false;
}

void ttStore(int side, uint32_t flags, int score, int learnAux, int depth, int ply, Move move) {
  if (ttTable[side] == nullptr) return;
  const bool learnStore = flags & TTLearnStore;
  flags &= ~TTLearnStore;
  const int storedDepth = depth < 0 ? 0 : (depth > 63 ? 63 : depth);
  flags = (flags & ~(TTDepthMask | TTGenerationMask)) | ttGeneration | (static_cast<uint32_t>(storedDepth) << 8);
  if (score > ScoreMateThreshold) {
    score += ply - 1;
    flags |= TTMateScore;
  } else if (score < -ScoreMateThreshold) {
    score += 1 - ply;
    flags |= TTMateScore;
  }
  if (score > ScoreInfinite) score = ScoreInfinite;
  if (score < -ScoreInfinite) score = -ScoreInfinite;
  const uint32_t biased = static_cast<uint32_t>(score + TTScoreBias) & 0xFFFF;
  const uint64_t key = pos.hashKey;
  TTEntry* bucket = ttBucket(side, key);

  for (int k = 0; k < 4; k++) {
    TTEntry& e = bucket[k];
    // An entry the current search cannot see is no match: the position is
    // stored as new, exactly where a search of an empty table would put it.
    if (!matches(e, key) || !usable(flagWordOf(e))) continue;
    const uint32_t old = flagWordOf(e);
    uint32_t data1 = e.data1;
    uint32_t data0 = e.data0;
    const bool learned = old & TTLearned;
    if (learnStore && (flags & TTLearned))
      data1 = (static_cast<uint32_t>(learnAux) << 16) | (move != 0 ? move : (data1 & 0xFFFF));
    else if (move != 0 && (depth < 0 || storedDepth >= static_cast<int>(data1 >> 16)) && !learned)
      data1 = (static_cast<uint32_t>(storedDepth) << 16) | move;
    // An entry the current search cannot see any more is simply replaced.
    if (flags >= old || !usable(old)) {
      if ((old & TTGenerationMask) != ttGeneration) ttStamped++;
      const uint32_t learnedBit = (learnStore ? flags | old : old) & TTLearned;
      data0 = (biased << 16) | (flags & ~TTLearned) | learnedBit;
    }
    writeEntry(e, key, data0, data1);
    return;
  }

  // Victim: preferably an entry of another generation that is not
  // learned, the lowest flag word among those; otherwise the lowest flag
  // word of the bucket (learned entries, bit 15, lose to every other).
  int victim = 0;
  bool otherSeen = false;
  for (int k = 0; k < 4; k++) {
    const uint32_t fw = flagWordOf(bucket[k]);
    const bool other = (fw & TTGenerationMask) != ttGeneration && !(fw & TTLearned);
    if (other) {
      // Without "Retain Hash" an older entry is as good as an empty one:
      // the first is taken, so the layout never depends on earlier searches.
      if (!otherSeen || (fw < flagWordOf(bucket[victim]) && (searchFlags & RetainHashBit))) victim = k;
      otherSeen = true;
    } else if (!otherSeen && fw < flagWordOf(bucket[victim])) {
      victim = k;
    }
  }
  TTEntry& e = bucket[victim];
  const uint32_t old = flagWordOf(e);
  if ((old & TTGenerationMask) != ttGeneration) ttStamped++;
  if (!learnStore) flags &= ~TTLearned;
  const bool learned = flags & TTLearned;
  const uint32_t high = learned ? static_cast<uint32_t>(learnAux) & 0xFFFF : (move != 0 ? static_cast<uint32_t>(storedDepth) : 0);
  writeEntry(e, key, (biased << 16) | flags, (high << 16) | move);
}
