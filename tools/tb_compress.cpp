// Compressing table data: the choice of the 24 copy distances and the
// parse of each block into literals and copies, priced by the file's code.
#include "tools/tb_compress.h"

#include <algorithm>
#include <cstring>

#include "tablebase/tbhuffman.h"

namespace {

constexpr int SampleBlocks = 16;
constexpr int Candidates = 96;
constexpr int MinUsefulMatch = 3;
constexpr uint32_t NiceLength = 64;   // longer matches are taken without weighing
constexpr uint32_t ShortLengths = 8;  // copies weighed at every length up to this

// The next length worth weighing after l: every short length, then the
// longest of each length code's range (17, 21, 29, 45, ...), since all
// lengths of a range cost the same.
uint32_t nextLength(uint32_t l) {
  if (l < ShortLengths) return l + 1;
  uint32_t rangeEnd = 17;
  while (rangeEnd <= l) rangeEnd = 2 * rangeEnd - 13;
  return rangeEnd;
}

// Blocks spread evenly over the data, for the distance statistics.
std::vector<uint64_t> sampleBlocks(uint64_t size, uint32_t blockSize) {
  uint64_t blocks = (size + blockSize - 1) / blockSize;
  std::vector<uint64_t> starts;
  uint64_t count = std::min<uint64_t>(blocks, SampleBlocks);
  for (uint64_t i = 0; i < count; i++) starts.push_back(i * blocks / count * blockSize);
  return starts;
}

// Positions of a block covered by matches of at least MinUsefulMatch bytes
// at distance d, as a bitmap appended to `bits`.
void coverage(const uint8_t* block, uint32_t len, uint32_t d, std::vector<uint64_t>& bits,
              size_t firstWord) {
  uint32_t run = 0;
  for (uint32_t i = d; i <= len; i++) {
    if (i < len && block[i] == block[i - d]) {
      run++;
      continue;
    }
    if (run >= MinUsefulMatch)
      for (uint32_t j = i - run; j < i; j++) bits[firstWord + j / 64] |= uint64_t(1) << (j % 64);
    run = 0;
  }
}

}  // namespace

void tbChooseDistances(const uint8_t* data, uint64_t size, int blockBits, uint32_t* distances) {
  uint32_t blockSize = uint32_t(1) << blockBits;
  std::vector<uint64_t> starts = sampleBlocks(size, blockSize);

  // Pre-select by how often two bytes repeat at each distance.
  std::vector<uint64_t> pairs(blockSize, 0);
  for (uint64_t start : starts) {
    const uint8_t* b = data + start;
    uint32_t len = uint32_t(std::min<uint64_t>(blockSize, size - start));
    for (uint32_t d = 1; d < len; d++) {
      uint32_t hits = 0;
      for (uint32_t i = d; i + 1 < len; i += 2) hits += b[i] == b[i - d] && b[i + 1] == b[i + 1 - d];
      pairs[d] += hits;
    }
  }
  std::vector<uint32_t> order;
  for (uint32_t d = 1; d < blockSize; d++) order.push_back(d);
  std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return pairs[a] > pairs[b]; });
  order.resize(std::min<size_t>(order.size(), Candidates));

  // Then greedily: each next distance covers the most bytes not yet covered.
  size_t words = starts.size() * blockSize / 64;
  std::vector<std::vector<uint64_t>> covered(order.size(), std::vector<uint64_t>(words, 0));
  for (size_t c = 0; c < order.size(); c++)
    for (size_t s = 0; s < starts.size(); s++)
      coverage(data + starts[s], uint32_t(std::min<uint64_t>(blockSize, size - starts[s])), order[c],
               covered[c], s * blockSize / 64);
  std::vector<uint64_t> taken(words, 0);
  std::vector<bool> chosen(order.size(), false);
  int count = 0;
  while (count < TbDistanceSlots) {
    int best = -1;
    uint64_t bestGain = 0;
    for (size_t c = 0; c < order.size(); c++) {
      if (chosen[c]) continue;
      uint64_t gain = 0;
      for (size_t w = 0; w < words; w++) gain += uint64_t(__builtin_popcountll(covered[c][w] & ~taken[w]));
      if (gain > bestGain) bestGain = gain, best = int(c);
    }
    if (best < 0) break;
    chosen[size_t(best)] = true;
    for (size_t w = 0; w < words; w++) taken[w] |= covered[size_t(best)][w];
    distances[count++] = order[size_t(best)];
  }
  // Slots nothing fills get the smallest distances not chosen yet.
  for (uint32_t d = 1; count < TbDistanceSlots && d < blockSize; d++)
    if (std::find(distances, distances + count, d) == distances + count) distances[count++] = d;
  std::sort(distances, distances + count);
}

