// Writing compressed table files: Huffman code lengths, the code
// description, the coded blocks and the header with its checksum.
#include <algorithm>
#include <cstring>
#include <queue>

#include "tablebase/tbdecode.h"
#include "tablebase/tbhuffman.h"
#include "tools/tb_compress.h"

namespace {

// Most significant bit first.
struct BitWriter {
  std::vector<uint8_t> bytes;
  uint64_t acc = 0;
  int bits = 0;

  void put(uint32_t value, int count) {
    for (int i = count - 1; i >= 0; i--) {
      acc = acc << 1 | ((value >> i) & 1);
      if (++bits == 8) {
        bytes.push_back(uint8_t(acc));
        acc = 0;
        bits = 0;
      }
    }
  }
  std::vector<uint8_t>& finish() {
    if (bits) put(0, 8 - bits);
    return bytes;
  }
};

// A code ready for writing: canonical codes, or no bits at all for the
// single-code form.
struct Code {
  uint8_t lengths[TbMainSymbols];
  uint32_t codes[TbMainSymbols];
  bool single;
};

void makeCode(Code& c, const uint64_t* freq, int n, int maxLength) {
  tbHuffmanLengths(freq, n, maxLength, c.lengths);
  int used = 0;
  for (int s = 0; s < n; s++) used += c.lengths[s] != 0;
  c.single = used == 1;
  assignCanonicalCodes(c.lengths, n, c.codes);
}

void putSymbol(BitWriter& w, const Code& c, int symbol) {
  if (!c.single) w.put(c.codes[symbol], c.lengths[symbol]);
}

// The short description of up to 128 lengths: a width, then every length,
// with a count of further zeros (up to 15) after each zero.
void writeShortLengths(BitWriter& w, const uint8_t* lengths, int n) {
  int maxLength = *std::max_element(lengths, lengths + n);
  if (maxLength == 0) {
    w.put(1, 1);
    return;
  }
  int width = 1;
  while ((1 << width) <= maxLength) width++;
  w.put(0, 1);
  w.put(uint32_t(width), 5);
  for (int i = 0; i < n;) {
    w.put(lengths[i], width);
    if (lengths[i++] != 0) continue;
    int run = 0;
    while (run < 15 && i < n && lengths[i] == 0) run++, i++;
    w.put(uint32_t(run), 4);
  }
}

// One item of the long description: a length (symbol < 32), or a repeat of
// length symbol & 31 whose count - 2 is t, with k extra bits for t >= 32.
struct LengthItem {
  int symbol;
  int t;
  int extraBits;
  uint32_t extra;
};

std::vector<LengthItem> lengthItems(const uint8_t* lengths, int n) {
  std::vector<LengthItem> items;
  for (int i = 0; i < n;) {
    int run = 1;
    while (i + run < n && lengths[i + run] == lengths[i]) run++;
    if (run < 3) {
      for (int j = 0; j < run; j++) items.push_back({lengths[i], 0, 0, 0});
    } else {
      uint32_t count = uint32_t(run - 2);
      LengthItem item = {32 + lengths[i], int(count), 0, 0};
      if (count > 31) {
        int k = 0;
        while ((uint32_t(2) << k) <= count - 31) k++;
        item = {32 + lengths[i], 32 + k, k, count - 31 - (uint32_t(1) << k)};
      }
      items.push_back(item);
    }
    i += run;
  }
  return items;
}

// The long description of the main code's lengths, coded with codes A and B.
void writeMainLengths(BitWriter& w, const uint8_t* lengths) {
  if (*std::max_element(lengths, lengths + TbMainSymbols) == 0) {
    w.put(1, 1);
    return;
  }
  w.put(0, 1);
  std::vector<LengthItem> items = lengthItems(lengths, TbMainSymbols);
  uint64_t freq[128] = {};
  for (const LengthItem& it : items) {
    freq[it.symbol]++;
    if (it.symbol >= 32) freq[64 + it.t]++;
  }
  Code a, b;
  makeCode(a, freq, 64, 15);
  makeCode(b, freq + 64, 64, 15);
  uint8_t small[128];
  std::memcpy(small, a.lengths, 64);
  std::memcpy(small + 64, b.lengths, 64);
  writeShortLengths(w, small, 128);
  for (const LengthItem& it : items) {
    putSymbol(w, a, it.symbol);
    if (it.symbol < 32) continue;
    putSymbol(w, b, it.t);
    w.put(it.extra, it.extraBits);
  }
}

std::vector<uint8_t> encodeBlock(const TbBlockTokens& tokens, const Code& code) {
  BitWriter w;
  for (const TbToken& t : tokens) {
    putSymbol(w, code, t.symbol);
    if (t.symbol < 256) continue;
    int bits;
    uint32_t value;
    tbLengthCode(t.length, &bits, &value);
    w.put(value, bits);
  }
  std::vector<uint8_t>& bytes = w.finish();
  if (bytes.empty()) bytes.push_back(0);  // a stored size of 0 would mean a full block
  return bytes;
}

void putBig32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
}

