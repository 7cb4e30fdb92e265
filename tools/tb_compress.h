// The encoder of compressed table files (".emd"): blocks of 2^B bytes, each
// compressed on its own by an LZ scheme over 24 distances chosen per file
// and one canonical Huffman code per file over literals and (distance
// slot, length code) pairs; blocks that do not shrink are stored raw.
#pragma once
#include <cstdint>
#include <vector>

// One step of a block: a literal byte (symbol < 256, length 1) or a copy
// (symbol 256 + 32 * slot + length code, length in bytes).
struct TbToken {
  uint16_t symbol;
  uint32_t length;
};

using TbBlockTokens = std::vector<TbToken>;

struct TbCompressStats {
  uint64_t inputBytes = 0;
  uint64_t outputBytes = 0;
  uint32_t blocks = 0;
  uint32_t rawBlocks = 0;
  uint32_t distances[24] = {};
};

// The length code of a copy of `length` bytes (1 .. 2^18 + 13) and the
// number and value of its extra bits.
int tbLengthCode(uint32_t length, int* extraBits, uint32_t* extraValue);
inline uint16_t tbCopySymbol(int slot, uint32_t length) {
  int bits;
  uint32_t value;
  return uint16_t(256 + 32 * slot + tbLengthCode(length, &bits, &value));
}

// Code lengths (at most maxLength bits) for the symbol frequencies: a
// complete canonical code, the single-code form (one symbol of length 1)
// when only one symbol occurs, all zero when none does.
void tbHuffmanLengths(const uint64_t* freq, int n, int maxLength, uint8_t* lengths);

// Writes a whole file from the blocks' tokens: blocks whose coded form is
// not shorter than their data are stored raw. `tokens` has one entry per
// block of 2^blockBits bytes (the last one may be shorter). The tokens are
// written as given, unchecked, so tests can build broken files too.
std::vector<uint8_t> tbWriteCompressed(const uint8_t* data, uint64_t size, int blockBits,
                                       const uint32_t* distances,
                                       const std::vector<TbBlockTokens>& tokens,
                                       TbCompressStats* stats);

// The 24 distances most useful for copies in this data (a sample of blocks).
void tbChooseDistances(const uint8_t* data, uint64_t size, int blockBits, uint32_t* distances);

// Compresses table data into the bytes of a compressed file.
std::vector<uint8_t> tbCompress(const uint8_t* data, uint64_t size, int blockBits,
                                TbCompressStats* stats);
