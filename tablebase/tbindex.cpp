// Position indexing of the endgame tables. Every index function brings the
// position into normal form by a board symmetry, numbers the king pair, and
// then adds the men: those of the side to move (or, when it has none, the
// other side's pawns) through the enumeration tables relative to the king
// pair, the remaining men as plain factors over the squares still free.
#include "tablebase/tbindex.h"

#include <algorithm>
#include <cstring>

namespace {

template <typename Rule>
constexpr ConstTable<uint8_t, 64> squareTable(Rule rule) {
  ConstTable<uint8_t, 64> t{};
  for (int sq = 0; sq < 64; ++sq) t.v[sq] = static_cast<uint8_t>(rule(sq >> 3, sq & 7));
  return t;
}

constexpr bool kingsApart(int a, int b) {
  int dr = (a >> 3) - (b >> 3), df = (a & 7) - (b & 7);
  return a != b && (dr > 1 || dr < -1 || df > 1 || df < -1);
}

constexpr bool triangleSquare(int sq) { return (sq & 7) < 4 && (sq >> 3) <= (sq & 7); }

// Pawnless pairs: the first king in the a1-d1-d4 triangle; on the diagonal
// the second king on or below it.
constexpr bool pawnlessPair(int k1, int k2) {
  if (!triangleSquare(k1) || !kingsApart(k1, k2)) return false;
  return (k1 >> 3) != (k1 & 7) || (k2 >> 3) <= (k2 & 7);
}

// Pairs with pawns: the first king on files a..d.
constexpr bool pawnPair(int k1, int k2) { return (k1 & 7) < 4 && kingsApart(k1, k2); }

template <typename Allowed>
constexpr ConstTable<int16_t[64], 64> numberPairs(Allowed allowed) {
  ConstTable<int16_t[64], 64> t{};
  int16_t next = 0;
  for (int k1 = 0; k1 < 64; ++k1)
    for (int k2 = 0; k2 < 64; ++k2) t.v[k1][k2] = allowed(k1, k2) ? next++ : NoKingPair;
  return t;
}

}  // namespace

const ConstTable<uint8_t, 64> quadrantMask =
    squareTable([](int r, int f) { return (r < 4 ? 0 : 56) | (f < 4 ? 0 : 7); });
const ConstTable<uint8_t, 64> fileMirrorMask = squareTable([](int, int f) { return f < 4 ? 0 : 7; });
const ConstTable<uint8_t, 64> diagonalReflect = squareTable([](int r, int f) { return f * 8 + r; });
const ConstTable<uint8_t, 64> inTriangle = squareTable([](int r, int f) { return f < 4 && r <= f; });
const ConstTable<uint8_t, 64> offDiagonal = squareTable([](int r, int f) { return r != f; });
const ConstTable<uint8_t, 64> onOrBelowDiagonal = squareTable([](int r, int f) { return r <= f; });

const ConstTable<int16_t[64], 64> kkPawnless = numberPairs(pawnlessPair);
const ConstTable<int16_t[64], 64> kkPawns = numberPairs(pawnPair);

uint8_t squareNumber[TbKinds][64][64];
uint8_t squareCount[TbKinds][64];
uint8_t squareOfNumber[TbKinds][64][64];
uint8_t kingPairSquares[2][KingPairsPawns][2];
uint32_t pairOffset[2][TbKinds][TbPairSlots];
uint32_t pairOffset2[2][TbKinds][TbKinds][TbPairSlots];
uint32_t pairOffset3[2][TbKinds][TbKinds][TbKinds][TbPairSlots];

