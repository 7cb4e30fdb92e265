// Compressed table files: the header with its checksum and block sizes, the
// decoder record with its block directory, and reading one block.
#include "tablebase/tbdecode.h"

#include <sys/types.h>

#include <cstdlib>
#include <cstring>

#include "tablebase/tbhuffman.h"

namespace {

constexpr uint32_t DecoderValid = 0x5ABC947F;
constexpr uint32_t DecodeStateValid = 0x79A3F29D;
constexpr int MainTableSize = tbCodeTableSize(TbMainTableBits, TbMainSymbols);

}  // namespace

// One compressed file (side, part). Block offsets are kept as a 64-bit base
// per group of 16 blocks plus a 32-bit offset within the group, so neither
// large files nor groups of raw blocks can overflow them.
struct TbDecoder {
  uint32_t valid;
  int blockBits;
  uint32_t blockSize;
  uint32_t lastSize;       // uncompressed size of the last block
  uint32_t blocks;         // N
  uint32_t maxCompressed;  // largest compressed block
  uint32_t distances[TbDistanceSlots];
  TbCodeTable mainCode;
  int16_t table[MainTableSize];
  uint64_t* groupBase;     // (N + 1 + 15) / 16 entries
  uint32_t* groupOffset;   // N + 1 entries; entry N is the end of the data
};

// The buffer that compressed blocks are read into, shared by all files.
struct TbDecodeState {
  uint32_t valid;
  uint32_t bytes;        // compressed bytes in input
  uint32_t block;        // block number of those bytes
  const TbDecoder* decoder;
  uint8_t input[TbDecodeBufferSize];
};

static TbDecodeState* decodeState = nullptr;

int allocateDecodeState() {
  if (decodeState) return TbOk;
  decodeState = static_cast<TbDecodeState*>(std::calloc(1, sizeof(TbDecodeState)));
  if (!decodeState) return TbOutOfMemory;
  decodeState->valid = DecodeStateValid;
  return TbOk;
}

void freeDecodeState() {
  std::free(decodeState);
  decodeState = nullptr;
}

// Table of the header checksum: each byte value shifted through eight
// rounds, odd values only shifted and even values shifted and XORed.
static constexpr struct ChecksumTable {
  uint32_t v[256];
  constexpr ChecksumTable() : v() {
    for (uint32_t i = 0; i < 256; i++) {
      uint32_t x = i;
      for (int round = 0; round < 8; round++) x = (x & 1) ? x >> 1 : (x >> 1) ^ 0xEDB88320u;
      v[i] = x;
    }
  }
} checksumTable;

uint32_t tbChecksum(const uint8_t* data, size_t size) {
  uint32_t c = 0;
  for (size_t i = 0; i < size; i++) c = (c >> 8) ^ checksumTable.v[(c ^ data[i]) & 0xFF];
  return c;
}

static uint32_t readBig32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// The banner: 60 printable characters of which the last two are CR LF, then
// four zero bytes. Its text differs between compressors, so only the form
// is checked.
static bool bannerLooksRight(const uint8_t* h) {
  for (int i = 0; i < 58; i++)
    if (h[i] < 0x20 || h[i] > 0x7E) return false;
  return h[58] == '\r' && h[59] == '\n' && !h[60] && !h[61] && !h[62] && !h[63];
}

static bool fileSize(FILE* file, uint64_t* size) {
  if (fseeko(file, 0, SEEK_END) != 0) return false;
  off_t end = ftello(file);
  if (end < 0 || fseeko(file, 0, SEEK_SET) != 0) return false;
  *size = uint64_t(end);
  return true;
}

// B-bit field number `index` of the bit-packed area.
static uint32_t packedField(const uint8_t* area, uint64_t index, int bits) {
  uint64_t bit = index * uint64_t(bits);
  uint32_t value = 0;
  for (int i = 0; i < bits; i++, bit++) value = value << 1 | ((area[bit >> 3] >> (7 - (bit & 7))) & 1);
  return value;
}

