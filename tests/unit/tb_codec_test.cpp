// Compressed table files: encoder and decoder round trips, hand-made
// blocks, and broken headers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tablebase/tbdecode.h"
#include "tablebase/tbhuffman.h"
#include "tb_codec_support.h"
#include "tools/tb_compress.h"

using namespace tbtest;

namespace {

Bytes compress(const Bytes& data, int blockBits = 13, TbCompressStats* stats = nullptr) {
  return tbCompress(data.data(), data.size(), blockBits, stats);
}

Bytes concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Every kind of content decodes to the bytes it came from, block by block,
// with short last blocks, raw blocks, and groups of raw blocks whose
// offsets within the group exceed 16 bits.
TEST(TbCodec, RoundTripKeepsEveryBlock) {
  // rawBlocks: expected raw blocks, or ~0u for "some".
  struct Case { const char* name; Bytes data; int blockBits; uint32_t rawBlocks; };
  const Case cases[] = {
      {"table-like, short last block", tableLikeData(8192 * 5 + 777, 1), 13, 0},
      {"zeros, whole blocks", Bytes(8192 * 3, 0), 13, 0},
      {"one byte", Bytes(1, 42), 13, 1},
      {"random: twenty raw blocks", randomData(8192 * 20, 7), 13, 20},
      {"random block between table blocks",
       concat(concat(tableLikeData(8192 * 2, 2), randomData(8192, 3)), tableLikeData(3000, 4)), 13, 1},
      {"4096-byte blocks, 5-byte last block stored raw", tableLikeData(4096 * 3 + 5, 5), 12, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TbCompressStats stats;
    Bytes file = compress(c.data, c.blockBits, &stats);
    EXPECT_EQ(stats.rawBlocks, c.rawBlocks);
    if (c.data.size() >= 8192 && c.rawBlocks <= 1) EXPECT_LT(file.size(), c.data.size() / 2);
    Decoded d = decodeAll(file);
    ASSERT_EQ(d.code, TbOk);
    EXPECT_EQ(d.blocks, (c.data.size() + (size_t(1) << c.blockBits) - 1) >> c.blockBits);
    EXPECT_TRUE(d.data == c.data);
  }
}

// The decoder record answers the registry's questions.
TEST(TbCodec, RecordReportsBlockSizeAndLength) {
  Bytes data = tableLikeData(4096 * 2 + 100, 9);
  Bytes file = compress(data, 12);
  FILE* f = memoryFile(file);
  TbDecoder* decoder = nullptr;
  ASSERT_EQ(openCompressed(f, &decoder), TbOk);
  EXPECT_EQ(compressedBlockBits(decoder), 12);
  EXPECT_EQ(compressedByteCount(decoder), data.size());
  uint8_t block[8228];
  uint32_t size = 0;
  EXPECT_EQ(readCompressedBlock(decoder, f, 3, block, &size), TbFileBroken);  // past the last block
  ASSERT_EQ(readCompressedBlock(decoder, f, 2, block, &size), TbOk);
  EXPECT_EQ(size, 100u);
  EXPECT_EQ(std::memcmp(block, data.data() + 8192, 100), 0);
  closeCompressed(decoder);
  std::fclose(f);
}

TbToken literal(uint8_t byte) { return {byte, 1}; }
TbToken copy(int slot, uint32_t length) { return {tbCopySymbol(slot, length), length}; }

// Blocks written token by token: copies that overlap their source repeat it,
// copies reaching before the block are broken, copies past the end are cut.
TEST(TbCodec, HandMadeBlocks) {
  // data: the block's size and (for raw storage) contents.
  struct Case { const char* name; Bytes data; TbBlockTokens tokens; int code; std::string expected; };
  const Case cases[] = {
      {"distance 1, length 20", Bytes(21, 'A'), {literal('A'), copy(0, 20)}, TbOk, std::string(21, 'A')},
      {"distance 2 repeats a pair", Bytes(22, 0), {literal('A'), literal('B'), copy(1, 20)}, TbOk,
       "ABABABABABABABABABABAB"},
      {"long length with extra bits", Bytes(3000, 0), {literal('z'), copy(0, 2999)}, TbOk,
       std::string(3000, 'z')},
      {"copy past the end is cut", Bytes(10, 0), {literal('q'), copy(0, 40)}, TbOk, std::string(10, 'q')},
      {"copy before the start", Bytes(8, 0), {copy(0, 8)}, TbFileBroken, ""},
      {"distance beyond the output", Bytes(9, 0), {literal('a'), literal('b'), copy(2, 7)}, TbFileBroken, ""},
      {"slot with distance 0", Bytes(9, 0), {literal('a'), copy(23, 8)}, TbFileBroken, ""},
      {"block ends before its symbols", Bytes(30, 0), {literal('a'), literal('b')}, TbFileBroken, ""},
  };
  // Slot 0 distance 1, slot 1 distance 2, slot 2 distance 3, slot 23 zero.
  uint32_t distances[TbDistanceSlots] = {};
  for (int s = 0; s < 23; s++) distances[s] = uint32_t(s + 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TbCompressStats stats;
    Bytes file = tbWriteCompressed(c.data.data(), c.data.size(), 13, distances, {c.tokens}, &stats);
    ASSERT_EQ(stats.rawBlocks, 0u);
    Decoded d = decodeAll(file);
    EXPECT_EQ(d.code, c.code);
    if (c.code == TbOk) EXPECT_EQ(std::string(d.data.begin(), d.data.end()), c.expected);
  }
}

// A block whose stored length equals its size is copied without decoding,
// even when its bytes would not decode.
TEST(TbCodec, RawBlockIsCopiedAsIs) {
  Bytes data = randomData(8192 * 2, 11);
  TbCompressStats stats;
  Bytes file = compress(data, 13, &stats);
  ASSERT_EQ(stats.rawBlocks, 2u);
  EXPECT_EQ(file.size(), big32(file, 64) + data.size());
  Decoded d = decodeAll(file);
  ASSERT_EQ(d.code, TbOk);
  EXPECT_TRUE(d.data == data);
}

Bytes sampleFile() { return compress(concat(tableLikeData(8192 * 3, 21), randomData(8192, 22))); }

// Header faults: each is reported with its category and never crashes;
// nothing is allocated from an unchecked field.
TEST(TbCodec, BrokenHeadersAreRefused) {
  const Bytes good = sampleFile();
  const uint32_t h = big32(good, 64);
  struct Case {
    const char* name;
    void (*patch)(Bytes&, uint32_t h);
    bool resealed;
    int code;
  };
  const Case cases[] = {
      {"unchanged", [](Bytes&, uint32_t) {}, false, TbOk},
      {"other banner text", [](Bytes& b, uint32_t) { std::memcpy(b.data(), "Another compressor", 18); }, true,
       TbOk},
      {"checksum bit flipped", [](Bytes& b, uint32_t hs) { b[hs - 1] ^= 0x10; }, false, TbFileBroken},
      {"code description bit flipped", [](Bytes& b, uint32_t hs) { b[hs - 6] ^= 0x01; }, false, TbFileBroken},
      {"cut inside the fixed header", [](Bytes& b, uint32_t) { b.resize(50); }, false, TbReadError},
      {"cut after the fixed header", [](Bytes& b, uint32_t) { b.resize(80); }, false, TbFileBroken},
      {"cut inside the header", [](Bytes& b, uint32_t hs) { b.resize(hs - 10); }, false, TbFileBroken},
      {"cut inside the blocks", [](Bytes& b, uint32_t hs) { b.resize(hs + 100); }, false, TbFileBroken},
      {"a byte appended", [](Bytes& b, uint32_t) { b.push_back(0); }, false, TbFileBroken},
      {"banner without CR LF", [](Bytes& b, uint32_t) { b[58] = ' '; }, true, TbFileBroken},
      {"control character in the banner", [](Bytes& b, uint32_t) { b[3] = 7; }, true, TbFileBroken},
      {"non-zero after the banner", [](Bytes& b, uint32_t) { b[62] = 1; }, true, TbFileBroken},
      {"header size 83", [](Bytes& b, uint32_t) { putBig32(b, 64, 83); }, false, TbFileBroken},
      {"header size beyond the file", [](Bytes& b, uint32_t) { putBig32(b, 64, 0x7FFFFFFF); }, false, TbFileBroken},
      {"23 distance slots", [](Bytes& b, uint32_t) { b[71] = 23; }, true, TbFileBroken},
      {"other constant", [](Bytes& b, uint32_t) { b[79] ^= 1; }, true, TbFileBroken},
      {"block bits 17", [](Bytes& b, uint32_t) { b[70] = 17; }, true, TbFileBroken},
      {"block bits 0", [](Bytes& b, uint32_t) { b[70] = 0; }, true, TbFileBroken},
      {"no blocks", [](Bytes& b, uint32_t) { putBig32(b, 72, 0); }, true, TbFileBroken},
      {"four billion blocks", [](Bytes& b, uint32_t) { putBig32(b, 72, 0xFFFFFFFF); }, true, TbFileBroken},
      {"one block more", [](Bytes& b, uint32_t) { putBig32(b, 72, big32(b, 72) + 1); }, true, TbFileBroken},
      {"block sizes not summing to the file", [](Bytes& b, uint32_t) { setPackedField(b, 0, 100); }, true,
       TbFileBroken},
  };
  EXPECT_EQ(h + 0u, big32(good, 64));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes b = good;
    c.patch(b, h);
    if (c.resealed) reseal(b);
    Decoded d = decodeAll(b);
    EXPECT_EQ(d.code, c.code);
  }
}

// A compressed block cut short, with sizes and checksum made consistent,
// runs out of bits: broken, not a read past the buffer.
TEST(TbCodec, BlockCutShortIsBroken) {
  Bytes data = tableLikeData(8192 * 2, 31);
  Bytes file = compress(data);
  uint32_t h = big32(file, 64);
  ASSERT_EQ(decodeAll(file).code, TbOk);
  // Block 1 keeps only its first 8 bytes.
  size_t block0 = 0;
  uint64_t bit = (80 + 8 * 2) * 8;
  for (int i = 0; i < 13; i++, bit++) block0 = block0 << 1 | ((file[bit >> 3] >> (7 - (bit & 7))) & 1);
  file.resize(h + block0 + 8);
  setPackedField(file, 1, 8);
  reseal(file);
  EXPECT_EQ(decodeAll(file).code, TbFileBroken);
}

// Code tables: complete codes (with trees below the primary table) decode
// every symbol; incomplete or oversubscribed ones are refused; a lone code
// of length 1 takes no bits.
TEST(TbCodec, CodeTablesFollowTheCanonicalRules) {
  struct Case { std::vector<uint8_t> lengths; bool valid; };
  std::vector<uint8_t> deep;  // 1, 2, ..., 20, 20: trees below the 13-bit table
  for (int l = 1; l <= 20; l++) deep.push_back(uint8_t(l));
  deep.push_back(20);
  std::vector<uint8_t> flat(1024, 10);  // 1024 codes of 10 bits
  const Case cases[] = {
      {{1, 1}, true},       {{0, 3, 0}, false}, {{1, 2}, false},    {{1, 1, 1}, false},
      {{2, 2, 2, 2}, true}, {{1, 2, 2}, true},  {{0, 0, 0}, true},  {{1, 32}, false},
      {deep, true},         {flat, true},
  };
  for (const Case& c : cases) {
    int n = int(c.lengths.size());
    std::vector<int16_t> entries(static_cast<size_t>(tbCodeTableSize(13, n)));
    TbCodeTable t = {entries.data(), 13, tbCodeTableSize(13, n), false};
    ASSERT_EQ(buildCodeTable(t, c.lengths.data(), n), c.valid) << "case " << &c - cases;
    if (!c.valid || t.empty) continue;
    std::vector<uint32_t> codes(c.lengths.size());
    assignCanonicalCodes(c.lengths.data(), n, codes.data());
    int used = 0;
    for (uint8_t l : c.lengths) used += l != 0;
    for (int s = 0; s < n; s++) {
      if (!c.lengths[s]) continue;
      // The symbol's code at the top of the stream, then a marker bit.
      int len = used == 1 ? 0 : c.lengths[size_t(s)];
      uint64_t bits = (uint64_t(codes[size_t(s)]) << 1 | 1) << (63 - len);
      uint8_t stream[8];
      for (int i = 0; i < 8; i++) stream[i] = uint8_t(bits >> (56 - 8 * i));
      TbBitReader r;
      bitReaderStart(r, stream, 8);
      ASSERT_EQ(decodeSymbol(t, r), s);
      EXPECT_EQ(bitReaderTake(r, 1), 1u);
    }
  }
}

// Bit strings for hand-made code descriptions.
struct Bits {
  std::vector<uint8_t> bytes;
  int used = 0;
  void put(uint32_t v, int n) {
    for (int i = n - 1; i >= 0; i--, used++) {
      if (used % 8 == 0) bytes.push_back(0);
      if ((v >> i) & 1) bytes.back() |= uint8_t(0x80 >> (used % 8));
    }
  }
};

// Code descriptions: runs past the symbol count and absurd repeat counts
// are refused; the short form reads widths, lengths and zero runs.
TEST(TbCodec, CodeDescriptions) {
  uint8_t lengths[1024];
  auto read = [&](const Bits& b, int n) {
    TbBitReader r;
    bitReaderStart(r, b.bytes.data(), uint32_t(b.bytes.size()));
    return readLengths(r, lengths, n);
  };
  Bits allZero;
  allZero.put(1, 1);
  EXPECT_TRUE(read(allZero, 1024));
  EXPECT_EQ(lengths[1023], 0);

  Bits shortForm;  // width 3: lengths 2, 0 (+2 zeros), 1, 2
  shortForm.put(0, 1), shortForm.put(3, 5), shortForm.put(2, 3), shortForm.put(0, 3), shortForm.put(2, 4);
  shortForm.put(1, 3), shortForm.put(2, 3);
  ASSERT_TRUE(read(shortForm, 6));
  EXPECT_EQ(std::vector<uint8_t>(lengths, lengths + 6), (std::vector<uint8_t>{2, 0, 0, 0, 1, 2}));
  EXPECT_FALSE(read(shortForm, 3));  // the zero run passes the third symbol

  Bits tooLong;  // width 6, a length of 40
  tooLong.put(0, 1), tooLong.put(6, 5), tooLong.put(40, 6);
  EXPECT_FALSE(read(tooLong, 1));

  // Long form: code A has symbols 0 and 32 (repeat), code B symbols 0 and
  // 63 (a count of 2^31 and more), each of length 1.
  auto longForm = [](uint32_t bSymbolBit) {
    Bits b;
    b.put(0, 1), b.put(0, 1), b.put(1, 5);  // not empty; width 1
    b.put(1, 1);                            // A symbol 0: length 1
    b.put(0, 1), b.put(15, 4), b.put(0, 1), b.put(14, 4);  // A 1..31 zero
    b.put(1, 1);                                           // A 32: length 1
    b.put(0, 1), b.put(15, 4), b.put(0, 1), b.put(14, 4);  // A 33..63 zero
    b.put(1, 1);                                           // B 0: length 1
    b.put(0, 1), b.put(15, 4), b.put(0, 1), b.put(15, 4), b.put(0, 1), b.put(15, 4), b.put(0, 1),
        b.put(13, 4);  // B 1..62 zero
    b.put(1, 1);       // B 63: length 1
    b.put(1, 1), b.put(bSymbolBit, 1);  // A: repeat; B: count symbol
    return b;
  };
  Bits absurd = longForm(1);
  absurd.put(0x7FFFFFFF, 31);
  EXPECT_FALSE(read(absurd, 1024));
  Bits fits = longForm(0);  // a run of 2, then 1022 more via B symbol 0 would need many
  EXPECT_FALSE(read(fits, 1024));  // runs out of bits before 1024 lengths
  for (int i = 0; i < 511; i++) fits.put(1, 1), fits.put(0, 1);  // 511 more runs of 2
  ASSERT_TRUE(read(fits, 1024));
  EXPECT_EQ(lengths[0], 0);
  EXPECT_EQ(lengths[1023], 0);
}

}  // namespace