namespace {

// binomial[n][k] for n up to 64 and k up to 3.
constexpr auto binomial = [] {
  ConstTable<uint64_t[4], 65> t{};
  for (int n = 0; n <= 64; ++n) {
    t.v[n][0] = 1;
    t.v[n][1] = n;
    t.v[n][2] = uint64_t(n) * (n - 1) / 2;
    t.v[n][3] = n < 3 ? 0 : uint64_t(n) * (n - 1) * (n - 2) / 6;
  }
  return t;
}();

// A man of the side to move on s that would attack the other king on k from
// a neighbouring square (or a knight's jump) leaves no legal position.
bool givesContactCheck(int kind, int s, int k) {
  int dr = (k >> 3) - (s >> 3), df = (k & 7) - (s & 7);
  int adr = dr < 0 ? -dr : dr, adf = df < 0 ? -df : df;
  switch (kind) {
    case KindPawnToMove:
      return dr == 1 && adf == 1;
    case KindKnight:
      return adr * adf == 2;
    case KindBishop:
      return adr == 1 && adf == 1;
    case KindRook:
      return adr + adf == 1;
    case KindQueen:
      return adr <= 1 && adf <= 1;
    default:
      return false;
  }
}

bool mayStand(int kind, int s, int k) {
  if (s == k) return false;
  if (kind <= KindPawnToMove && (s < 8 || s > 55)) return false;
  return !givesContactCheck(kind, s, k);
}

// Number of the men of the given kinds of the side to move beside the king
// pair (k1, k2): one combination per distinct kind, multiplied together.
// The first king's square is free for the men only where they may stand.
uint64_t blockSize(const int* kinds, int count, int k1, int k2) {
  uint64_t size = 1;
  for (int i = 0; i < count;) {
    int kind = kinds[i], same = 0;
    while (i < count && kinds[i] == kind) ++i, ++same;
    int n = squareCount[kind][k2] - (squareNumber[kind][k2][k1] != 255);
    size *= binomial[n][same];
  }
  return size;
}

void accumulateOffsets(uint32_t* offsets, int withPawns, const int* kinds, int count) {
  const auto& pairs = withPawns ? kkPawns : kkPawnless;
  uint64_t total = 0;
  for (int k1 = 0; k1 < 64; ++k1)
    for (int k2 = 0; k2 < 64; ++k2) {
      int kk = pairs[k1][k2];
      if (kk == NoKingPair) continue;
      offsets[kk] = static_cast<uint32_t>(total);
      total += blockSize(kinds, count, k1, k2);
    }
  offsets[withPawns ? KingPairsPawns : KingPairsPawnless] = static_cast<uint32_t>(total);
}

void buildSquareNumbers() {
  for (int kind = 0; kind < TbKinds; ++kind)
    for (int k = 0; k < 64; ++k) {
      int next = 0;
      for (int s = 0; s < 64; ++s) {
        squareNumber[kind][k][s] = mayStand(kind, s, k) ? static_cast<uint8_t>(next) : 255;
        if (mayStand(kind, s, k)) squareOfNumber[kind][k][next++] = static_cast<uint8_t>(s);
      }
      squareCount[kind][k] = static_cast<uint8_t>(next);
    }
}

// The pawnless sets cover the pieces only; the pawn sets every kind.
void buildPairOffsets() {
  for (int withPawns = 0; withPawns < 2; ++withPawns) {
    int low = withPawns ? 0 : KindKnight;
    for (int a = low; a < TbKinds; ++a) {
      int one[1] = {a};
      accumulateOffsets(pairOffset[withPawns][a], withPawns, one, 1);
      for (int b = a; b < TbKinds; ++b) {
        int two[2] = {a, b};
        accumulateOffsets(pairOffset2[withPawns][a][b], withPawns, two, 2);
        for (int c = b; c < TbKinds; ++c) {
          int three[3] = {a, b, c};
          accumulateOffsets(pairOffset3[withPawns][a][b][c], withPawns, three, 3);
        }
      }
    }
  }
}

}  // namespace

void buildEnumerations() {
  static bool built = false;
  if (built) return;
  for (int k1 = 0; k1 < 64; ++k1)
    for (int k2 = 0; k2 < 64; ++k2)
      for (int pawns = 0; pawns < 2; ++pawns) {
        int kk = (pawns ? kkPawns : kkPawnless)[k1][k2];
        if (kk == NoKingPair) continue;
        kingPairSquares[pawns][kk][0] = uint8_t(k1);
        kingPairSquares[pawns][kk][1] = uint8_t(k2);
      }
  buildSquareNumbers();
  buildPairOffsets();
  built = true;
}

