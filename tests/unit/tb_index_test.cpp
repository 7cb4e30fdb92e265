// Index functions of the endgame tables: every legal position lands in its
// class's range, twins share an index, other positions never do, the way
// back from an index gives a twin, and the simplest classes follow their
// closed formulas. Three and four men are swept exhaustively, larger
// classes sampled densely (a set of classes by default, all of them and all
// four-man classes with BRAXEN_LONG_TESTS=1).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "movegen_support.h"
#include "tablebase/tbclasses.h"
#include "tablebase/tbindex.h"

namespace {

using movegentest::Rng;
constexpr int ListFirst[5] = {TbListPawn, TbListKnight, TbListBishop, TbListRook, TbListQueen};
constexpr uint64_t NoKey = ~0ull;
const bool longRun = std::getenv("BRAXEN_LONG_TESTS") && *std::getenv("BRAXEN_LONG_TESTS") == '1';

// The men of a class, [colour][pawn..queen].
struct Men {
  int count[2][5] = {};
  bool pawns = false;
  explicit Men(int cls) {
    int side = -1;
    for (const char* p = tbClasses[cls].name; *p; ++p)
      *p == 'k' ? ++side : ++count[side][std::strchr("pnbrq", *p) - "pnbrq"];
    pawns = count[0][0] + count[1][0] > 0;
  }
};

// A position as the index functions take it: lists [White, Black].
struct Pos {
  uint8_t list[2][16] = {};
  int side = 0;
  int ep = TbNoEp;
  uint8_t& king(int c) { return list[c][TbListKing]; }
  uint8_t& man(int c, int kind, int i) { return list[c][ListFirst[kind] + i]; }
};

uint64_t indexOf(int cls, const Pos& p) {
  return tbClasses[cls].indexFn[p.side](p.list[0], p.list[1], p.ep, 0);
}

bool positionOf(int cls, int side, uint64_t index, Pos* p) {
  p->side = side;
  return tbClassPosition(cls, side, index, p->list[0], p->list[1], &p->ep);
}

bool near(int a, int b, int reach) {
  return std::abs((a >> 3) - (b >> 3)) <= reach && std::abs((a & 7) - (b & 7)) <= reach;
}

// Is square sq attacked by colour `by` on board[64] (colour * 8 + type, -1
// empty) from one of the squares men[0..count)?
bool attacked(const int8_t* board, const uint8_t* men, int count, int sq, int by) {
  for (int i = 0; i < count; ++i) {
    int from = men[i], v = board[from], dr = (sq >> 3) - (from >> 3), df = (sq & 7) - (from & 7);
    if (v < 0 || v / 8 != by) continue;
    int type = v % 8, adr = std::abs(dr), adf = std::abs(df);
    if (type == 1 && dr == (by ? -1 : 1) && adf == 1) return true;
    if ((type == 2 && adr * adf == 2) || (type == 6 && adr <= 1 && adf <= 1)) return true;
    bool line = ((type == 3 || type == 5) && adr == adf && adr) || ((type == 4 || type == 5) && !dr != !df);
    if (!line) continue;
    int step = (dr > 0 ? 8 : dr < 0 ? -8 : 0) + (df > 0 ? 1 : df < 0 ? -1 : 0), s = from + step;
    while (s != sq && board[s] < 0) s += step;
    if (s == sq) return true;
  }
  return false;
}

// Men on distinct squares, pawns on ranks 2..7, kings apart, the side not
// to move not in check, en passant only right after a double step that a
// pawn of the side to move could take.
bool legal(const Pos& p, const Men& m) {
  int8_t board[64];
  uint8_t men[8];
  int count = 0;
  std::memset(board, -1, sizeof board);
  for (int c = 0; c < 2; ++c)
    for (int k = 0; k < 6; ++k)
      for (int i = 0; i < (k < 5 ? m.count[c][k] : 1); ++i) {
        int s = k < 5 ? p.list[c][ListFirst[k] + i] : p.list[c][TbListKing];
        if (board[s] >= 0 || (k == 0 && (s < 8 || s > 55))) return false;
        board[s] = int8_t(c * 8 + k + 1);
        men[count++] = uint8_t(s);
      }
  if (near(p.list[0][TbListKing], p.list[1][TbListKing], 1)) return false;
  if (attacked(board, men, count, p.list[1 - p.side][TbListKing], p.side)) return false;
  if (p.ep == TbNoEp) return true;
  int up = p.side == 0 ? 8 : -8, e = p.ep, pawn = p.side * 8 + 1;
  if ((e >> 3) != (p.side == 0 ? 5 : 2) || board[e] >= 0 || board[e + up] >= 0 ||
      board[e - up] != (1 - p.side) * 8 + 1)
    return false;
  return ((e & 7) > 0 && board[e - up - 1] == pawn) || ((e & 7) < 7 && board[e - up + 1] == pawn);
}

// Symmetries 0..7: XOR with 0, 7, 56 or 63, then (4..7) the reflection in
// the a1-h8 diagonal. Classes with pawns keep 0 and 1 only.
Pos transformed(const Pos& p, const Men& m, int sym) {
  auto map = [sym](int sq) {
    sq ^= (sym & 1 ? 7 : 0) ^ (sym & 2 ? 56 : 0);
    return sym & 4 ? (sq & 7) * 8 + (sq >> 3) : sq;
  };
  Pos q = p;
  for (int c = 0; c < 2; ++c) {
    for (int k = 0; k < 5; ++k)
      for (int i = 0; i < m.count[c][k]; ++i) q.man(c, k, i) = uint8_t(map(p.list[c][ListFirst[k] + i]));
    q.king(c) = uint8_t(map(p.list[c][TbListKing]));
  }
  if (p.ep != TbNoEp) q.ep = map(p.ep);
  return q;
}

// Kings, each kind's squares in order, the en-passant square.
uint64_t encode(const Pos& p, const Men& m) {
  uint64_t key = uint64_t(p.list[0][TbListKing]) << 6 | p.list[1][TbListKing];
  for (int c = 0; c < 2; ++c)
    for (int k = 0; k < 5; ++k) {
      int sq[3], n = m.count[c][k];
      for (int i = 0; i < n; ++i)
        for (int j = i, s = p.list[c][ListFirst[k] + i]; j >= 0; --j)
          if (j == 0 || sq[j - 1] < s) {
            sq[j] = s;
            break;
          } else {
            sq[j] = sq[j - 1];
          }
      for (int i = 0; i < n; ++i) key = key << 6 | uint64_t(sq[i]);
    }
  return key << 7 | uint64_t(p.ep);
}

// One key for all twins: the least encoding over the symmetries.
uint64_t twinKey(const Pos& p, const Men& m) {
  uint64_t best = NoKey;
  for (int sym = 0; sym < (m.pawns ? 2 : 8); ++sym) best = std::min(best, encode(transformed(p, m, sym), m));
  return best;
}

// Which twin class owns each index; a second class on one index fails.
struct CollisionCheck {
  std::unordered_map<uint64_t, uint64_t> sparse;
  std::vector<uint64_t> dense;
  int failures = 0;
  void add(uint64_t index, uint64_t key) {
    uint64_t& owner = dense.empty() ? sparse.try_emplace(index, key).first->second : dense[index];
    if (owner == NoKey) owner = key;
    if (owner != key && ++failures <= 5)
      ADD_FAILURE() << "index " << index << " shared by keys " << owner << " and " << key;
  }
};

// Places men `slot` onwards on every square (men of one kind in rising
// order), then visits the placement with and, where legal, with an
// en-passant square behind each pawn that may just have made a double step.
template <typename Visit>
void placeMen(Pos& p, const Men& m, int slot, int from, Visit& visit) {
  for (int c = 0, n = 0; c < 2; ++c)
    for (int k = 0; k < 5; ++k)
      for (int i = 0; i < m.count[c][k]; ++i, ++n) {
        if (n != slot) continue;
        for (int s = std::max(from, k == 0 ? 8 : 0); s < (k == 0 ? 56 : 64); ++s) {
          p.man(c, k, i) = uint8_t(s);
          placeMen(p, m, slot + 1, i + 1 < m.count[c][k] ? s + 1 : 0, visit);
        }
        return;
      }
  p.ep = TbNoEp;
  visit(p);
  for (int i = 0; i < m.count[1 - p.side][0] && m.count[p.side][0]; ++i) {
    int v = p.man(1 - p.side, 0, i);
    p.ep = p.side == 0 ? v + 8 : v - 8;
    if ((v >> 3) == (p.side == 0 ? 4 : 3) && legal(p, m)) visit(p);
  }
  p.ep = TbNoEp;
}

// All placements for one side to move; the side to move's king only where
// the normal form puts it (the a1-d1-d4 triangle, with pawns files a..d)
// when normalRegion is set.
template <typename Visit>
void forEachPlacement(int cls, int side, bool normalRegion, Visit visit) {
  Men m(cls);
  Pos p;
  p.side = side;
  for (int k1 = 0; k1 < 64; ++k1) {
    if (normalRegion && ((k1 & 7) > 3 || (!m.pawns && (k1 >> 3) > (k1 & 7)))) continue;
    for (int k2 = 0; k2 < 64; ++k2) {
      p.king(side) = uint8_t(k1), p.king(1 - side) = uint8_t(k2);
      placeMen(p, m, 0, 0, visit);
    }
  }
}

// A random legal position, kings from `kings` when given; a third of the
// positions of classes with pawns on both sides offer an en-passant capture.
Pos randomLegal(Rng& rng, const Men& m, int side, const uint8_t* kings) {
  for (;;) {
    Pos p;
    p.side = side;
    for (int c = 0; c < 2; ++c) {
      p.king(c) = kings ? kings[c] : uint8_t(rng.below(64));
      for (int k = 0; k < 5; ++k)
        for (int i = 0; i < m.count[c][k]; ++i)
          p.man(c, k, i) = uint8_t(k == 0 ? 8 + rng.below(48) : rng.below(64));
    }
    if (m.count[0][0] && m.count[1][0] && rng.below(3) == 0) {
      int file = rng.below(8), rank = side == 0 ? 4 : 3;
      p.man(1 - side, 0, 0) = uint8_t(rank * 8 + file);
      p.man(side, 0, 0) = uint8_t(rank * 8 + std::clamp(file + (rng.below(2) ? 1 : -1), 0, 7));
      p.ep = (side == 0 ? rank + 1 : rank - 1) * 8 + file;
    }
    if (legal(p, m)) return p;
  }
}

std::vector<int> classesOf(int menMin, int menMax, std::vector<const char*> names) {
  std::vector<int> out;
  for (int c = 1; c <= TbClassCount; ++c)
    if (std::strlen(tbClasses[c].name) >= size_t(menMin) && std::strlen(tbClasses[c].name) <= size_t(menMax))
      out.push_back(c);
  for (const char* n : names) out.push_back(tbClassByName(n));
  return out;
}

}  // namespace

