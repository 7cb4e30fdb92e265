// Canonical Huffman decoding for compressed table files: decoding tables,
// the code description and the LZ decoding of one block.
#include "tablebase/tbhuffman.h"

#include <cstring>

void bitReaderStart(TbBitReader& r, const uint8_t* data, uint32_t size) {
  r.data = data;
  r.size = size;
  r.next = 0;
  r.buffer = 0;
  r.count = 0;
  r.consumed = 0;
  bitReaderFill(r);
}

bool assignCanonicalCodes(const uint8_t* lengths, int n, uint32_t* codes) {
  int perLength[TbMaxCodeLength + 1] = {};
  for (int s = 0; s < n; s++) {
    if (lengths[s] > TbMaxCodeLength) return false;
    perLength[lengths[s]]++;
  }
  // First code of each length: the codes of all shorter lengths come before.
  uint32_t next[TbMaxCodeLength + 2] = {};
  uint64_t code = 0;
  for (int len = 1; len <= TbMaxCodeLength; len++) {
    code = (code + uint64_t(perLength[len - 1] * (len > 1))) << 1;
    next[len] = uint32_t(code);
  }
  for (int s = 0; s < n; s++)
    if (lengths[s] > 0) codes[s] = next[lengths[s]]++;
  return true;
}

// Kraft sum of the lengths in units of 2^-31; a complete code sums to 2^31.
static uint64_t kraftSum(const int* perLength) {
  uint64_t sum = 0;
  for (int len = 1; len <= TbMaxCodeLength; len++)
    sum += uint64_t(perLength[len]) << (TbMaxCodeLength - len);
  return sum;
}

// Puts one code longer than the primary width into the trees below the
// primary table, creating nodes as the walk needs them.
static bool insertLongCode(TbCodeTable& t, int& used, uint32_t code, int len, int symbol) {
  int extra = len - t.primaryBits;
  int16_t* slot = &t.entries[code >> extra];
  for (int bit = extra - 1; bit >= 0; bit--) {
    if (*slot >= 0 && *slot != INT16_MAX) return false;  // a shorter code is a prefix
    if (*slot == INT16_MAX) {
      if (used + 2 > t.capacity) return false;
      t.entries[used] = t.entries[used + 1] = INT16_MAX;
      *slot = int16_t(-used);
      used += 2;
    }
    slot = &t.entries[-*slot + int((code >> bit) & 1)];
  }
  if (*slot != INT16_MAX) return false;
  *slot = int16_t(symbol);
  return true;
}

bool buildCodeTable(TbCodeTable& t, const uint8_t* lengths, int n) {
  int perLength[TbMaxCodeLength + 1] = {};
  int lastSymbol = 0;
  for (int s = 0; s < n; s++) {
    if (lengths[s] > TbMaxCodeLength) return false;
    perLength[lengths[s]]++;
    if (lengths[s]) lastSymbol = s;
  }
  int primary = 1 << t.primaryBits;
  t.empty = perLength[0] == n;
  if (t.empty) return true;
  // A lone code of length 1 stands for its symbol without taking a bit.
  if (perLength[0] == n - 1 && perLength[1] == 1) {
    for (int i = 0; i < primary; i++) t.entries[i] = int16_t(lastSymbol << 5);
    return true;
  }
  if (kraftSum(perLength) != uint64_t(1) << TbMaxCodeLength) return false;

  uint32_t codes[TbMainSymbols];
  assignCanonicalCodes(lengths, n, codes);
  // INT16_MAX marks an entry not yet filled (no symbol entry can be that
  // large with its length in the low bits below 31).
  for (int i = 0; i < primary; i++) t.entries[i] = INT16_MAX;
  int used = primary;
  for (int s = 0; s < n; s++) {
    int len = lengths[s];
    if (len == 0) continue;
    if (len <= t.primaryBits) {
      int shift = t.primaryBits - len;
      int16_t entry = int16_t(s << 5 | len);
      for (uint32_t i = codes[s] << shift; i < (codes[s] + 1) << shift; i++) t.entries[i] = entry;
    } else if (!insertLongCode(t, used, codes[s], len, s)) {
      return false;
    }
  }
  return true;
}