// ---------------------------------------------------------------------------
// Layouts

namespace {

constexpr uint8_t listFirst[5] = {TbListPawn, TbListKnight, TbListBishop, TbListRook, TbListQueen};

bool isPawnGroup(const TbGroup& g) { return g.kind <= KindPawnToMove; }

// Squares a group of plain factors may use: pawns the 48 squares of ranks
// 2..7 less the pawns placed before, pieces the board less all men placed
// before.
uint64_t plainRange(const TbGroup& g, int men, int& placed, int& placedPawns) {
  int free = isPawnGroup(g) ? 48 - placedPawns : 64 - placed;
  placed += men;
  if (isPawnGroup(g)) placedPawns += men;
  return binomial[free][men];
}

const uint32_t* offsetsFor(const TbLayout& l) {
  int kinds[3], n = 0;
  for (int g = 0; g < l.numberedGroups; ++g)
    for (int i = 0; i < l.numbered[g].count; ++i) kinds[n++] = l.numbered[g].kind;
  int set = l.pawns;
  if (n == 1) return pairOffset[set][kinds[0]];
  if (n == 2) return pairOffset2[set][kinds[0]][kinds[1]];
  if (n == 3) return pairOffset3[set][kinds[0]][kinds[1]][kinds[2]];
  return nullptr;
}

void buildEpGroups(TbLayout* l, const int* men[2]) {
  int placed = 4, placedPawns = 2;  // kings, capturer, victim
  uint64_t product = 1;
  for (int list = 0; list < 2; ++list)
    for (int k = 0; k < 5; ++k) {
      if (!men[list][k]) continue;
      TbGroup g = {uint8_t(list), listFirst[k], uint8_t(men[list][k]),
                   uint8_t(k == 0 ? KindPawnNotToMove : k + 1)};
      int rest = men[list][k] - (k == 0 ? 1 : 0);
      l->epRange[l->epGroups] = plainRange(g, rest, placed, placedPawns);
      product *= l->epRange[l->epGroups];
      l->ep[l->epGroups++] = g;
    }
  l->epTotal = uint64_t(KingPairsPawns) * 14 * product;
}

}  // namespace

void buildLayout(TbLayout* l, const int whiteMen[5], const int blackMen[5], int side) {
  std::memset(l, 0, sizeof *l);
  const int* men[2] = {side ? blackMen : whiteMen, side ? whiteMen : blackMen};
  l->side = static_cast<uint8_t>(side);
  l->pawns = whiteMen[0] + blackMen[0] > 0;
  l->epBlock = whiteMen[0] > 0 && blackMen[0] > 0;
  l->pawnCount[0] = static_cast<uint8_t>(men[0][0]);
  l->pawnCount[1] = static_cast<uint8_t>(men[1][0]);

  // The side to move's men are numbered beside the kings; when it has none,
  // the other side's pawns are.
  bool moverHasMen = false;
  for (int k = 0; k < 5; ++k) moverHasMen |= men[0][k] > 0;
  for (int k = 0; k < 5; ++k)
    if (moverHasMen && men[0][k])
      l->numbered[l->numberedGroups++] = {0, listFirst[k], uint8_t(men[0][k]),
                                          uint8_t(k == 0 ? KindPawnToMove : k + 1)};
  if (!moverHasMen && men[1][0])
    l->numbered[l->numberedGroups++] = {1, TbListPawn, uint8_t(men[1][0]), KindPawnNotToMove};

  // Everything else follows as plain factors: the other side's pawns, then
  // its pieces from knight to queen.
  int placed = 2, placedPawns = 0;
  for (int g = 0; g < l->numberedGroups; ++g) {
    placed += l->numbered[g].count;
    if (isPawnGroup(l->numbered[g])) placedPawns += l->numbered[g].count;
  }
  uint64_t product = 1;
  for (int k = 0; k < 5; ++k) {
    if (!men[1][k] || (k == 0 && !moverHasMen)) continue;
    TbGroup g = {1, listFirst[k], uint8_t(men[1][k]), uint8_t(k == 0 ? KindPawnNotToMove : k + 1)};
    l->appendedRange[l->appendedGroups] = plainRange(g, g.count, placed, placedPawns);
    product *= l->appendedRange[l->appendedGroups];
    l->appended[l->appendedGroups++] = g;
  }

  l->offsets = offsetsFor(*l);
  uint64_t pairs = l->pawns ? KingPairsPawns : KingPairsPawnless;
  l->plainTotal = (l->offsets ? l->offsets[pairs] : pairs) * product;
  if (l->epBlock) buildEpGroups(l, men);
}