// Which pairs are valid shows in the sweeps (no legal position is left
// without an index); here the count and the order of the numbering.
TEST(TablebaseIndex, KingPairsAreNumberedInOrder) {
  for (auto [table, pairs] : {std::pair{&kkPawnless, 462}, std::pair{&kkPawns, 1806}}) {
    int next = 0;
    for (int a = 0; a < 64; ++a)
      for (int b = 0; b < 64; ++b)
        if ((*table)[a][b] != NoKingPair) ASSERT_EQ((*table)[a][b], next++) << a << " " << b;
    EXPECT_EQ(next, pairs);
  }
}

// squareNumber from its definition, and the block sizes of one man, two of
// a kind and three of mixed kinds in the pair-offset sets.
TEST(TablebaseIndex, EnumerationTablesFollowTheirDefinition) {
  initTbClasses();
  for (int kind = 0; kind < TbKinds; ++kind)
    for (int k = 0, next = 0; k < 64; ++k, next = 0) {
      for (int s = 0; s < 64; ++s) {
        int dr = (k >> 3) - (s >> 3), df = std::abs((k & 7) - (s & 7)), adr = std::abs(dr);
        bool contact[6] = {false,         dr == 1 && df == 1, adr * df == 2, adr == 1 && df == 1,
                           adr + df == 1, near(s, k, 1)};
        bool allowed = s != k && (kind > 1 || (s >= 8 && s < 56)) && !contact[kind];
        ASSERT_EQ(squareNumber[kind][k][s], allowed ? next++ : 255) << kind << " " << k << " " << s;
      }
      ASSERT_EQ(squareCount[kind][k], next);
    }
  for (int pawns = 0; pawns < 2; ++pawns)
    for (int k1 = 0; k1 < 64; ++k1)
      for (int k2 = 0; k2 < 64; ++k2) {
        int kk = (pawns ? kkPawns : kkPawnless)[k1][k2], one = pawns ? 1 : 5;
        if (kk == NoKingPair) continue;
        auto n = [&](int kind) {
          return uint32_t(squareCount[kind][k2] - (squareNumber[kind][k2][k1] != 255));
        };
        EXPECT_EQ(pairOffset[pawns][one][kk + 1] - pairOffset[pawns][one][kk], n(one));
        EXPECT_EQ(pairOffset2[pawns][5][5][kk + 1] - pairOffset2[pawns][5][5][kk], n(5) * (n(5) - 1) / 2);
        EXPECT_EQ(pairOffset3[pawns][2][3][4][kk + 1] - pairOffset3[pawns][2][3][4][kk], n(2) * n(3) * n(4));
      }
}

