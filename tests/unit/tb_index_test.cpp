// Index functions of the endgame tables: every legal position lands in its
// class's range, twins share an index, other positions never do, and the
// simplest classes follow their closed formulas. Three and four men are
// swept exhaustively; larger classes are sampled densely around a few king
// pairs (a sample of classes by default, all with BRAXEN_LONG_TESTS=1).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "tablebase/tbclasses.h"
#include "tablebase/tbindex.h"

namespace {

constexpr int ListFirst[5] = {TbListPawn, TbListKnight, TbListBishop, TbListRook, TbListQueen};
constexpr uint64_t NoKey = ~0ull;

bool longTests() {
  const char* v = std::getenv("BRAXEN_LONG_TESTS");
  return v && *v == '1';
}

struct Rng {
  uint64_t s;
  uint64_t next() {
    s += 0x9E3779B97F4A7C15ull;
    uint64_t z = s;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  int below(int n) { return int(next() % uint64_t(n)); }
};

// The men of a class: counts [colour][pawn..queen].
struct Men {
  int count[2][5] = {};
  int total = 0;
  bool pawns = false;
};

Men menOf(const TbClass& cls) {
  Men m;
  int side = -1;
  for (const char* p = cls.name; *p; ++p) {
    if (*p == 'k') {
      ++side;
      continue;
    }
    int kind = int(std::strchr("pnbrq", *p) - "pnbrq");
    m.count[side][kind] += 1;
    m.total += 1;
  }
  m.pawns = m.count[0][0] + m.count[1][0] > 0;
  return m;
}

// A position as the index functions see it: lists [White, Black].
struct Pos {
  uint8_t list[2][16] = {};
  int side = 0;
  int ep = TbNoEp;
  uint8_t& king(int c) { return list[c][TbListKing]; }
};

uint64_t indexOf(int cls, const Pos& p) {
  return tbClasses[cls].indexFn[p.side](p.list[0], p.list[1], p.ep, 0);
}

// ---- legality: men on distinct squares, pawns on ranks 2..7, kings apart,
// the side not to move not in check, en passant only right after a double
// step that a pawn of the side to move could take.

bool attacked(const int8_t* board, int sq, int by) {
  int r = sq >> 3, f = sq & 7;
  auto at = [&](int rr, int ff) { return rr < 0 || rr > 7 || ff < 0 || ff > 7 ? -1 : board[rr * 8 + ff]; };
  int pr = by == 0 ? r - 1 : r + 1;
  if (at(pr, f - 1) == by * 8 + 1 || at(pr, f + 1) == by * 8 + 1) return true;
  static const int jumps[8][2] = {{1, 2}, {2, 1}, {2, -1}, {1, -2}, {-1, -2}, {-2, -1}, {-2, 1}, {-1, 2}};
  for (auto& j : jumps)
    if (at(r + j[0], f + j[1]) == by * 8 + 2) return true;
  for (int dr = -1; dr <= 1; ++dr)
    for (int df = -1; df <= 1; ++df) {
      if (!dr && !df) continue;
      if (at(r + dr, f + df) == by * 8 + 6) return true;
      int slider = dr && df ? 3 : 4;
      for (int k = 1;; ++k) {
        int v = at(r + k * dr, f + k * df);
        if (v == -1 && (r + k * dr < 0 || r + k * dr > 7 || f + k * df < 0 || f + k * df > 7)) break;
        if (v == -1) continue;
        if (v == by * 8 + slider || v == by * 8 + 5) return true;
        break;
      }
    }
  return false;
}

bool epPossible(const int8_t* board, const Pos& p) {
  int s = p.side, ep = p.ep, up = s == 0 ? 8 : -8;
  if (ep < 0 || ep > 63 || (ep >> 3) != (s == 0 ? 5 : 2)) return false;
  if (board[ep - up] != (1 - s) * 8 + 1 || board[ep] != -1 || board[ep + up] != -1) return false;
  int left = (ep & 7) > 0 && board[ep - up - 1] == s * 8 + 1;
  int right = (ep & 7) < 7 && board[ep - up + 1] == s * 8 + 1;
  return left || right;
}

bool legal(const Pos& p, const Men& m) {
  int8_t board[64];
  std::memset(board, -1, sizeof board);
  for (int c = 0; c < 2; ++c) {
    for (int k = 0; k < 5; ++k)
      for (int i = 0; i < m.count[c][k]; ++i) {
        int s = p.list[c][ListFirst[k] + i];
        if (board[s] != -1 || (k == 0 && (s < 8 || s > 55))) return false;
        board[s] = int8_t(c * 8 + k + 1);
      }
    int ks = p.list[c][TbListKing];
    if (board[ks] != -1) return false;
    board[ks] = int8_t(c * 8 + 6);
  }
  int a = p.list[0][TbListKing], b = p.list[1][TbListKing];
  if (std::abs((a >> 3) - (b >> 3)) <= 1 && std::abs((a & 7) - (b & 7)) <= 1) return false;
  if (attacked(board, p.list[1 - p.side][TbListKing], p.side)) return false;
  return p.ep == TbNoEp || epPossible(board, p);
}

// ---- symmetries: XOR masks 0, 7, 56, 63, each with or without the
// diagonal reflection; classes with pawns keep only the file mirror.

int symSquare(int sym, int sq) {
  static const int masks[4] = {0, 7, 56, 63};
  sq ^= masks[sym & 3];
  return sym & 4 ? (sq & 7) * 8 + (sq >> 3) : sq;
}

Pos transformed(const Pos& p, const Men& m, int sym) {
  Pos q = p;
  for (int c = 0; c < 2; ++c) {
    for (int k = 0; k < 5; ++k)
      for (int i = 0; i < m.count[c][k]; ++i) q.list[c][ListFirst[k] + i] = symSquare(sym, p.list[c][ListFirst[k] + i]);
    q.list[c][TbListKing] = symSquare(sym, p.list[c][TbListKing]);
  }
  if (p.ep != TbNoEp) q.ep = symSquare(sym, p.ep);
  return q;
}

// Kings, then each kind's squares sorted, then the en-passant square.
uint64_t encode(const Pos& p, const Men& m) {
  uint64_t key = uint64_t(p.list[0][TbListKing]) << 6 | p.list[1][TbListKing];
  for (int c = 0; c < 2; ++c)
    for (int k = 0; k < 5; ++k) {
      const uint8_t* sq = p.list[c] + ListFirst[k];
      int n = m.count[c][k];
      int lo = n ? std::min({sq[0], sq[n > 1], sq[n - 1]}) : 0, hi = n ? std::max({sq[0], sq[n > 1], sq[n - 1]}) : 0;
      if (n >= 1) key = key << 6 | lo;
      if (n == 3) key = key << 6 | (sq[0] + sq[1] + sq[2] - lo - hi);
      if (n >= 2) key = key << 6 | hi;
    }
  return key << 7 | uint64_t(p.ep);
}

// The same key for all twins: the least encoding over the symmetries.
uint64_t twinKey(const Pos& p, const Men& m) {
  uint64_t best = NoKey;
  for (int sym = 0; sym < (m.pawns ? 2 : 8); ++sym) best = std::min(best, encode(transformed(p, m, sym), m));
  return best;
}

// Records which twin class owns each index; a second class on an index is
// a collision.
struct CollisionCheck {
  std::unordered_map<uint64_t, uint64_t> sparse;
  std::vector<uint64_t> dense;
  int failures = 0;
  void add(uint64_t index, uint64_t key) {
    uint64_t* slot = nullptr;
    if (!dense.empty()) {
      slot = &dense[index];
    } else {
      auto it = sparse.try_emplace(index, key).first;
      slot = &it->second;
    }
    if (*slot == NoKey) *slot = key;
    if (*slot != key && ++failures <= 5) ADD_FAILURE() << "index " << index << " shared by keys " << *slot << " and " << key;
  }
};

void initOnce() { initTbClasses(); }

// Places the men of one class one after the other; men of one kind in
// increasing square order, kings given.
template <typename Visit>
void placeMen(Pos& p, const Men& m, int slot, int from, Visit& visit) {
  int n = 0;
  for (int c = 0; c < 2; ++c)
    for (int k = 0; k < 5; ++k)
      for (int i = 0; i < m.count[c][k]; ++i, ++n) {
        if (n != slot) continue;
        bool sameAsNext = i + 1 < m.count[c][k];
        for (int s = std::max(from, k == 0 ? 8 : 0); s < (k == 0 ? 56 : 64); ++s) {
          p.list[c][ListFirst[k] + i] = uint8_t(s);
          placeMen(p, m, slot + 1, sameAsNext ? s + 1 : 0, visit);
        }
        return;
      }
  visit(p);
}

}  // namespace

TEST(TablebaseIndex, KingPairTablesNumberTheirPairsInOrder) {
  struct Case { const ConstTable<int16_t[64], 64>* table; int pairs; bool pawns; } cases[] = {
      {&kkPawnless, KingPairsPawnless, false}, {&kkPawns, KingPairsPawns, true}};
  for (auto& c : cases) {
    int next = 0;
    for (int a = 0; a < 64; ++a)
      for (int b = 0; b < 64; ++b) {
        int ra = a >> 3, fa = a & 7, rb = b >> 3, fb = b & 7;
        bool apart = std::abs(ra - rb) > 1 || std::abs(fa - fb) > 1;
        bool valid = c.pawns ? fa < 4 && apart
                             : fa < 4 && ra <= fa && apart && (ra != fa || rb <= fb);
        EXPECT_EQ((*c.table)[a][b], valid ? next++ : NoKingPair) << a << " " << b;
      }
    EXPECT_EQ(next, c.pairs);
  }
}

// squareNumber and the pair offsets rebuilt here from their definitions.
TEST(TablebaseIndex, EnumerationTablesFollowTheirDefinition) {
  initOnce();
  auto mayStand = [](int kind, int s, int k) {
    int dr = (k >> 3) - (s >> 3), df = std::abs((k & 7) - (s & 7)), adr = std::abs(dr);
    bool contact[6] = {false, dr == 1 && df == 1, adr * df == 2, adr == 1 && df == 1, adr + df == 1,
                       adr <= 1 && df <= 1};
    return s != k && (kind > 1 || (s >= 8 && s < 56)) && !contact[kind];
  };
  for (int kind = 0; kind < TbKinds; ++kind)
    for (int k = 0; k < 64; ++k) {
      int next = 0;
      for (int s = 0; s < 64; ++s) ASSERT_EQ(squareNumber[kind][k][s], mayStand(kind, s, k) ? next++ : 255);
      ASSERT_EQ(squareCount[kind][k], next);
    }
  // One man, two of a kind, and a mixed three: block sizes n, n(n-1)/2, n1*n2*n3.
  for (int pawns = 0; pawns < 2; ++pawns) {
    const auto& kk = pawns ? kkPawns : kkPawnless;
    for (int k1 = 0; k1 < 64; ++k1)
      for (int k2 = 0; k2 < 64; ++k2) {
        int pair = kk[k1][k2];
        if (pair == NoKingPair) continue;
        auto n = [&](int kind) { return squareCount[kind][k2] - (squareNumber[kind][k2][k1] != 255); };
        int one = pawns ? 1 : 5;
        EXPECT_EQ(pairOffset[pawns][one][pair + 1] - pairOffset[pawns][one][pair], uint32_t(n(one)));
        EXPECT_EQ(pairOffset2[pawns][5][5][pair + 1] - pairOffset2[pawns][5][5][pair], uint32_t(n(5) * (n(5) - 1) / 2));
        EXPECT_EQ(pairOffset3[pawns][2][3][4][pair + 1] - pairOffset3[pawns][2][3][4][pair], uint32_t(n(2) * n(3) * n(4)));
      }
  }
}

namespace {

bool inNormalRegion(int k1, bool pawns) {
  return pawns ? (k1 & 7) < 4 : (k1 & 7) < 4 && (k1 >> 3) <= (k1 & 7);
}

// Every legal position of a class and side (the side to move's king only in
// the region the normal form uses when normalRegion is set), each with and
// without an en-passant square where a capture could follow.
template <typename Visit>
void forEachLegal(int cls, int side, bool normalRegion, Visit visit) {
  Men m = menOf(tbClasses[cls]);
  Pos p;
  p.side = side;
  auto withEp = [&](Pos& q) {
    q.ep = TbNoEp;
    if (legal(q, m)) visit(q, m);
    for (int i = 0; i < m.count[1 - side][0] && m.count[side][0]; ++i) {
      int v = q.list[1 - side][TbListPawn + i];
      if ((v >> 3) != (side == 0 ? 4 : 3)) continue;
      q.ep = side == 0 ? v + 8 : v - 8;
      if (legal(q, m)) visit(q, m);
      q.ep = TbNoEp;
    }
  };
  for (int k1 = 0; k1 < 64; ++k1) {
    if (normalRegion && !inNormalRegion(k1, m.pawns)) continue;
    for (int k2 = 0; k2 < 64; ++k2) {
      p.king(side) = uint8_t(k1);
      p.king(1 - side) = uint8_t(k2);
      placeMen(p, m, 0, 0, withEp);
    }
  }
}

// A random legal position; kings from `kings` when given. A third of the
// positions of classes with pawns on both sides get an en-passant square.
Pos randomLegal(Rng& rng, const Men& m, int side, const uint8_t* kings) {
  for (;;) {
    Pos p;
    p.side = side;
    for (int c = 0; c < 2; ++c) {
      p.king(c) = kings ? kings[c] : uint8_t(rng.below(64));
      for (int k = 0; k < 5; ++k)
        for (int i = 0; i < m.count[c][k]; ++i)
          p.list[c][ListFirst[k] + i] = uint8_t(k == 0 ? 8 + rng.below(48) : rng.below(64));
    }
    if (m.count[0][0] && m.count[1][0] && rng.below(3) == 0) {
      int file = rng.below(8), capturerFile = file + (rng.below(2) ? 1 : -1);
      if (capturerFile < 0 || capturerFile > 7) continue;
      int rank = side == 0 ? 4 : 3;
      p.list[1 - side][TbListPawn] = uint8_t(rank * 8 + file);
      p.list[side][TbListPawn] = uint8_t(rank * 8 + capturerFile);
      p.ep = (side == 0 ? rank + 1 : rank - 1) * 8 + file;
    }
    if (legal(p, m)) return p;
  }
}

// The class's men of each kind in another order.
Pos reordered(Pos p, const Men& m) {
  for (int c = 0; c < 2; ++c)
    for (int k = 0; k < 5; ++k) std::reverse(p.list[c] + ListFirst[k], p.list[c] + ListFirst[k] + m.count[c][k]);
  return p;
}

Pos colourSwapped(const Pos& p, const Men& m) {
  Pos q = transformed(p, m, 2);  // XOR 56
  std::swap(q.list[0], q.list[1]);
  q.side = 1 - p.side;
  return q;
}

std::vector<int> classesOfMen(int menMin, int menMax) {
  std::vector<int> out;
  for (int c = 1; c <= TbClassCount; ++c) {
    int men = int(std::strlen(tbClasses[c].name));
    if (men >= menMin && men <= menMax) out.push_back(c);
  }
  return out;
}

// Five- and six-men classes checked by default: every layout shape (mixed
// pieces, pawns numbered for the side to move and appended for the other,
// three of a kind, en-passant blocks, a one-file and a split class).
std::vector<int> sampledLargeClasses() {
  if (longTests()) return classesOfMen(5, 6);
  std::vector<int> out;
  for (const char* n : {"kqrkr", "krpkr", "kppkp", "kpppk", "kqqqk", "kbbkbn", "kppkpp", "kqpkqp", "kpppkq"})
    out.push_back(tbClassByName(n));
  return out;
}

}  // namespace

// Exhaustive over the normal region of the first king; the other twins are
// the concern of the random test below.
TEST(TablebaseIndex, ThreeAndFourMenNeverShareAnIndexWithoutBeingTwins) {
  initOnce();
  for (int cls : classesOfMen(3, 4))
    for (int side = 0; side < 2; ++side) {
      CollisionCheck check;
      check.dense.assign(tbClasses[cls].positions[side], NoKey);
      uint64_t range = tbClasses[cls].positions[side], seen = 0;
      forEachLegal(cls, side, true, [&](const Pos& p, const Men& m) {
        uint64_t index = indexOf(cls, p);
        ASSERT_LT(index, range) << tbClasses[cls].name << " side " << side;
        uint64_t key = encode(p, m);
        int k1 = p.list[side][TbListKing];
        if (!m.pawns && (k1 >> 3) == (k1 & 7)) key = std::min(key, encode(transformed(p, m, 4), m));
        check.add(index, key);
        ++seen;
      });
      EXPECT_EQ(check.failures, 0) << tbClasses[cls].name << " side " << side;
      EXPECT_GT(seen, range / 4) << tbClasses[cls].name;  // the range is not mostly waste
    }
}

// Twins: the board's symmetries, men of one kind exchanged, the colour swap
// through invert, and for one-file classes the other side's function. With
// both kings on one long diagonal the normal form keeps the two reflections
// in that diagonal apart, so there a twin may hold the mirrored index.
TEST(TablebaseIndex, TwinsShareAnIndex) {
  initOnce();
  std::vector<int> classes = classesOfMen(3, 4);
  for (int c : sampledLargeClasses()) classes.push_back(c);
  Rng rng{15};
  for (int cls : classes) {
    const TbClass& tc = tbClasses[cls];
    Men m = menOf(tc);
    for (int side = 0; side < 2; ++side)
      for (int n = 0; n < 3000; ++n) {
        Pos p = randomLegal(rng, m, side, nullptr);
        uint64_t index = indexOf(cls, p);
        ASSERT_LT(index, tc.positions[side]) << tc.name;
        uint64_t mirrored = index;
        int a = p.king(0), b = p.king(1);
        if (!m.pawns && (a >> 3) == (a & 7) && (b >> 3) == (b & 7)) mirrored = indexOf(cls, transformed(p, m, 4));
        if (!m.pawns && (a >> 3) == 7 - (a & 7) && (b >> 3) == 7 - (b & 7)) mirrored = indexOf(cls, transformed(p, m, 7));
        for (int sym = 0; sym < (m.pawns ? 2 : 8); ++sym) {
          uint64_t twin = indexOf(cls, reordered(transformed(p, m, sym), m));
          ASSERT_TRUE(twin == index || twin == mirrored) << tc.name << " side " << side << " sym " << sym;
        }
        Pos swapped = colourSwapped(p, m);
        ASSERT_EQ(tc.indexFn[side](swapped.list[1], swapped.list[0], swapped.ep, 1), index) << tc.name;
        if (tc.flags & TbOneFile) ASSERT_EQ(indexOf(cls, swapped), index) << tc.name;
      }
  }
}

// Dense samples around four king pairs per class, so that many samples meet
// on one index and a numbering fault shows as two classes of twins there.
TEST(TablebaseIndex, LargerClassesNeverShareAnIndexWithoutBeingTwins) {
  initOnce();
  Rng rng{440};
  for (int cls : sampledLargeClasses()) {
    const TbClass& tc = tbClasses[cls];
    Men m = menOf(tc);
    for (int side = 0; side < 2; ++side) {
      const uint8_t kingPairs[4][2] = {{2, 27}, {36, 18}, {uint8_t(rng.below(64)), 63}, {9, uint8_t(rng.below(48))}};
      CollisionCheck check;
      for (int n = 0; n < 100000; ++n) {
        const uint8_t* kings = kingPairs[n & 3];
        if (std::abs((kings[0] >> 3) - (kings[1] >> 3)) <= 1 && std::abs((kings[0] & 7) - (kings[1] & 7)) <= 1)
          kings = kingPairs[0];
        Pos p = randomLegal(rng, m, side, kings);
        uint64_t index = indexOf(cls, p);
        ASSERT_LT(index, tc.positions[side]) << tc.name;
        check.add(index, twinKey(p, m));
      }
      EXPECT_EQ(check.failures, 0) << tc.name << " side " << side;
    }
  }
}

namespace {

// The normal form of a pawnless class written out: quadrant, then the
// diagonal reflection unless the first king already stands in the triangle
// (on its diagonal with the second king on or below the diagonal).
struct PawnlessNormal {
  int mask;
  bool reflect;
  PawnlessNormal(int k1, int k2) {
    mask = ((k1 >> 3) < 4 ? 0 : 56) | ((k1 & 7) < 4 ? 0 : 7);
    int a = k1 ^ mask, b = k2 ^ mask;
    bool triangle = (a & 7) < 4 && (a >> 3) <= (a & 7);
    reflect = !(triangle && ((a >> 3) != (a & 7) || (b >> 3) <= (b & 7)));
  }
  int operator()(int sq) const {
    sq ^= mask;
    return reflect ? (sq & 7) * 8 + (sq >> 3) : sq;
  }
};

int lessOne(bool b) { return b ? 1 : 0; }

// The closed formulas of kqk, kqqk, kpk and kpkp.
uint64_t formula(const char* name, const Pos& p) {
  int wk = p.list[0][TbListKing], bk = p.list[1][TbListKing];
  if (!std::strcmp(name, "kqk") || !std::strcmp(name, "kqqk")) {
    PawnlessNormal t(p.side == 0 ? wk : bk, p.side == 0 ? bk : wk);
    wk = t(wk), bk = t(bk);
    int q = t(p.list[0][TbListQueen]);
    if (p.side == 1) return uint64_t(kkPawnless[bk][wk]) * 62 - lessOne(bk < q) - lessOne(wk < q) + q;
    int kk = kkPawnless[wk][bk];
    if (name[2] == 'k') return pairOffset[0][KindQueen][kk] + squareNumber[KindQueen][bk][q] - lessOne(wk < q);
    int q2 = t(p.list[0][TbListQueen + 1]), lo = std::min(q, q2), hi = std::max(q, q2);
    uint64_t a = squareNumber[KindQueen][bk][hi] - lessOne(wk < hi);
    uint64_t b = squareNumber[KindQueen][bk][lo] - lessOne(wk < lo);
    return pairOffset2[0][KindQueen][KindQueen][kk] + a * (a - 1) / 2 + b;
  }
  int first = p.side == 0 ? wk : bk, second = p.side == 0 ? bk : wk;
  int t = ((first & 7) < 4 ? 0 : 7) ^ (p.side == 0 ? 0 : 56);
  first ^= t, second ^= t;
  bool kpk = !std::strcmp(name, "kpk");
  int kind = kpk && p.side == 1 ? KindPawnNotToMove : KindPawnToMove;
  int pawn = p.list[kpk ? 0 : p.side][TbListPawn] ^ t;
  int kk = kkPawns[first][second];
  uint64_t n = squareNumber[kind][second][pawn] - lessOne(squareNumber[kind][second][first] != 255 && first < pawn);
  if (kpk) return pairOffset[1][kind][kk] + n;
  uint64_t total = pairOffset[1][KindPawnToMove][KingPairsPawns];
  int q = p.list[1 - p.side][TbListPawn] ^ t;
  if (p.ep != TbNoEp) {
    int ep = p.ep ^ t, c = pawn + 7 == ep ? (pawn & 7) - 1 : (pawn & 7) + 7;
    return total * 47 + uint64_t(kk) * 14 + c;
  }
  return (pairOffset[1][KindPawnToMove][kk] + n) * 47 + (q - 8 - lessOne(pawn < q));
}

}  // namespace

TEST(TablebaseIndex, SimplestClassesFollowTheirFormulas) {
  initOnce();
  struct Case { const char* name; int side; bool exhaustive; } cases[] = {
      {"kqk", 0, true}, {"kqk", 1, true}, {"kpk", 0, true}, {"kpk", 1, true},
      {"kqqk", 0, false}, {"kpkp", 0, false}, {"kpkp", 1, false}};
  Rng rng{6};
  for (auto& c : cases) {
    int cls = tbClassByName(c.name);
    Men m = menOf(tbClasses[cls]);
    auto expectFormula = [&](const Pos& p, const Men&) {
      ASSERT_EQ(indexOf(cls, p), formula(c.name, p)) << c.name << " side " << c.side << " ep " << p.ep;
    };
    if (c.exhaustive) {
      forEachLegal(cls, c.side, false, expectFormula);
      continue;
    }
    for (int n = 0; n < 200000; ++n) expectFormula(randomLegal(rng, m, c.side, nullptr), m);
  }
  // kpkp's en-passant block follows all other positions: N * 47 + 1806 * 14.
  int kpkp = tbClassByName("kpkp");
  EXPECT_EQ(tbClasses[kpkp].positions[0], uint64_t(pairOffset[1][KindPawnToMove][KingPairsPawns]) * 47 + 1806 * 14);
  EXPECT_EQ(tbClasses[tbClassByName("kqk")].positions[1], 462u * 62);
}

TEST(TablebaseIndex, ImpossiblePlacementsGiveNoIndex) {
  initOnce();
  struct Case { const char* name; int side; uint8_t wk, bk, man; } cases[] = {
      {"kqk", 0, 0, 1, 20},    // kings side by side
      {"kqk", 0, 0, 0, 20},    // kings on one square
      {"kqk", 0, 0, 20, 21},   // the queen of the side to move touches the other king
      {"kqk", 1, 0, 20, 0},    // queen on a king's square
      {"knk", 0, 0, 20, 10},   // knight of the side to move giving check
      {"kpk", 0, 0, 20, 60},   // pawn on the last rank
      {"kpk", 1, 0, 20, 3},    // pawn on the first rank
      {"kpk", 0, 0, 28, 19},   // pawn of the side to move giving check
  };
  for (auto& c : cases) {
    Pos p;
    p.side = c.side;
    p.king(0) = c.wk, p.king(1) = c.bk;
    p.list[0][c.name[1] == 'q' ? TbListQueen : c.name[1] == 'n' ? TbListKnight : TbListPawn] = c.man;
    EXPECT_EQ(indexOf(tbClassByName(c.name), p), TbNoIndex) << c.name << " " << int(c.man);
  }
}

TEST(TablebaseClasses, NamesFlagsAndRangesOfTheClassTable) {
  initOnce();
  initTbClasses();  // a second call changes nothing
  int flagged[3] = {}, menCount[7] = {};
  for (int c = 1; c <= TbClassCount; ++c) {
    const TbClass& tc = tbClasses[c];
    EXPECT_EQ(tc.index, uint32_t(c));
    EXPECT_EQ(tbClassByName(tc.name), c);
    menCount[std::strlen(tc.name)] += 1;
    for (int bit = 0; bit < 3; ++bit) flagged[bit] += (tc.flags >> bit) & 1;
    if (tc.flags & TbOneFile) EXPECT_EQ(tc.positions[0], tc.positions[1]) << tc.name;
    // A split class fits the registry's 18 parts of 2^31 bytes.
    for (int side = 0; side < 2; ++side)
      if (tc.flags & TbSplit) EXPECT_LE(((tc.positions[side] << (tc.flags & TbTwoBytes ? 1 : 0)) >> 31) + 1, 18u) << tc.name;
  }
  EXPECT_EQ(menCount[3] + menCount[4] + menCount[5] + menCount[6], TbClassCount);
  EXPECT_EQ(menCount[3], 5);
  EXPECT_EQ(menCount[4], 30);
  EXPECT_EQ(menCount[5], 110);
  EXPECT_EQ(flagged[0], 19);
  EXPECT_EQ(flagged[1], 64);
  EXPECT_EQ(flagged[2], 153);
  for (const char* bad : {"", "kk", "kqkqk", "kqk ", "kqqqqk", "kkq"}) EXPECT_EQ(tbClassByName(bad), 0) << bad;
  EXPECT_EQ(tbClassByName(nullptr), 0);
  EXPECT_STREQ(tbClasses[1].name, "kpk");
  EXPECT_STREQ(tbClasses[440].name, "kqqpkq");
}