// Fields of the fixed 80 bytes, checked before anything is allocated.
struct HeaderFields {
  uint32_t headerSize;  // H
  int blockBits;        // B
  uint32_t blocks;      // N
  uint64_t packedBytes; // bit-packed sizes and distances
};

static int checkFixedHeader(const uint8_t* h, uint64_t fileBytes, HeaderFields& f) {
  if (!bannerLooksRight(h)) return TbFileBroken;
  f.headerSize = readBig32(h + 64);
  f.blockBits = h[70];
  f.blocks = readBig32(h + 72);
  if (h[71] != TbDistanceSlots || readBig32(h + 76) != TbHeaderMagic) return TbFileBroken;
  if (f.blockBits < 1 || f.blockBits > 16 || f.headerSize < 84 || f.headerSize > fileBytes)
    return TbFileBroken;
  // Every block takes at least one byte after the header, and the header
  // holds the check values, the packed fields, the code description and
  // the checksum.
  uint64_t n = f.blocks;
  f.packedBytes = ((n + 25) * uint64_t(f.blockBits) + 7) / 8;
  if (n == 0 || n > fileBytes - f.headerSize) return TbFileBroken;
  if (TbFixedHeaderSize + 8 * n + f.packedBytes + 1 + 4 > f.headerSize) return TbFileBroken;
  return TbOk;
}

// Sizes and distances from the packed fields; the directory of offsets.
static int readDirectory(TbDecoder* d, const uint8_t* packed, uint64_t fileBytes,
                         uint32_t headerSize) {
  uint32_t n = d->blocks;
  uint64_t offset = headerSize;
  d->maxCompressed = 0;
  for (uint32_t i = 0; i <= n; i++) {
    uint32_t size = packedField(packed, i, d->blockBits);
    if (size == 0) size = d->blockSize;
    if (i % 16 == 0) d->groupBase[i / 16] = offset;
    d->groupOffset[i] = uint32_t(offset - d->groupBase[i / 16]);
    if (i == n) {
      d->lastSize = size;
      break;
    }
    if (size > d->maxCompressed) d->maxCompressed = size;
    offset += size;
  }
  for (int s = 0; s < TbDistanceSlots; s++)
    d->distances[s] = packedField(packed, uint64_t(n) + 1 + uint64_t(s), d->blockBits);
  // The blocks fill the rest of the file exactly.
  return offset == fileBytes ? TbOk : TbFileBroken;
}

static TbDecoder* newDecoder(const HeaderFields& f) {
  uint64_t groups = (uint64_t(f.blocks) + 1 + 15) / 16;
  TbDecoder* d = static_cast<TbDecoder*>(std::calloc(1, sizeof(TbDecoder)));
  if (!d) return nullptr;
  d->groupBase = static_cast<uint64_t*>(std::malloc(groups * sizeof(uint64_t)));
  d->groupOffset = static_cast<uint32_t*>(std::malloc((uint64_t(f.blocks) + 1) * sizeof(uint32_t)));
  if (!d->groupBase || !d->groupOffset) {
    closeCompressed(d);
    return nullptr;
  }
  d->blockBits = f.blockBits;
  d->blockSize = uint32_t(1) << f.blockBits;
  d->blocks = f.blocks;
  d->mainCode = {d->table, TbMainTableBits, MainTableSize, true};
  return d;
}