// Every placement with the first king in the normal region: an index in
// range for all but illegal ones, never shared but by twins (the two
// reflections in the diagonal when the first king stands on it), and the
// way back finds exactly the indices used.
TEST(TablebaseIndex, ThreeAndFourMenNeverShareAnIndexWithoutBeingTwins) {
  initTbClasses();
  for (int cls :
       classesOf(3, longRun ? 4 : 3,
                 longRun ? std::vector<const char*>{}
                         : std::vector<const char*>{"kqqk", "kqkr", "kbnk", "kpkp", "kppk", "knkp"}))
    for (int side = 0; side < 2; ++side) {
      Men m(cls);
      uint64_t range = tbClasses[cls].positions[side], numbered = 0;
      CollisionCheck check;
      check.dense.assign(range, NoKey);
      forEachPlacement(cls, side, true, [&](const Pos& p) {
        uint64_t index = indexOf(cls, p);
        if (index == TbNoIndex) {
          EXPECT_FALSE(legal(p, m)) << tbClasses[cls].name;
          return;
        }
        ASSERT_LT(index, range) << tbClasses[cls].name;
        int k1 = p.list[side][TbListKing];
        uint64_t key = encode(p, m);
        if (!m.pawns && (k1 >> 3) == (k1 & 7)) key = std::min(key, encode(transformed(p, m, 4), m));
        check.add(index, key);
        ++numbered;
      });
      EXPECT_EQ(check.failures, 0) << tbClasses[cls].name << " side " << side;
      EXPECT_GT(numbered, range / 2) << tbClasses[cls].name;  // the range is mostly used
      for (uint64_t i = 0; i < range; ++i) {
        Pos p;
        bool found = positionOf(cls, side, i, &p), used = check.dense[i] != NoKey;
        ASSERT_TRUE(found ? used || (p.ep != TbNoEp && !legal(p, m)) : !used)
            << tbClasses[cls].name << " " << i;
      }
    }
}