// ---------------------------------------------------------------------------
// Index computation

namespace {

// The symmetry of the normal form: XOR with a mask, then possibly the
// reflection in the a1-h8 diagonal.
struct Normaliser {
  uint8_t mask;
  uint8_t reflect;
  int operator()(int sq) const {
    sq ^= mask;
    return reflect ? diagonalReflect[sq] : sq;
  }
};

// Pawnless: the first king into the a1-d1-d4 triangle, and when it stands
// on the diagonal, the second king on or below it. With pawns: the first
// king onto files a..d and the side to move playing up the board.
Normaliser normaliser(const TbLayout& l, int k1, int k2, int invert) {
  if (l.pawns)
    return {static_cast<uint8_t>(fileMirrorMask[k1] ^ invertMask[invert & 1] ^ (l.side ? 56 : 0)), 0};
  uint8_t mask = quadrantMask[k1];
  int a = k1 ^ mask, b = k2 ^ mask;
  bool keep = inTriangle[a] & (offDiagonal[a] | onOrBelowDiagonal[b]);
  return {mask, static_cast<uint8_t>(!keep)};
}

uint64_t bit(int sq) { return 1ull << sq; }

// Bit count without relying on a population-count instruction.
int countBits(uint64_t x) {
  x = x - ((x >> 1) & 0x5555555555555555ull);
  x = (x & 0x3333333333333333ull) + ((x >> 2) & 0x3333333333333333ull);
  x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Full;
  return int((x * 0x0101010101010101ull) >> 56);
}

int countBelow(uint64_t set, int sq) { return countBits(set & (bit(sq) - 1)); }

// Combination number of distinct values: sorted downwards x0 > x1 > x2 they
// give C(x0, n) + C(x1, n - 1) + C(x2, n - 2).
uint64_t combination(int* x, int n) {
  for (int i = 1; i < n; ++i)
    for (int j = i; j > 0 && x[j] > x[j - 1]; --j) {
      int t = x[j];
      x[j] = x[j - 1];
      x[j - 1] = t;
    }
  uint64_t r = 0;
  for (int i = 0; i < n; ++i) r += binomial[x[i]][n - i];
  return r;
}

// Men already placed: every square, and the pawns among them.
struct Placed {
  uint64_t all;
  uint64_t pawns;
};

// Adds a numbered group to *index (mixed radix over the numbered groups).
// False for a square no legal position has.
bool numberGroup(const TbGroup& g, const uint8_t* list, Normaliser tr, int k1, int k2, Placed& placed,
                 uint64_t* index) {
  const uint8_t* number = squareNumber[g.kind][k2];
  int k1Free = number[k1] != 255;
  int x[3];
  for (int i = 0; i < g.count; ++i) {
    int s = list[g.first + i];
    if (s > 63) return false;
    s = tr(s);
    if ((placed.all & bit(s)) || number[s] == 255) return false;
    placed.all |= bit(s);
    x[i] = number[s] - (k1Free && k1 < s);
  }
  if (isPawnGroup(g))
    for (int i = 0; i < g.count; ++i) placed.pawns |= bit(tr(list[g.first + i]));
  int n = squareCount[g.kind][k2] - k1Free;
  *index = *index * binomial[n][g.count] + combination(x, g.count);
  return true;
}

// Adds a group of plain factors: each man's square counted among the
// squares its kind may use that no man placed before occupies. One man on
// square `skip` (capturer or victim of an en-passant block) is left out.
bool appendGroup(const TbGroup& g, uint64_t range, const uint8_t* list, Normaliser tr, Placed& placed,
                 uint64_t* index, int skip) {
  bool pawn = isPawnGroup(g);
  uint64_t added = 0;
  int x[3], n = 0;
  for (int i = 0; i < g.count; ++i) {
    int s = list[g.first + i];
    if (s > 63) return false;
    s = tr(s);
    if (s == skip) {
      skip = -1;
      continue;
    }
    if (((placed.all | added) & bit(s)) || n == 3) return false;
    if (pawn && (s < 8 || s > 55)) return false;
    x[n++] = pawn ? s - 8 - countBelow(placed.pawns, s) : s - countBelow(placed.all, s);
    added |= bit(s);
  }
  if (skip >= 0) return false;
  placed.all |= added;
  if (pawn) placed.pawns |= added;
  *index = *index * range + combination(x, n);
  return true;
}

bool hasPawnOn(const uint8_t* list, int count, Normaliser tr, int sq) {
  for (int i = 0; i < count; ++i)
    if (list[TbListPawn + i] < 64 && tr(list[TbListPawn + i]) == sq) return true;
  return false;
}

// The en-passant capture a position offers after normalisation: the code
// 0..13 of the capturing pawn's square relative to the en-passant square
// (0..6 the pawn on its right, 7..13 on its left), or -1 when no pawn of
// the side to move stands beside the pawn that has just made a double step.
int epCapture(const TbLayout& l, const uint8_t* const lists[2], Normaliser tr, int ep, int* capturer) {
  if (ep < 0 || ep > 63) return -1;
  int e = tr(ep);
  if (e < 40 || e > 47 || !hasPawnOn(lists[1], l.pawnCount[1], tr, e - 8)) return -1;
  if ((e & 7) < 7 && hasPawnOn(lists[0], l.pawnCount[0], tr, e - 7)) {
    *capturer = e - 7;
    return ((e - 7) & 7) - 1;
  }
  if ((e & 7) > 0 && hasPawnOn(lists[0], l.pawnCount[0], tr, e - 9)) {
    *capturer = e - 9;
    return ((e - 9) & 7) + 7;
  }
  return -1;
}

uint64_t epBlockIndex(const TbLayout& l, const uint8_t* const lists[2], Normaliser tr, int k1, int k2, int kk,
                      int capturer, int code, int victim) {
  Placed placed = {bit(k1) | bit(k2) | bit(capturer) | bit(victim), bit(capturer) | bit(victim)};
  if (countBits(placed.all) != 4) return TbNoIndex;
  uint64_t index = uint64_t(kk) * 14 + code;
  for (int g = 0; g < l.epGroups; ++g) {
    const TbGroup& group = l.ep[g];
    int skip = !isPawnGroup(group) ? -1 : group.list == 0 ? capturer : victim;
    if (!appendGroup(group, l.epRange[g], lists[group.list], tr, placed, &index, skip)) return TbNoIndex;
  }
  return l.plainTotal + index;
}

}  // namespace

