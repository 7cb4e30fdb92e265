// The probe: class and index of the current position, the stored entry
// read through the block cache, and its conversion into a result.
#include <cstdio>
#include <cstring>

#include "board/types.h"
#include "tablebase/tablebase.h"
#include "tablebase/tbcache.h"
#include "tablebase/tbdecode.h"
#include "tablebase/tbregistry.h"

uint32_t tbHits = 0;
TbProbeTrace tbLastProbe;

namespace {

constexpr int PartBlockShift = 18;  // 2^18 blocks of 8 KB make a 2^31-byte part
constexpr int KppkpClass = 36;
// Black-to-move entries of kppkp that the stored tables get wrong; they are
// losses for the side to move.
constexpr uint64_t kppkpLosses[7] = {56802428, 56811076, 56849992, 56858640, 59592489, 67775659, 71071628};
constexpr int KppkpLossScore = -32639;
// Longest distance handed to the evaluation, so that a win never scores
// below zero there.
constexpr int EvalDistanceMax = 2000;

FILE* partFile(TbClass& c, int side, int part) {
  FILE*& f = c.fileHandle[side][part];
  if (f) return f;
  // Too many open files: close them all and try once more.
  for (int attempt = 0; attempt < 2 && !f; ++attempt) {
    if (attempt == 1) tbCloseFiles();
    tbFilesTried++;
    f = fopen(c.fileName[side][part], "rb");
  }
  if (!f) return nullptr;
  setvbuf(f, nullptr, _IONBF, 0);
  tbFilesOpened++;
  tbOpenFiles++;
  return f;
}

// Reads block `block` of an uncompressed part file into data; a short read
// at the end of the file keeps the bytes that were there.
bool readUncompressedBlock(FILE* f, uint32_t block, uint8_t* data, uint32_t* length) {
  if (fseeko(f, static_cast<off_t>(block) * TbBlockBytes, SEEK_SET) != 0) return false;
  const size_t n = fread(data, 1, TbBlockBytes, f);
  const bool failed = n == 0 || (n < TbBlockBytes && ferror(f));
  clearerr(f);
  *length = static_cast<uint32_t>(n);
  return !failed;
}

// A block of a compressed file is decoded on its way into the cache.
bool readBlock(TbClass& c, int side, int part, uint32_t block, uint8_t* data, uint32_t* length) {
  FILE* f = partFile(c, side, part);
  if (!f) return false;
  if (TbDecoder* decoder = c.decodeInfo[side][part])
    return readCompressedBlock(decoder, f, block, data, length) == TbOk;
  return readUncompressedBlock(f, block, data, length);
}

bool isKppkpLoss(int classNo, int side, uint64_t index) {
  if (classNo != KppkpClass || side != Black) return false;
  for (uint64_t k : kppkpLosses)
    if (k == index) return true;
  return false;
}

// Squares of one kind of man into the index function's list, highest slot
// first, and the man's digit into the material code.
void collectKind(PieceSet set, int side, int digit, uint8_t* list, uint32_t* code) {
  for (int i = 0; set; ++i) {
    const int slot = 31 - __builtin_clz(set);
    set &= ~(1u << slot);
    list[i] = pos.pieceList[side][slot];
    *code = *code * 10 + static_cast<uint32_t>(digit);
  }
}

}  // namespace

int tbScoreOfByte(int v) {
  if (v == 127) return TbUnknown;
  if (v == -128) return 32640;
  if (v == -127) return -32640;
  if (v > 0) return 32640 + v;
  if (v < 0) return v - 32640;
  return 0;
}

bool tbResultOfScore(int t, TbResult* out) {
  if (t == TbUnknown) return false;
  if (t > 0) {
    out->kind = TbWin;
    out->r = TbUnknown - t;
    out->distance = out->r;
  } else if (t < 0) {
    out->kind = TbLoss;
    out->r = -32766 - t;
    out->distance = out->r < 0 ? -out->r : 0;
  } else {
    out->kind = TbDraw;
    out->r = out->distance = 0;
  }
  return true;
}

int readEntry(int classNo, int side, uint32_t block, uint32_t offset) {
  if (TbCacheEntry* e = tbCacheFind(classNo, side, block))
    return offset < e->length ? static_cast<int8_t>(e->data[offset]) : TbUnknown;

  TbClass& c = tbClasses[classNo];
  const int part = (c.flags & TbSplit) ? static_cast<int>(block >> PartBlockShift) : 0;
  if (tbCacheEntries == 0 || !c.blockBuckets[side] || part >= TbMaxParts || !c.fileName[side][part])
    return TbUnknown;
  TbCacheEntry* e = tbCacheTake(classNo, side, block);
  uint32_t length = 0;
  if (!readBlock(c, side, part, block - (static_cast<uint32_t>(part) << PartBlockShift), e->data, &length)) {
    // The file went away or broke: that part is given up until the next registration.
    tbDropPart(classNo, side, part);
    tbCacheRelease(e);
    return TbUnknown;
  }
  e->length = length;
  tbCacheInsert(e);
  return offset < length ? static_cast<int8_t>(e->data[offset]) : TbUnknown;
}