// Random legal positions, dense around four king pairs for the larger
// classes so that many meet on one index: twins (symmetries, men of a kind
// exchanged, the colour swap through invert, one-file classes through the
// other side's function) share the index, other positions never do, and
// the way back gives a twin. With both kings on one long diagonal the
// reflection in it may keep its own index.
TEST(TablebaseIndex, RandomPositionsKeepTheirTwinsAndOnlyThem) {
  initTbClasses();
  Rng rng(440);
  std::vector<const char*> sample = {"kqrkr",  "krpkr",  "kppkp",  "kpppk",  "kqqqk",
                                     "krbnkq", "kbbkbn", "kppkpp", "kqpkqp", "kpppkq"};
  std::vector<int> classes = classesOf(3, longRun ? 6 : 4, longRun ? std::vector<const char*>{} : sample);
  for (int cls : classes) {
    const TbClass& tc = tbClasses[cls];
    Men m(cls);
    bool dense = std::strlen(tc.name) > 4;
    for (int side = 0; side < 2; ++side) {
      const uint8_t kings[4][2] = {
          {2, 27}, {36, 18}, {uint8_t(rng.below(48)), 63}, {9, uint8_t(rng.below(48))}};
      CollisionCheck check;
      for (int n = 0; n < (dense ? 100000 : 3000); ++n) {
        const uint8_t* pair = dense && !near(kings[n & 3][0], kings[n & 3][1], 1) ? kings[n & 3] : nullptr;
        Pos p = randomLegal(rng, m, side, pair), back;
        uint64_t index = indexOf(cls, p), key = twinKey(p, m), mirrored = index;
        ASSERT_LT(index, tc.positions[side]) << tc.name;
        check.add(index, key);
        ASSERT_TRUE(positionOf(cls, side, index, &back) && twinKey(back, m) == key)
            << tc.name << " " << index;
        int a = p.king(0), b = p.king(1);
        if (!m.pawns && (a >> 3) == (a & 7) && (b >> 3) == (b & 7))
          mirrored = indexOf(cls, transformed(p, m, 4));
        if (!m.pawns && (a >> 3) == 7 - (a & 7) && (b >> 3) == 7 - (b & 7))
          mirrored = indexOf(cls, transformed(p, m, 7));
        for (int sym = 0; sym < (m.pawns ? 2 : 8); ++sym) {
          Pos twin = transformed(p, m, sym);
          for (int c = 0; c < 2; ++c)
            for (int k = 0; k < 5; ++k)
              std::reverse(twin.list[c] + ListFirst[k], twin.list[c] + ListFirst[k] + m.count[c][k]);
          uint64_t t = indexOf(cls, twin);
          ASSERT_TRUE(t == index || t == mirrored) << tc.name << " side " << side << " symmetry " << sym;
        }
        // The colour-swapped position as the probe hands it over: flipped, its
        // Black men (our White's) first, invert set.
        Pos swapped = transformed(p, m, 2);
        ASSERT_EQ(tc.indexFn[side](swapped.list[0], swapped.list[1], swapped.ep, 1), index) << tc.name;
        if (tc.flags & TbOneFile)
          ASSERT_EQ(tc.indexFn[1 - side](swapped.list[1], swapped.list[0], swapped.ep, 0), index);
      }
      EXPECT_EQ(check.failures, 0) << tc.name << " side " << side;
    }
  }
}

