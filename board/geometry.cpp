// The constant geometry tables, all computed at compile time from the
// direction steps.
#include "board/geometry.h"

namespace {

constexpr bool onBoard(int file, int rank) { return file >= 0 && file < 8 && rank >= 0 && rank < 8; }

// File and rank offsets of the 16 directions, in the order of directionStep.
constexpr int fileStep[16] = {1, 0, -1, 0, -1, 1, -1, 1, -1, -2, -2, -1, 1, 2, 2, 1};
constexpr int rankStep[16] = {0, 1, 0, -1, 1, 1, -1, -1, -2, -1, 1, 2, 2, 1, -1, -2};

constexpr int stepFrom(int d, int q) {
  const int f = fileOf(q) + fileStep[d], r = rankOf(q) + rankStep[d];
  return onBoard(f, r) ? r * 8 + f : NoSquare;
}

constexpr ConstTable<uint8_t[64], 16> buildNext() {
  ConstTable<uint8_t[64], 16> t{};
  for (int d = 0; d < 16; ++d)
    for (int q = 0; q < 64; ++q) t.v[d][q] = static_cast<uint8_t>(stepFrom(d, q));
  return t;
}

constexpr ConstTable<uint8_t[64], 64> buildDirectionTo() {
  ConstTable<uint8_t[64], 64> t{};
  for (int a = 0; a < 64; ++a)
    for (int b = 0; b < 64; ++b) t.v[a][b] = 16;
  for (int b = 0; b < 64; ++b) {
    for (int d = 0; d < 8; ++d)
      for (int q = stepFrom(d, b); q != NoSquare; q = stepFrom(d, q)) t.v[q][b] = static_cast<uint8_t>(d);
    for (int d = 8; d < 16; ++d) {
      const int q = stepFrom(d, b);
      if (q != NoSquare) t.v[q][b] = static_cast<uint8_t>(d);
    }
  }
  return t;
}

// Writes the rays of directions first..last (sliding or single steps) from q.
constexpr int appendRays(RayEntry* out, int n, int q, int first, int last, bool slide) {
  for (int d = first; d <= last; ++d) {
    int len = 0;
    int squares[7] = {};
    for (int s = stepFrom(d, q); s != NoSquare; s = slide ? stepFrom(d, s) : NoSquare) squares[len++] = s;
    for (int i = 0; i < len; ++i)
      out[n++] = RayEntry{static_cast<uint8_t>(squares[i]), static_cast<uint8_t>(slide ? len - 1 - i : 0)};
  }
  return n;
}

constexpr ConstTable<RayEntry[64][RayListLength], 7> buildRays() {
  ConstTable<RayEntry[64][RayListLength], 7> t{};
  for (int type = 0; type < 7; ++type)
    for (int q = 0; q < 64; ++q) {
      RayEntry* out = t.v[type][q];
      int n = 0;
      switch (type) {
        case Knight: n = appendRays(out, n, q, 8, 15, false); break;
        case Bishop: n = appendRays(out, n, q, 4, 7, true); break;
        case Rook: n = appendRays(out, n, q, 0, 3, true); break;
        case Queen:
          n = appendRays(out, n, q, 0, 3, true);
          n = appendRays(out, n, q, 4, 7, true);
          break;
        case King: n = appendRays(out, n, q, 0, 7, false); break;
        default: break;
      }
      for (; n < RayListLength; ++n) out[n] = RayEntry{NoSquare, 0};
    }
  return t;
}

constexpr ConstTable<uint8_t, 256> buildHighest() {
  ConstTable<uint8_t, 256> t{};
  for (int b = 1; b < 256; ++b)
    for (int i = 0; i < 8; ++i)
      if (b & (1 << i)) t.v[b] = static_cast<uint8_t>(i);
  return t;
}

constexpr ConstTable<uint8_t, 256> buildLowest() {
  ConstTable<uint8_t, 256> t{};
  for (int b = 1; b < 256; ++b)
    for (int i = 7; i >= 0; --i)
      if (b & (1 << i)) t.v[b] = static_cast<uint8_t>(i);
  return t;
}

constexpr ConstTable<uint64_t[64], 8> buildRayMasks() {
  ConstTable<uint64_t[64], 8> t{};
  for (int d = 0; d < 8; ++d)
    for (int q = 0; q < 64; ++q)
      for (int s = stepFrom(d, q); s != NoSquare; s = stepFrom(d, s)) t.v[d][q] |= uint64_t{1} << s;
  return t;
}

constexpr ConstTable<uint8_t[64], 8> buildRayLengths() {
  ConstTable<uint8_t[64], 8> t{};
  for (int d = 0; d < 8; ++d)
    for (int q = 0; q < 64; ++q)
      for (int s = stepFrom(d, q); s != NoSquare; s = stepFrom(d, s)) ++t.v[d][q];
  return t;
}

constexpr ConstTable<uint8_t, 64> buildShade() {
  ConstTable<uint8_t, 64> t{};
  for (int q = 0; q < 64; ++q) t.v[q] = ((fileOf(q) + rankOf(q)) & 1) == 0 ? 1 : 0;
  return t;
}

}  // namespace

constinit const ConstTable<uint8_t[64], 16> nextSquare = buildNext();
constinit const ConstTable<uint8_t[64], 64> directionTo = buildDirectionTo();
constinit const ConstTable<RayEntry[64][RayListLength], 7> rayList = buildRays();
constinit const ConstTable<uint8_t, 256> highestBit = buildHighest();
constinit const ConstTable<uint8_t, 256> lowestBit = buildLowest();
constinit const ConstTable<uint8_t, 64> squareShade = buildShade();
constinit const ConstTable<uint64_t[64], 8> rayMask = buildRayMasks();
constinit const ConstTable<uint8_t[64], 8> rayLength = buildRayLengths();