int probeClass(int classNo, int side, uint64_t index) {
  const TbClass& c = tbClasses[classNo];
  if (c.flags & TbOneFile) side = 0;
  if (tbCacheEntries == 0 || !c.blockBuckets[side] || index >= c.positions[side]) return TbUnknown;
  if (!(c.flags & TbTwoBytes)) {
    if (isKppkpLoss(classNo, side, index)) return KppkpLossScore;
    const int v = readEntry(classNo, side, static_cast<uint32_t>(index >> 13), static_cast<uint32_t>(index & 8191));
    return v == TbUnknown ? TbUnknown : tbScoreOfByte(v);
  }
  const uint64_t byte = index * 2;
  const uint32_t block = static_cast<uint32_t>(byte >> 13), offset = static_cast<uint32_t>(byte & 8191);
  const int low = readEntry(classNo, side, block, offset);
  const int high = readEntry(classNo, side, block, offset + 1);
  if (low == TbUnknown || high == TbUnknown) return TbUnknown;
  return static_cast<int16_t>(((high & 0xFF) << 8) | (low & 0xFF));
}

bool probeTablebase(int side, TbResult* out) {
  // Counts from the piece sets; more than three men of a kind (after
  // promotions) or more than four besides the kings are never probed.
  const PieceSet* kinds[5] = {pos.pawnSet, pos.knightSet, pos.bishopSet, pos.rookSet, pos.queenSet};
  int counts[10];
  for (int colour = 0; colour < 2; ++colour)
    for (int k = 0; k < 5; ++k) {
      counts[colour * 5 + k] = __builtin_popcount(kinds[k][colour] & pos.pieceSet[colour]);
      if (counts[colour * 5 + k] > 3) return false;
    }
  int classNo = tbLookupClass(counts);
  if (classNo == 0) return false;

  // Square lists and the material code.
  uint8_t lists[2][16];
  memset(lists, 0, sizeof lists);
  uint32_t code = 2 + static_cast<uint32_t>(side);
  for (int colour = 0; colour < 2; ++colour) {
    for (int k = 0; k < 5; ++k)
      collectKind(kinds[k][colour] & pos.pieceSet[colour], colour, colour * 5 + k, lists[colour] + 3 * k, &code);
    lists[colour][TbListKing] = pos.pieceList[colour][0];
  }
  if ((code >> 3) >= tbKnownSize || !(tbKnown[code >> 3] & (1u << (code & 7)))) return false;

  // A class stored with colours swapped is probed with the other side to
  // move and the lists exchanged.
  int s = side, invert = 0;
  const uint8_t* white = lists[White];
  const uint8_t* black = lists[Black];
  if (classNo < 0) {
    classNo = -classNo;
    s ^= 1;
    invert = 1;
    white = lists[Black];
    black = lists[White];
  }
  const TbClass& c = tbClasses[classNo];
  const int fileSide = (c.flags & TbOneFile) ? 0 : s;
  const int ep = pos.epSquare ? static_cast<int>(pos.epSquare) : TbNoEp;
  const uint64_t index = c.indexFn[s](white, black, ep, invert);
  tbLastProbe = TbProbeTrace{classNo, s, invert, index, TbUnknown};
  if (index >= c.positions[fileSide]) return false;
  const uint64_t part = (c.flags & TbSplit) ? (index * ((c.flags & TbTwoBytes) ? 2 : 1)) >> 31 : 0;
  if (part >= TbMaxParts || !c.fileName[fileSide][part]) return false;

  const int t = probeClass(classNo, s, index);
  tbLastProbe.score = t;
  if (t == TbUnknown) {
    tbKnown[code >> 3] &= static_cast<uint8_t>(~(1u << (code & 7)));
    return false;
  }
  tbHits++;
  return tbResultOfScore(t, out);
}

int tablebaseProbeForEval(int side, int* movesToMate) {
  TbResult r;
  if (!probeTablebase(side, &r)) return 2;
  *movesToMate = r.distance < EvalDistanceMax ? r.distance : EvalDistanceMax;
  return r.kind;
}