namespace {

int lessOne(bool b) { return b ? 1 : 0; }

// The closed formulas of kqk, kqqk, kpk and kpkp (queen/pawn lists of the
// side that owns them), with the normal forms written out.
uint64_t formula(const char* name, const Pos& p) {
  int wk = p.list[0][TbListKing], bk = p.list[1][TbListKing];
  if (name[1] == 'q') {
    int k1 = p.side ? bk : wk, mask = ((k1 >> 3) < 4 ? 0 : 56) | ((k1 & 7) < 4 ? 0 : 7);
    int a = k1 ^ mask, b = (p.side ? wk : bk) ^ mask;
    bool reflect = !((a & 7) < 4 && (a >> 3) <= (a & 7) && ((a >> 3) != (a & 7) || (b >> 3) <= (b & 7)));
    auto t = [&](int sq) { return reflect ? ((sq ^ mask) & 7) * 8 + ((sq ^ mask) >> 3) : sq ^ mask; };
    wk = t(wk), bk = t(bk);
    int q = t(p.list[0][TbListQueen]), q2 = t(p.list[0][TbListQueen + 1]);
    if (p.side == 1) return uint64_t(kkPawnless[bk][wk]) * 62 - lessOne(bk < q) - lessOne(wk < q) + q;
    if (name[2] == 'k')
      return pairOffset[0][KindQueen][kkPawnless[wk][bk]] + squareNumber[KindQueen][bk][q] - lessOne(wk < q);
    int lo = std::min(q, q2), hi = std::max(q, q2);
    uint64_t x = squareNumber[KindQueen][bk][hi] - lessOne(wk < hi),
             y = squareNumber[KindQueen][bk][lo] - lessOne(wk < lo);
    return pairOffset2[0][KindQueen][KindQueen][kkPawnless[wk][bk]] + x * (x - 1) / 2 + y;
  }
  bool kpk = name[3] == 0;
  int t = ((p.side ? bk : wk) & 7) < 4 ? 0 : 7, flip = p.side ? 56 : 0;
  int first = (p.side ? bk : wk) ^ t ^ flip, second = (p.side ? wk : bk) ^ t ^ flip;
  int kind = kpk && p.side ? KindPawnNotToMove : KindPawnToMove, kk = kkPawns[first][second];
  int pawn = p.list[kpk ? 0 : p.side][TbListPawn] ^ t ^ flip, q = p.list[1 - p.side][TbListPawn] ^ t ^ flip;
  uint64_t n =
      squareNumber[kind][second][pawn] - lessOne(squareNumber[kind][second][first] != 255 && first < pawn);
  if (kpk) return pairOffset[1][kind][kk] + n;
  if (p.ep != TbNoEp) {
    int ep = p.ep ^ t ^ flip, c = pawn + 7 == ep ? (pawn & 7) - 1 : (pawn & 7) + 7;
    return uint64_t(pairOffset[1][KindPawnToMove][KingPairsPawns]) * 47 + uint64_t(kk) * 14 + c;
  }
  return (pairOffset[1][KindPawnToMove][kk] + n) * 47 + (q - 8 - lessOne(pawn < q));
}

}  // namespace

