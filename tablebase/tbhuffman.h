// Canonical Huffman codes of the compressed table files: the bit reader,
// the code description (code lengths), decoding tables, and the decoding of
// one block. Shared by the block decoder and by the encoder's own checks.
#pragma once
#include <cstdint>

constexpr int TbMaxCodeLength = 31;
constexpr int TbMainSymbols = 1024;  // 256 literals + 24 slots x 32 length codes
constexpr int TbMainTableBits = 13;
constexpr int TbSmallTableBits = 8;  // codes A and B of the code description
constexpr int TbDistanceSlots = 24;

// Most significant bit first reader over a byte range. Bytes past the end
// read as zero so that the lookahead of a table lookup stays inside the
// buffer; overrun() tells whether bits beyond the end were consumed.
struct TbBitReader {
  const uint8_t* data;
  uint32_t size;       // bytes
  uint32_t next;       // next byte to load
  uint64_t buffer;     // valid bits at the top
  int count;           // number of valid bits in buffer
  uint64_t consumed;   // bits taken so far
};

void bitReaderStart(TbBitReader& r, const uint8_t* data, uint32_t size);

inline void bitReaderFill(TbBitReader& r) {
  while (r.count <= 56) {
    uint64_t byte = r.next < r.size ? r.data[r.next] : 0;
    r.next++;
    r.buffer |= byte << (56 - r.count);
    r.count += 8;
  }
}

// The next k bits (k <= 32) without consuming them.
inline uint32_t bitReaderPeek(TbBitReader& r, int k) {
  if (r.count < k) bitReaderFill(r);
  return k == 0 ? 0 : uint32_t(r.buffer >> (64 - k));
}

inline void bitReaderSkip(TbBitReader& r, int k) {
  r.buffer <<= k;
  r.count -= k;
  r.consumed += uint32_t(k);
}

inline uint32_t bitReaderTake(TbBitReader& r, int k) {
  uint32_t v = bitReaderPeek(r, k);
  bitReaderSkip(r, k);
  return v;
}

inline bool bitReaderOverrun(const TbBitReader& r) { return r.consumed > uint64_t(r.size) * 8; }

// Decoding table of one code. A primary entry >= 0 holds symbol << 5 |
// length; a negative entry -k points at the tree node at entries[k], whose
// two children (bit 0, bit 1) are either a symbol (>= 0) or another node.
// A single code fills the primary table with length 0: it takes no bits.
struct TbCodeTable {
  int16_t* entries;  // primary table followed by tree nodes
  int primaryBits;
  int capacity;      // entries available
  bool empty;        // every length was 0: no symbol can be decoded
};

// Entries needed for a code of n symbols with the given primary width: the
// tree nodes of a complete code number fewer than n.
constexpr int tbCodeTableSize(int primaryBits, int symbols) {
  return (1 << primaryBits) + 2 * symbols;
}

// Codes in canonical order: shorter codes first, equal lengths in increasing
// symbol order. codes[s] receives the code of symbol s (valid where
// lengths[s] > 0). False when a length exceeds 31.
bool assignCanonicalCodes(const uint8_t* lengths, int n, uint32_t* codes);

// Builds the table from n code lengths. False when the lengths do not form
// a complete prefix code (or the single-code case).
bool buildCodeTable(TbCodeTable& table, const uint8_t* lengths, int n);

// One symbol, or -1 when the table is empty.
inline int decodeSymbol(const TbCodeTable& t, TbBitReader& r) {
  if (t.empty) return -1;
  int entry = t.entries[bitReaderPeek(r, t.primaryBits)];
  if (entry >= 0) {
    bitReaderSkip(r, entry & 31);
    return entry >> 5;
  }
  bitReaderSkip(r, t.primaryBits);
  while (entry < 0) entry = t.entries[int(bitReaderTake(r, 1)) - entry];
  return entry;
}

// Reads n code lengths (the code description). False on a malformed
// description: runs past n, an undecodable symbol, bits past the end.
bool readLengths(TbBitReader& r, uint8_t* lengths, int n);

// Decodes one block of `size` bytes with the main code and the 24 distances.
// False when the data is broken: a copy reaching before the block's start,
// an undecodable symbol, or bits taken past the end of the block.
bool decodeBlock(const TbCodeTable& mainCode, const uint32_t* distances, const uint8_t* in,
                 uint32_t inSize, uint8_t* out, uint32_t size);