// Codes the blocks that are not raw with one code built from their symbols;
// blocks that do not shrink become raw and the code is built again.
void codeBlocks(const uint8_t* data, uint64_t size, uint32_t blockSize,
                const std::vector<TbBlockTokens>& tokens, Code& code,
                std::vector<std::vector<uint8_t>>& stored, std::vector<bool>& raw) {
  size_t n = tokens.size();
  raw.assign(n, false);
  stored.assign(n, {});
  for (int round = 0; round < 4; round++) {
    uint64_t freq[TbMainSymbols] = {};
    for (size_t b = 0; b < n; b++)
      if (!raw[b])
        for (const TbToken& t : tokens[b]) freq[t.symbol]++;
    makeCode(code, freq, TbMainSymbols, 24);
    bool changed = false;
    for (size_t b = 0; b < n; b++) {
      if (raw[b]) continue;
      uint64_t expanded = std::min<uint64_t>(blockSize, size - b * blockSize);
      stored[b] = encodeBlock(tokens[b], code);
      if (stored[b].size() >= expanded) raw[b] = changed = true;
    }
    if (!changed) break;
  }
  for (size_t b = 0; b < n; b++) {
    if (!raw[b]) continue;
    const uint8_t* from = data + b * uint64_t(blockSize);
    stored[b].assign(from, from + std::min<uint64_t>(blockSize, size - b * blockSize));
  }
}

// A fixed banner of 58 printable characters and CR LF.
constexpr char Banner[] = "BRAXEN compressed endgame table: LZ + Huffman, 8 KB blocks";

}  // namespace

int tbLengthCode(uint32_t length, int* extraBits, uint32_t* extraValue) {
  if (length <= 15) {
    *extraBits = 0;
    *extraValue = 0;
    return int(length) - 1;
  }
  int k = 1;
  while ((uint32_t(2) << k) <= length - 14) k++;
  *extraBits = k;
  *extraValue = length - 14 - (uint32_t(1) << k);
  return 14 + k;
}

std::vector<uint8_t> tbWriteCompressed(const uint8_t* data, uint64_t size, int blockBits,
                                       const uint32_t* distances,
                                       const std::vector<TbBlockTokens>& tokens,
                                       TbCompressStats* stats) {
  static_assert(sizeof(Banner) - 1 == 58, "the banner is 58 characters before CR LF");
  uint32_t blockSize = uint32_t(1) << blockBits;
  uint32_t n = uint32_t(tokens.size());
  Code code;
  std::vector<std::vector<uint8_t>> stored;
  std::vector<bool> raw;
  codeBlocks(data, size, blockSize, tokens, code, stored, raw);

  // Packed sizes (2^B written as 0), the last block's size, the distances.
  BitWriter packed;
  uint32_t mask = blockSize - 1;
  for (uint32_t b = 0; b < n; b++) packed.put(uint32_t(stored[b].size()) & mask, blockBits);
  packed.put(uint32_t(size - uint64_t(n - 1) * blockSize) & mask, blockBits);
  for (int s = 0; s < TbDistanceSlots; s++) packed.put(distances[s] & mask, blockBits);
  BitWriter description;
  writeMainLengths(description, code.lengths);

  uint8_t banner[TbBannerSize] = {};
  std::memcpy(banner, Banner, 58);
  banner[58] = '\r';
  banner[59] = '\n';
  std::vector<uint8_t> out;
  out.reserve(TbBannerSize + 16);
  out.insert(out.end(), banner, banner + TbBannerSize);
  uint64_t headerSize = TbFixedHeaderSize + 8 * uint64_t(n) + packed.finish().size() +
                        description.finish().size() + 4;
  putBig32(out, uint32_t(headerSize));
  out.insert(out.end(), {0, 0, uint8_t(blockBits), TbDistanceSlots});
  putBig32(out, n);
  putBig32(out, TbHeaderMagic);
  // Check values of each block (the decoder does not read them): the
  // checksums of its data and of its stored bytes.
  for (uint32_t b = 0; b < n; b++) {
    const uint8_t* from = data + b * uint64_t(blockSize);
    putBig32(out, tbChecksum(from, std::min<uint64_t>(blockSize, size - b * uint64_t(blockSize))));
    putBig32(out, tbChecksum(stored[b].data(), stored[b].size()));
  }
  out.insert(out.end(), packed.bytes.begin(), packed.bytes.end());
  out.insert(out.end(), description.bytes.begin(), description.bytes.end());
  putBig32(out, tbChecksum(out.data(), out.size()));
  for (uint32_t b = 0; b < n; b++) out.insert(out.end(), stored[b].begin(), stored[b].end());

  if (stats) {
    stats->inputBytes = size;
    stats->outputBytes = out.size();
    stats->blocks = n;
    stats->rawBlocks = uint32_t(std::count(raw.begin(), raw.end(), true));
    std::memcpy(stats->distances, distances, sizeof(stats->distances));
  }
  return out;
}

void tbHuffmanLengths(const uint64_t* freq, int n, int maxLength, uint8_t* lengths) {
  std::vector<uint64_t> f(freq, freq + n);
  for (;;) {
    std::memset(lengths, 0, size_t(n));
    using Node = std::pair<uint64_t, int>;
    std::priority_queue<Node, std::vector<Node>, std::greater<Node>> heap;
    std::vector<int> parent(size_t(2 * n), -1);
    for (int s = 0; s < n; s++)
      if (f[s]) heap.push({f[s], s});
    if (heap.size() == 1) lengths[heap.top().second] = 1;
    if (heap.size() <= 1) return;
    int next = n;
    while (heap.size() > 1) {
      Node x = heap.top();
      heap.pop();
      Node y = heap.top();
      heap.pop();
      parent[size_t(x.second)] = parent[size_t(y.second)] = next;
      heap.push({x.first + y.first, next++});
    }
    int longest = 0;
    for (int s = 0; s < n; s++) {
      if (!f[s]) continue;
      int depth = 0;
      for (int node = s; parent[size_t(node)] >= 0; node = parent[size_t(node)]) depth++;
      lengths[s] = uint8_t(std::min(depth, 255));
      longest = std::max(longest, depth);
    }
    if (longest <= maxLength) return;
    // Too deep: flatten the frequencies and build again.
    for (uint64_t& x : f)
      if (x) x = (x >> 1) | 1;
  }
}