TEST(TablebaseIndex, SimplestClassesFollowTheirFormulas) {
  initTbClasses();
  struct Case {
    const char* name;
    int side;
    bool exhaustive;
  } cases[] = {{"kqk", 0, true},   {"kqk", 1, true},   {"kpk", 0, true},  {"kpk", 1, true},
               {"kqqk", 0, false}, {"kpkp", 0, false}, {"kpkp", 1, false}};
  Rng rng(6);
  for (auto& c : cases) {
    int cls = tbClassByName(c.name);
    Men m(cls);
    auto expectFormula = [&](const Pos& p) {
      if (legal(p, m))
        ASSERT_EQ(indexOf(cls, p), formula(c.name, p)) << c.name << " side " << c.side << " ep " << p.ep;
    };
    if (c.exhaustive) forEachPlacement(cls, c.side, false, expectFormula);
    for (int n = 0; n < (c.exhaustive ? 0 : 200000); ++n) expectFormula(randomLegal(rng, m, c.side, nullptr));
  }
  EXPECT_EQ(tbClasses[tbClassByName("kqk")].positions[1], 462u * 62);
  EXPECT_EQ(tbClasses[tbClassByName("kpkp")].positions[0], uint64_t(pairOffset[1][1][1806]) * 47 + 1806 * 14);
}

// Squares off the board and men on one square never reach a table.
TEST(TablebaseIndex, ImpossibleInputGivesNoIndex) {
  initTbClasses();
  struct Case {
    const char* name;
    int side;
    uint8_t wk, bk, man, list;
  } cases[] = {{"kqk", 0, 0, 200, 20, TbListQueen}, {"kqk", 1, 64, 20, 9, TbListQueen},
               {"kqk", 1, 0, 20, 99, TbListQueen},  {"kpk", 0, 0, 20, 200, TbListPawn},
               {"kqk", 1, 0, 20, 0, TbListQueen},   {"kpk", 1, 0, 20, 60, TbListPawn}};
  for (auto& c : cases) {
    Pos p;
    p.side = c.side, p.king(0) = c.wk, p.king(1) = c.bk, p.list[0][c.list] = c.man;
    EXPECT_EQ(indexOf(tbClassByName(c.name), p), TbNoIndex) << c.name << " " << int(c.man);
  }
}

TEST(TablebaseClasses, NamesFlagsAndRangesOfTheClassTable) {
  initTbClasses();
  initTbClasses();  // a second call changes nothing
  int flagged[3] = {}, menCount[7] = {};
  for (int c = 1; c <= TbClassCount; ++c) {
    const TbClass& tc = tbClasses[c];
    EXPECT_EQ(tc.index, uint32_t(c));
    EXPECT_EQ(tbClassByName(tc.name), c);
    menCount[std::strlen(tc.name)] += 1;
    for (int bit = 0; bit < 3; ++bit) flagged[bit] += (tc.flags >> bit) & 1;
    if (tc.flags & TbOneFile) EXPECT_EQ(tc.positions[0], tc.positions[1]) << tc.name;
    for (int side = 0; side < 2; ++side)  // a split class fits the registry's 18 parts
      if (tc.flags & TbSplit)
        EXPECT_LE(((tc.positions[side] << (tc.flags & TbTwoBytes ? 1 : 0)) >> 31) + 1, 18u) << tc.name;
  }
  const int expected[2][4] = {{5, 30, 110, 295}, {19, 64, 153, 0}};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(menCount[3 + i], expected[0][i]);
  for (int bit = 0; bit < 3; ++bit) EXPECT_EQ(flagged[bit], expected[1][bit]);
  for (const char* bad : {"", "kk", "kqkqk", "kqk ", "kkq"}) EXPECT_EQ(tbClassByName(bad), 0) << bad;
  EXPECT_EQ(tbClassByName(nullptr), 0);
  EXPECT_STREQ(tbClasses[440].name, "kqqpkq");
}
