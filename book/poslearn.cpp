// The learning file: 16-byte records of learned hash entries after a magic
// word, merged with the table's learned entries on every save.
#include "book/poslearn.h"

#include <cstdio>

#include "board/position.h"
#include "board/setup.h"
#include "engine/edition.h"
#include "engine/options.h"
#include "platform/platform.h"
#include "search/think.h"
#include "search/tt.h"

bool learningDirty = false;

namespace {

constexpr uint32_t SideBit = 0x4000;       // flag word bit 14: black to move
constexpr int SwingMinimum = 48;           // smaller swings are never learned
constexpr int LoadChunk = 20;              // records read at a time

struct LearnRecord {
  uint32_t keyLo, keyHi;
  uint16_t move;
  int16_t score;
  uint16_t aux, flagWord;
};

LearnRecord records[LearnFileCapacity];

uint32_t get32(const unsigned char* b) {
  return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
}
uint16_t get16(const unsigned char* b) { return static_cast<uint16_t>(b[0] | (b[1] << 8)); }
void put32(unsigned char* b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[i] = static_cast<unsigned char>(v >> (8 * i));
}
void put16(unsigned char* b, uint16_t v) {
  b[0] = static_cast<unsigned char>(v);
  b[1] = static_cast<unsigned char>(v >> 8);
}

LearnRecord decode(const unsigned char* b) {
  return {get32(b), get32(b + 4), get16(b + 8), static_cast<int16_t>(get16(b + 10)), get16(b + 12), get16(b + 14)};
}

// Opens the file and checks its magic; null when it is missing or foreign.
FILE* openLearnFile() {
  FILE* f = fopen(editionLearnFile, "rb");
  unsigned char magic[4];
  if (f != nullptr && (fread(magic, 1, 4, f) != 4 || get32(magic) != LearnFileMagic)) {
    fclose(f);
    f = nullptr;
  }
  return f;
}

int readRecords() {
  FILE* f = openLearnFile();
  if (f == nullptr) return 0;
  int n = 0;
  unsigned char b[16];
  while (n < LearnFileCapacity && fread(b, 1, 16, f) == 16) records[n++] = decode(b);
  fclose(f);
  return n;
}

void storeRecord(const LearnRecord& r) {
  const uint64_t saved = pos.hashKey;
  pos.hashKey = (static_cast<uint64_t>(r.keyHi) << 32) | r.keyLo;
  const int side = (r.flagWord & SideBit) ? Black : White;
  const uint32_t flags = r.flagWord & ~(SideBit | TTDepthMask);
  ttStore(side, flags | TTLearnStore, r.score, r.aux, (r.flagWord >> 8) & 63, 1, r.move);
  pos.hashKey = saved;
}

// Puts a record into the buffer: over one with its key, else appended, else
// in place of the least wanted record (largest aux, at least r's own).
void mergeRecord(const LearnRecord& r, int* count) {
  int worst = -1;
  for (int i = 0; i < *count; ++i) {
    if (records[i].keyLo == r.keyLo && records[i].keyHi == r.keyHi) {
      records[i] = r;
      return;
    }
    if (records[i].aux >= r.aux && (worst < 0 || records[i].aux > records[worst].aux)) worst = i;
  }
  if (*count < LearnFileCapacity) records[(*count)++] = r;
  else if (worst >= 0) records[worst] = r;
}

// Rewrites the file whole through a temporary file, so that a kill during
// the save leaves the old file or the new one, never a truncated one.
void writeRecords(int count) {
  char tempName[128];  // the learning file name is short and relative
  FILE* f = platformBeginReplace(editionLearnFile, tempName, sizeof tempName);
  if (f == nullptr) return;
  unsigned char b[16];
  put32(b, LearnFileMagic);
  bool ok = fwrite(b, 1, 4, f) == 4;
  for (int i = 0; i < count && ok; ++i) {
    const LearnRecord& r = records[i];
    put32(b, r.keyLo);
    put32(b + 4, r.keyHi);
    put16(b + 8, r.move);
    put16(b + 10, static_cast<uint16_t>(r.score));
    put16(b + 12, r.aux);
    put16(b + 14, r.flagWord);
    ok = fwrite(b, 1, 16, f) == 16;
  }
  platformFinishReplace(f, tempName, editionLearnFile, ok);
}

}  // namespace

void learnLoad() {
  FILE* f = openLearnFile();
  if (f != nullptr) {
    unsigned char b[16 * LoadChunk];
    size_t got;
    int total = 0;
    while (total < LearnFileCapacity && (got = fread(b, 16, LoadChunk, f)) > 0) {
      for (size_t i = 0; i < got; ++i) storeRecord(decode(b + 16 * i));
      total += static_cast<int>(got);
    }
    fclose(f);
  }
  learningDirty = false;
}

void learnSave() {
  int count = readRecords();
  for (int side = 0; side < 2; ++side) {
    const TTEntry* table = ttTable[side];
    for (uint32_t i = 0; table != nullptr && i < ttEntriesPerSide; ++i) {
      const TTEntry& e = table[i];
      if (!(e.data0 & TTLearned)) continue;
      LearnRecord r;
      r.keyHi = e.check0 ^ e.data0;
      r.keyLo = e.check1 ^ e.data1;
      r.move = static_cast<uint16_t>(e.data1);
      r.score = static_cast<int16_t>(static_cast<int>(e.data0 >> 16) - TTScoreBias);
      r.aux = static_cast<uint16_t>(e.data1 >> 16);
      r.flagWord = static_cast<uint16_t>((e.data0 & 0xFFFF & ~SideBit) | (side == Black ? SideBit : 0));
      mergeRecord(r, &count);
    }
  }
  if (count > 0) writeRecords(count);
  learningDirty = false;
}

void learnFromSearch(int lo, int hi) {
  if (iterationDepth <= 2 || rootMoveCount == 0) return;
  if (static_cast<int64_t>(pos.plyCount) - lastBookPly >= 50) return;
  if (!(searchFlags & (OptPositionLearning | OptRetainHash))) return;
  const RootMove& best = rootMoves[0];
  const int s = best.score, m = (s < 0 ? -s : s) / 4;
  if (!((hi - s > SwingMinimum && hi - s > m) || (s - lo > SwingMinimum && s - lo > m))) return;
  uint32_t bound = TTExact;
  if (rootBoundState == 2) bound = TTUpper;
  else if (rootBoundState == 6) bound = TTLower;
  const int aux = static_cast<int>(pos.plyCount) - best.depth + (gameStartedFromSetUp ? 144 : 64);
  ttStore(rootSide, bound | TTLearned | TTLearnStore, s, aux < 0 ? 0 : aux, best.depth, 1, best.line[1]);
  learningDirty = true;
}
