// Helpers of the table tests: table-like data, files in memory, header
// patches, decoding a whole file, and a fixture of table folders.
#pragma once
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/options.h"
#include "tablebase/tablebase.h"
#include "tablebase/tbdecode.h"

namespace tbtest {

using Bytes = std::vector<uint8_t>;

// Data shaped like a distance-to-mate table: a value per (king pair,
// square) that changes smoothly along ranks and files, with broken
// positions (zero) on the kings' squares and some noise.
inline Bytes tableLikeData(size_t size, uint32_t seed) {
  Bytes out(size);
  uint32_t state = seed * 2654435761u + 1;
  for (size_t i = 0; i < size; i++) {
    state = state * 1103515245u + 12345u;
    uint32_t square = uint32_t(i % 64), pair = uint32_t(i / 64);
    uint32_t king = (pair * 7) % 64;
    int fileGap = int(square % 8) - int(king % 8), rankGap = int(square / 8) - int(king / 8);
    int value = (fileGap < 0 ? -fileGap : fileGap) * 3 + (rankGap < 0 ? -rankGap : rankGap) + int(pair % 5);
    if (square == king || square == pair % 64) value = 0;
    if ((state >> 24) < 8) value = int(state >> 8) & 0xFF;
    out[i] = uint8_t(value);
  }
  return out;
}

inline Bytes randomData(size_t size, uint32_t seed) {
  Bytes out(size);
  for (size_t i = 0; i < size; i++) {
    seed = seed * 1103515245u + 12345u;
    out[i] = uint8_t(seed >> 23);
  }
  return out;
}

inline uint32_t big32(const Bytes& b, size_t at) {
  return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
}

inline void putBig32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; i++) b[at + size_t(i)] = uint8_t(v >> (24 - 8 * i));
}

// Writes the header checksum again after a patch (when H fits the file).
inline void reseal(Bytes& b) {
  uint32_t h = big32(b, 64);
  if (h >= 84 && h <= b.size()) putBig32(b, h - 4, tbChecksum(b.data(), h - 4));
}

// Sets B-bit packed field `index` (block sizes, then the distances).
// Bits outside the array (a mutated header may point anywhere) are skipped.
inline void setPackedField(Bytes& b, uint32_t index, uint32_t value) {
  int bits = b[70] < 32 ? b[70] : 32;
  uint64_t bit = (80 + 8 * uint64_t(big32(b, 72))) * 8 + uint64_t(index) * uint64_t(bits);
  for (int i = bits - 1; i >= 0 && (bit >> 3) < b.size(); i--, bit++) {
    uint8_t mask = uint8_t(0x80 >> (bit & 7));
    b[bit >> 3] = uint8_t(((value >> i) & 1) ? b[bit >> 3] | mask : b[bit >> 3] & ~mask);
  }
}

// A read-only FILE over a byte array.
inline FILE* memoryFile(const Bytes& b) {
  static const uint8_t none = 0;
  return fmemopen(const_cast<uint8_t*>(b.empty() ? &none : b.data()), b.size(), "rb");
}

// Opens the bytes and decodes every block; the first failure code, or TbOk
// with the decoded data.
struct Decoded { int code; Bytes data; uint32_t blocks; };

inline Decoded decodeAll(const Bytes& file) {
  Decoded d = {TbOk, {}, 0};
  FILE* f = memoryFile(file);
  TbDecoder* decoder = nullptr;
  d.code = openCompressed(f, &decoder);
  if (d.code == TbOk) {
    d.blocks = compressedBlockCount(decoder);
    static uint8_t block[8228];
    for (uint32_t b = 0; b < d.blocks && d.code == TbOk; b++) {
      uint32_t size = 0;
      d.code = readCompressedBlock(decoder, f, b, block, &size);
      if (d.code == TbOk) d.data.insert(d.data.end(), block, block + size);
    }
    if (d.code == TbOk && d.data.size() != compressedByteCount(decoder)) d.code = -1;
  }
  closeCompressed(decoder);
  std::fclose(f);
  return d;
}

// Table folders made by a test (removed at its end) and registered as the
// engine registers "NalimovPath".
class TableFolders : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDefaultOptions();
    initTbClasses();
  }
  void TearDown() override {
    releaseTablebases();
    tbPath[0] = '\0';
    SetDefaultOptions();
    for (const std::string& d : made) EXPECT_EQ(std::system(("rm -rf '" + d + "'").c_str()), 0);
  }
  std::string folder(const std::string& name) {
    made.push_back(name);
    mkdir(name.c_str(), 0755);
    return name;
  }
  void registerPath(const std::string& path) {
    snprintf(tbPath, sizeof tbPath, "%s", path.c_str());
    InitTablebases(true);
  }
  std::vector<std::string> made;
};

}  // namespace tbtest