// Long runs in the code description: t > 31 stands for 2^(t-32) + the next
// t - 32 bits + 31.
static uint64_t readRunCount(TbBitReader& r, int t) {
  if (t <= 31) return uint64_t(t);
  int k = t - 32;
  uint64_t extra = k > 16 ? (uint64_t(bitReaderTake(r, k - 16)) << 16) | bitReaderTake(r, 16)
                          : bitReaderTake(r, k);
  return (uint64_t(1) << k) + extra + 31;
}

// The short form for up to 128 symbols: a width, then each length in that
// width, a 4-bit count of further zeros after every zero.
static bool readShortLengths(TbBitReader& r, uint8_t* lengths, int n) {
  int width = int(bitReaderTake(r, 5));
  for (int i = 0; i < n;) {
    uint32_t len = bitReaderTake(r, width);
    if (len > TbMaxCodeLength) return false;
    lengths[i++] = uint8_t(len);
    if (len != 0) continue;
    int run = int(bitReaderTake(r, 4));
    if (run > n - i) return false;
    for (int j = 0; j < run; j++) lengths[i++] = 0;
  }
  return !bitReaderOverrun(r);
}

bool readLengths(TbBitReader& r, uint8_t* lengths, int n) {
  if (bitReaderTake(r, 1)) {
    std::memset(lengths, 0, size_t(n));
    return !bitReaderOverrun(r);
  }
  if (n <= 128) return readShortLengths(r, lengths, n);

  // Longer descriptions are coded with two small codes described first:
  // A for lengths and repeats, B for repeat counts.
  uint8_t small[128];
  if (!readLengths(r, small, 128)) return false;
  int16_t entriesA[tbCodeTableSize(TbSmallTableBits, 64)];
  int16_t entriesB[tbCodeTableSize(TbSmallTableBits, 64)];
  TbCodeTable codeA = {entriesA, TbSmallTableBits, tbCodeTableSize(TbSmallTableBits, 64), false};
  TbCodeTable codeB = {entriesB, TbSmallTableBits, tbCodeTableSize(TbSmallTableBits, 64), false};
  if (!buildCodeTable(codeA, small, 64) || !buildCodeTable(codeB, small + 64, 64)) return false;
  for (int i = 0; i < n;) {
    int s = decodeSymbol(codeA, r);
    if (s < 0 || bitReaderOverrun(r)) return false;
    if (s < 32) {
      lengths[i++] = uint8_t(s);
      continue;
    }
    int t = decodeSymbol(codeB, r);
    if (t < 0) return false;
    uint64_t repeat = readRunCount(r, t) + 2;
    if (bitReaderOverrun(r) || repeat > uint64_t(n - i)) return false;
    std::memset(lengths + i, s & 31, size_t(repeat));
    i += int(repeat);
  }
  return !bitReaderOverrun(r);
}

// Length of a copy from its length code: 1..15 directly, then ranges of
// 2^k + 14 .. 2^(k+1) + 13 with k extra bits.
static uint32_t copyLength(TbBitReader& r, int code) {
  if (code <= 14) return uint32_t(code) + 1;
  int k = code - 14;
  return (uint32_t(1) << k) + bitReaderTake(r, k) + 14;
}

bool decodeBlock(const TbCodeTable& mainCode, const uint32_t* distances, const uint8_t* in,
                 uint32_t inSize, uint8_t* out, uint32_t size) {
  TbBitReader r;
  bitReaderStart(r, in, inSize);
  uint32_t pos = 0;
  while (pos < size) {
    int symbol = decodeSymbol(mainCode, r);
    if (symbol < 0) return false;
    if (symbol < 256) {
      out[pos++] = uint8_t(symbol);
    } else {
      int s = symbol - 256;
      uint32_t distance = distances[s >> 5];
      uint32_t length = copyLength(r, s & 31);
      if (distance == 0 || distance > pos) return false;
      // A copy past the end of the block is cut there; byte by byte so that
      // an overlapping source repeats the pattern.
      uint32_t end = length < size - pos ? pos + length : size;
      const uint8_t* from = out + pos - distance;
      for (uint8_t* to = out + pos; to < out + end;) *to++ = *from++;
      pos = end;
    }
    if (bitReaderOverrun(r)) return false;
  }
  return true;
}