namespace {

// Bits of each symbol under the current code; symbols the code lacks get a
// guess that keeps them usable in the next round.
struct Prices {
  uint32_t symbol[TbMainSymbols];
};

void pricesFromLengths(Prices& p, const uint8_t* lengths) {
  for (int s = 0; s < TbMainSymbols; s++) p.symbol[s] = lengths[s] ? lengths[s] : 14;
}

void initialPrices(Prices& p) {
  for (int s = 0; s < TbMainSymbols; s++) p.symbol[s] = s < 256 ? 9 : 8;
}

uint32_t copyPrice(const Prices& p, int slot, uint32_t length) {
  int bits;
  uint32_t value;
  int code = tbLengthCode(length, &bits, &value);
  return p.symbol[256 + 32 * slot + code] + uint32_t(bits);
}

// Work arrays of the parse, reused from block to block.
struct ParseWork {
  std::vector<uint16_t> match;  // [position][slot] match length, capped
  std::vector<uint32_t> cost;   // bits from position to the block's end
  std::vector<TbToken> step;    // best first token at each position
};

// Shortest coding of one block under the prices: for each position from the
// end, the literal or one of the copies that minimises the bits to the end.
TbBlockTokens parseBlock(const uint8_t* b, uint32_t len, const uint32_t* distances,
                         const Prices& prices, ParseWork& w) {
  w.match.assign(size_t(len + 1) * TbDistanceSlots, 0);
  w.cost.assign(len + 1, 0);
  w.step.assign(len + 1, TbToken{0, 1});
  for (uint32_t i = len; i-- > 0;) {
    uint16_t* m = &w.match[size_t(i) * TbDistanceSlots];
    const uint16_t* after = m + TbDistanceSlots;
    uint32_t best = prices.symbol[b[i]] + w.cost[i + 1];
    TbToken bestStep = {b[i], 1};
    uint32_t longest = 0;
    int longestSlot = 0;
    for (int s = 0; s < TbDistanceSlots; s++) {
      uint32_t d = distances[s];
      m[s] = (d <= i && b[i] == b[i - d]) ? uint16_t(std::min(after[s] + 1, 65535)) : 0;
      if (m[s] > longest) longest = m[s], longestSlot = s;
    }
    if (longest >= NiceLength) {
      w.cost[i] = copyPrice(prices, longestSlot, longest) + w.cost[i + longest];
      w.step[i] = {tbCopySymbol(longestSlot, longest), longest};
      continue;
    }
    for (int s = 0; s < TbDistanceSlots; s++) {
      // The short lengths, the ends of the length codes' ranges, and the
      // whole match.
      for (uint32_t l = 1; l <= m[s]; l = std::min<uint32_t>(m[s], nextLength(l))) {
        uint32_t c = copyPrice(prices, s, l) + w.cost[i + l];
        if (c < best) best = c, bestStep = {tbCopySymbol(s, l), l};
        if (l == m[s]) break;
      }
    }
    w.cost[i] = best;
    w.step[i] = bestStep;
  }
  TbBlockTokens tokens;
  for (uint32_t i = 0; i < len; i += w.step[i].length) tokens.push_back(w.step[i]);
  return tokens;
}

}  // namespace

std::vector<uint8_t> tbCompress(const uint8_t* data, uint64_t size, int blockBits,
                                TbCompressStats* stats) {
  uint32_t blockSize = uint32_t(1) << blockBits;
  uint32_t distances[TbDistanceSlots];
  tbChooseDistances(data, size, blockBits, distances);
  uint64_t blocks = (size + blockSize - 1) / blockSize;
  std::vector<TbBlockTokens> tokens(blocks);
  Prices prices;
  initialPrices(prices);
  ParseWork work;
  // Parse, price the symbols by the code of that parse, and parse again.
  for (int round = 0; round < 3; round++) {
    uint64_t freq[TbMainSymbols] = {};
    for (uint64_t b = 0; b < blocks; b++) {
      uint32_t len = uint32_t(std::min<uint64_t>(blockSize, size - b * blockSize));
      tokens[b] = parseBlock(data + b * blockSize, len, distances, prices, work);
      for (const TbToken& t : tokens[b]) freq[t.symbol]++;
    }
    uint8_t lengths[TbMainSymbols];
    tbHuffmanLengths(freq, TbMainSymbols, 24, lengths);
    pricesFromLengths(prices, lengths);
  }
  return tbWriteCompressed(data, size, blockBits, distances, tokens, stats);
}