uint64_t tbIndex(const TbLayout& l, const uint8_t* white, const uint8_t* black, int ep, int invert) {
  const uint8_t* const lists[2] = {l.side ? black : white, l.side ? white : black};
  int k1 = lists[0][TbListKing], k2 = lists[1][TbListKing];
  if ((k1 | k2) > 63) return TbNoIndex;

  // Step 1: the normal form under the board's symmetries.
  Normaliser tr = normaliser(l, k1, k2, invert);
  k1 = tr(k1);
  k2 = tr(k2);

  // Step 2: the king pair.
  int kk = (l.pawns ? kkPawns : kkPawnless)[k1][k2];
  if (kk == NoKingPair) return TbNoIndex;

  // Positions where an en-passant capture is possible have a block of
  // their own after all the others.
  if (l.epBlock && ep != TbNoEp) {
    int capturer = 0;
    int code = epCapture(l, lists, tr, ep, &capturer);
    if (code >= 0) return epBlockIndex(l, lists, tr, k1, k2, kk, capturer, code, tr(ep) - 8);
  }

  // Step 3: the numbered men within the king pair's block, then the plain
  // factors.
  Placed placed = {bit(k1) | bit(k2), 0};
  uint64_t index = 0;
  for (int g = 0; g < l.numberedGroups; ++g)
    if (!numberGroup(l.numbered[g], lists[l.numbered[g].list], tr, k1, k2, placed, &index)) return TbNoIndex;
  index += l.offsets ? l.offsets[kk] : uint64_t(kk);
  for (int g = 0; g < l.appendedGroups; ++g) {
    const TbGroup& group = l.appended[g];
    if (!appendGroup(group, l.appendedRange[g], lists[group.list], tr, placed, &index, -1)) return TbNoIndex;
  }
  return index;
}