// Steps after the fixed part: the whole header, its checksum, the directory
// and the code description.
static int readHeaderRest(FILE* file, const uint8_t* fixed, uint64_t fileBytes,
                          const HeaderFields& f, TbDecoder* d) {
  uint8_t* h = static_cast<uint8_t*>(std::malloc(f.headerSize));
  if (!h) return TbOutOfMemory;
  std::memcpy(h, fixed, TbFixedHeaderSize);
  int code = TbOk;
  if (std::fread(h + TbFixedHeaderSize, 1, f.headerSize - TbFixedHeaderSize, file) !=
      f.headerSize - TbFixedHeaderSize)
    code = TbReadError;
  else if (tbChecksum(h, f.headerSize - 4) != readBig32(h + f.headerSize - 4))
    code = TbFileBroken;
  const uint8_t* packed = h + TbFixedHeaderSize + 8 * uint64_t(f.blocks);
  if (code == TbOk) code = readDirectory(d, packed, fileBytes, f.headerSize);
  if (code == TbOk) {
    // The code description starts at the next whole byte and ends before
    // the checksum.
    const uint8_t* start = packed + f.packedBytes;
    TbBitReader r;
    bitReaderStart(r, start, uint32_t(h + f.headerSize - 4 - start));
    uint8_t lengths[TbMainSymbols];
    if (!readLengths(r, lengths, TbMainSymbols) || !buildCodeTable(d->mainCode, lengths, TbMainSymbols))
      code = TbFileBroken;
  }
  std::free(h);
  return code;
}

int openCompressed(FILE* file, TbDecoder** out) {
  *out = nullptr;
  if (!file) return TbBadArgument;
  uint64_t fileBytes;
  uint8_t fixed[TbFixedHeaderSize];
  if (!fileSize(file, &fileBytes) || std::fread(fixed, 1, TbFixedHeaderSize, file) != TbFixedHeaderSize)
    return TbReadError;
  HeaderFields f;
  int code = checkFixedHeader(fixed, fileBytes, f);
  if (code != TbOk) return code;
  if (allocateDecodeState() != TbOk) return TbOutOfMemory;
  TbDecoder* d = newDecoder(f);
  if (!d) return TbOutOfMemory;
  code = readHeaderRest(file, fixed, fileBytes, f, d);
  if (code != TbOk) {
    closeCompressed(d);
    return code;
  }
  d->valid = DecoderValid;
  *out = d;
  return TbOk;
}

void closeCompressed(TbDecoder* decoder) {
  if (!decoder) return;
  if (decodeState && decodeState->decoder == decoder) decodeState->decoder = nullptr;
  std::free(decoder->groupBase);
  std::free(decoder->groupOffset);
  decoder->valid = 0;
  std::free(decoder);
}

int compressedBlockBits(const TbDecoder* decoder) { return decoder->blockBits; }

uint64_t compressedByteCount(const TbDecoder* decoder) {
  return uint64_t(decoder->blocks - 1) * decoder->blockSize + decoder->lastSize;
}

uint32_t compressedBlockCount(const TbDecoder* decoder) { return decoder->blocks; }

static uint64_t blockOffset(const TbDecoder* d, uint32_t block) {
  return d->groupBase[block / 16] + d->groupOffset[block];
}

int readCompressedBlock(TbDecoder* decoder, FILE* file, uint32_t block, uint8_t* out,
                        uint32_t* size) {
  if (!decoder || decoder->valid != DecoderValid || !file || !out) return TbBadArgument;
  if (!decodeState || decodeState->valid != DecodeStateValid) return TbBadArgument;
  // The cache entry holds one 8192-byte block.
  if (decoder->blockBits > TbCompressedBlockBits) return TbBadArgument;
  if (block >= decoder->blocks) return TbFileBroken;
  uint64_t offset = blockOffset(decoder, block);
  uint32_t length = uint32_t(blockOffset(decoder, block + 1) - offset);
  uint32_t expanded = block + 1 == decoder->blocks ? decoder->lastSize : decoder->blockSize;
  if (fseeko(file, off_t(offset), SEEK_SET) != 0) return TbReadError;

  // A block as long as its contents is stored as it is.
  if (length == expanded) {
    if (std::fread(out, 1, length, file) != length) return TbReadError;
    *size = expanded;
    return TbOk;
  }
  decodeState->decoder = nullptr;
  if (std::fread(decodeState->input, 1, length, file) != length) return TbReadError;
  decodeState->bytes = length;
  decodeState->block = block;
  decodeState->decoder = decoder;
  if (!decodeBlock(decoder->mainCode, decoder->distances, decodeState->input, length, out, expanded))
    return TbFileBroken;
  *size = expanded;
  return TbOk;
}