// ---------------------------------------------------------------------------
// From an index back to the position

namespace {

// The values x0 > x1 > ... of combination number r of n values.
void uncombine(uint64_t r, int n, int* x) {
  for (int i = 0; i < n; ++i) {
    int k = n - i, a = k == 1 ? int(r < 63 ? r : 63) : k - 1;
    while (a < 63 && binomial[a + 1][k] <= r) ++a;
    x[i] = a;
    r -= binomial[a][k];
  }
}

// The x-th square (counting from 0) of a set, -1 when it has fewer; whole
// bytes are skipped by their counts.
int nthSquare(uint64_t set, int x) {
  int base = 0;
  for (int c; base < 64 && x >= (c = countBits(set & 0xFF)); x -= c, set >>= 8) base += 8;
  if (base >= 64) return -1;
  for (int i = 0; i < x; ++i) set &= set - 1;
  return base + __builtin_ctzll(set);
}

bool placeSquare(int s, Placed& placed, bool pawn, uint8_t* slot) {
  if (s < 0 || (placed.all & bit(s))) return false;
  placed.all |= bit(s);
  if (pawn) placed.pawns |= bit(s);
  *slot = static_cast<uint8_t>(s);
  return true;
}

bool placeNumbered(const TbGroup& g, uint64_t digit, int k1, int k2, Placed& placed, uint8_t* list) {
  const uint8_t* number = squareNumber[g.kind][k2];
  int x[3];
  uncombine(digit, g.count, x);
  for (int i = 0; i < g.count; ++i) {
    int n = x[i] + (number[k1] != 255 && x[i] >= number[k1]);
    if (n >= squareCount[g.kind][k2]) return false;
    if (!placeSquare(squareOfNumber[g.kind][k2][n], placed, isPawnGroup(g), &list[g.first + i])) return false;
  }
  return true;
}

// Men of a plain group from `slot` on: the x-th square of their domain that
// no man placed before occupies (pawns count only the pawns placed before).
bool placePlain(const TbGroup& g, int men, int slot, uint64_t digit, Placed& placed, uint8_t* list) {
  bool pawn = isPawnGroup(g);
  uint64_t free = pawn ? 0x00FFFFFFFFFFFF00ull & ~placed.pawns : ~placed.all;
  int x[3];
  uncombine(digit, men, x);
  for (int i = 0; i < men; ++i)
    if (!placeSquare(nthSquare(free, x[i]), placed, pawn, &list[g.first + slot + i])) return false;
  return true;
}

// Splits r into the mixed-radix digits of `count` groups, the last group
// least significant; returns what is left above them.
uint64_t splitDigits(uint64_t r, const uint64_t* ranges, int count, uint64_t* digits) {
  for (int g = count - 1; g >= 0; --g) {
    digits[g] = r % ranges[g];
    r /= ranges[g];
  }
  return r;
}

bool placeEpBlock(const TbLayout& l, uint64_t r, uint8_t* const lists[2], int* ep) {
  uint64_t digits[10];
  r = splitDigits(r, l.epRange, l.epGroups, digits);
  int kk = int(r / 14), code = int(r % 14);
  int k1 = kingPairSquares[1][kk][0], k2 = kingPairSquares[1][kk][1];
  int capturer = code < 7 ? 33 + code : 25 + code, e = code < 7 ? capturer + 7 : capturer + 9;
  Placed placed = {bit(k1) | bit(k2), 0};
  if (!placeSquare(capturer, placed, true, &lists[0][TbListPawn]) ||
      !placeSquare(e - 8, placed, true, &lists[1][TbListPawn]))
    return false;
  *ep = e;
  for (int g = 0; g < l.epGroups; ++g) {
    const TbGroup& group = l.ep[g];
    int skip = isPawnGroup(group) ? 1 : 0;
    if (!placePlain(group, group.count - skip, skip, digits[g], placed, lists[group.list])) return false;
  }
  lists[0][TbListKing] = uint8_t(k1);
  lists[1][TbListKing] = uint8_t(k2);
  return true;
}

bool placePlainBlock(const TbLayout& l, uint64_t r, uint8_t* const lists[2]) {
  uint64_t digits[5], within[3];
  r = splitDigits(r, l.appendedRange, l.appendedGroups, digits);
  // Without numbered men the rest is the king pair itself.
  int pairs = l.pawns ? KingPairsPawns : KingPairsPawnless, kk = int(r);
  if (l.offsets) {
    kk = int(std::upper_bound(l.offsets, l.offsets + pairs, uint32_t(r)) - l.offsets) - 1;
    r -= l.offsets[kk];
  } else {
    r = 0;
  }
  int k1 = kingPairSquares[l.pawns][kk][0], k2 = kingPairSquares[l.pawns][kk][1];
  uint64_t radix[3];
  for (int g = 0; g < l.numberedGroups; ++g) {
    const TbGroup& group = l.numbered[g];
    int n = squareCount[group.kind][k2] - (squareNumber[group.kind][k2][k1] != 255);
    radix[g] = binomial[n][group.count];
  }
  if (splitDigits(r, radix, l.numberedGroups, within) != 0) return false;
  Placed placed = {bit(k1) | bit(k2), 0};
  for (int g = 0; g < l.numberedGroups; ++g)
    if (!placeNumbered(l.numbered[g], within[g], k1, k2, placed, lists[l.numbered[g].list])) return false;
  for (int g = 0; g < l.appendedGroups; ++g)
    if (!placePlain(l.appended[g], l.appended[g].count, 0, digits[g], placed, lists[l.appended[g].list]))
      return false;
  lists[0][TbListKing] = uint8_t(k1);
  lists[1][TbListKing] = uint8_t(k2);
  return true;
}

}  // namespace

bool tbPosition(const TbLayout& l, uint64_t index, uint8_t* white, uint8_t* black, int* ep) {
  std::memset(white, 0, 16);
  std::memset(black, 0, 16);
  *ep = TbNoEp;
  uint8_t* const lists[2] = {l.side ? black : white, l.side ? white : black};
  if (index >= l.plainTotal + l.epTotal) return false;
  bool placed = index >= l.plainTotal ? placeEpBlock(l, index - l.plainTotal, lists, ep)
                                      : placePlainBlock(l, index, lists);
  if (!placed) return false;
  // Black to move with pawns: the normal form has Black playing up the board.
  if (l.pawns && l.side) {
    for (int i = 0; i < 16; ++i) white[i] ^= 56, black[i] ^= 56;
    if (*ep != TbNoEp) *ep ^= 56;
  }
  return tbIndex(l, white, black, *ep, 0) == index;
}
