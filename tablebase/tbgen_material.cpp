// The generator's numbering of a class: material from the class name, the
// canonical form of a position under the board symmetries, and the node
// number of that form (kings first, then one digit per man).
#include <algorithm>
#include <cstring>

#include "board/types.h"
#include "tablebase/tbgen.h"

namespace {

// Men letters in the order class names list them, strongest first.
constexpr char menOrder[] = "qrbnp";
constexpr PieceType menTypes[] = {Queen, Rook, Bishop, Knight, Pawn};

int orderOf(char c) {
  const char* at = std::strchr(menOrder, c);
  return at && c ? static_cast<int>(at - menOrder) : -1;
}

// The White king's home squares without pawns: a1 b1 c1 d1 b2 c2 d2 c3 d3 d4.
constexpr int8_t triangleNumber[64] = {
    0,  1,  2,  3,  -1, -1, -1, -1, -1, 4,  5,  6,  -1, -1, -1, -1,
    -1, -1, 7,  8,  -1, -1, -1, -1, -1, -1, -1, 9,  -1, -1, -1, -1,
    -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
    -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
constexpr uint8_t triangleSquare[10] = {0, 1, 2, 3, 9, 10, 11, 18, 19, 27};

inline int reflect(int sq) { return ((sq & 7) << 3) | (sq >> 3); }

// "k", White's men, "k", Black's men; at most seven letters in all.
void joinName(const char* white, const char* black, char* name) {
  char out[8];
  size_t n = 0;
  out[n++] = 'k';
  for (const char* c = white; *c && n < 6; ++c) out[n++] = *c;
  out[n++] = 'k';
  for (const char* c = black; *c && n < 7; ++c) out[n++] = *c;
  out[n] = '\0';
  std::memcpy(name, out, n + 1);
}

int radixOf(int type) { return type == Pawn ? 48 : 64; }

// One side's letters sorted strongest first; false on a bad letter.
bool sortMen(const char* from, int n, char* out) {
  for (int i = 0; i < n; ++i)
    if (orderOf(from[i]) < 0) return false;
  std::memcpy(out, from, n);
  out[n] = '\0';
  std::sort(out, out + n, [](char a, char b) { return orderOf(a) < orderOf(b); });
  return true;
}

// Identical men stand in ascending square order.
void sortIdentical(const GenMaterial& mat, GenSquares* sq) {
  for (int i = 1; i < mat.men && i < GenMaxMen; ++i)
    for (int j = i; j > 0 && mat.type[j] == mat.type[j - 1] && mat.colour[j] == mat.colour[j - 1] &&
                    sq->man[j] < sq->man[j - 1];
         --j)
      std::swap(sq->man[j], sq->man[j - 1]);
}

uint64_t encode(const GenMaterial& mat, const GenSquares& sq) {
  const int wk = sq.king[White];
  uint64_t node = mat.pawns ? static_cast<uint64_t>((wk >> 3) * 4 + (wk & 7))
                            : static_cast<uint64_t>(triangleNumber[wk]);
  node = node * 64 + sq.king[Black];
  for (int i = 0; i < mat.men; ++i) {
    const int pawn = mat.type[i] == Pawn;
    node = node * (pawn ? 48 : 64) + (pawn ? sq.man[i] - 8 : sq.man[i]);
  }
  return node;
}

void transform(const GenMaterial& mat, GenSquares* sq, int xorMask, bool diagonal) {
  auto move = [&](uint8_t& s) { s = static_cast<uint8_t>(diagonal ? reflect(s ^ xorMask) : s ^ xorMask); };
  move(sq->king[0]);
  move(sq->king[1]);
  for (int i = 0; i < mat.men && i < GenMaxMen; ++i) move(sq->man[i]);
}

// The digit of a king's square (as encode numbers it).
int kingDigit(const GenMaterial& mat, int colour, int square) {
  if (colour == Black) return square;
  return mat.pawns ? (square >> 3) * 4 + (square & 7) : triangleNumber[square];
}

// A square below the a1-h8 diagonal (its rank lower than its file).
bool belowDiagonal(int square) { return (square >> 3) < (square & 7); }

// Whether a position whose White king stands in its home region (files a-d
// with pawns, the triangle without) is its own canonical form once its
// identical men are in order. With pawns the king's file alone picks the
// transform. Without pawns a king below the diagonal does too; a king on the
// diagonal leaves the identity and the reflection in it, whose node numbers
// first differ in the Black king's digit unless that king stands on the
// diagonal as well: a Black king below it makes the identity the smaller.
bool formFixed(const GenMaterial& mat, int whiteKing, int blackKing) {
  if (mat.pawns) return (whiteKing & 4) == 0;
  return triangleNumber[whiteKing] >= 0 && (belowDiagonal(whiteKing) || belowDiagonal(blackKing));
}

bool twins(const GenMaterial& mat, int a, int b) {
  return mat.type[a] == mat.type[b] && mat.colour[a] == mat.colour[b];
}

bool identicalInOrder(const GenMaterial& mat, const GenSquares& sq) {
  for (int i = 1; i < mat.men; ++i)
    if (twins(mat, i - 1, i) && sq.man[i] < sq.man[i - 1]) return false;
  return true;
}

// Node change when man i of a canonical position moves to `to` past one of
// its identical twins (listed next to each other): the group's digits take
// its squares in ascending order again. Out of line: the common shift
// stays small enough to be inlined where moves are numbered.
[[gnu::noinline]] uint64_t regroupShift(const GenMaterial& mat, const GenSquares& sq, int i, int to) {
  int lo = i, hi = i;
  while (lo > 0 && twins(mat, lo - 1, lo)) --lo;
  while (hi + 1 < mat.men && twins(mat, hi, hi + 1)) ++hi;
  // The others keep their order; `to` goes in before the first above it.
  uint8_t moved[GenMaxMen];
  int n = 0;
  bool placed = false;
  for (int j = lo; j <= hi; ++j) {
    if (j == i) continue;
    if (!placed && to < sq.man[j]) {
      moved[n++] = static_cast<uint8_t>(to);
      placed = true;
    }
    moved[n++] = sq.man[j];
  }
  if (!placed) moved[n] = static_cast<uint8_t>(to);
  uint64_t change = 0;
  for (int j = lo; j <= hi; ++j)
    change += static_cast<uint64_t>(moved[j - lo] - sq.man[j]) * mat.weight[2 + j];
  return change;
}

// Node change when man i moves to `to`; a pawn's digit is its square less
// 8, so the change of any man's digit is the change of its square.
uint64_t manShift(const GenMaterial& mat, const GenSquares& sq, int i, int to) {
  const bool pastLower = i > 0 && to < sq.man[i - 1] && twins(mat, i - 1, i);
  const bool pastUpper = i + 1 < mat.men && to > sq.man[i + 1] && twins(mat, i, i + 1);
  if (pastLower || pastUpper) return regroupShift(mat, sq, i, to);
  return static_cast<uint64_t>(to - sq.man[i]) * mat.weight[2 + i];
}

}  // namespace

// A canonical position that moves into another canonical form under the
// same (identity) transform: only the mover's digit, or its twin group's
// digits, change; the arithmetic wraps like the node numbers' own.
uint64_t genShiftedNode(const GenMaterial& mat, const GenSquares& sq, uint64_t node, int slot, int to) {
  const int whiteKing = slot == White ? to : sq.king[White], blackKing = slot == Black ? to : sq.king[Black];
  if (!formFixed(mat, whiteKing, blackKing)) return GenShiftUnknown;
  if (slot >= 2) return node + manShift(mat, sq, slot - 2, to);
  const int64_t change = kingDigit(mat, slot, to) - kingDigit(mat, slot, sq.king[slot]);
  return node + static_cast<uint64_t>(change) * mat.weight[slot];
}

bool genIsCanonical(const GenMaterial& mat, const GenSquares& sq, uint64_t node) {
  if (formFixed(mat, sq.king[White], sq.king[Black])) return identicalInOrder(mat, sq);
  GenSquares canon = sq;
  return genNormalize(mat, &canon) == node;
}

bool genParseMaterial(const char* name, GenMaterial* mat) {
  std::memset(mat, 0, sizeof *mat);
  const size_t len = std::strlen(name);
  if (len < 2 || len > 7 || name[0] != 'k') return false;
  const char* second = std::strchr(name + 1, 'k');
  if (!second) return false;
  const int whiteMen = static_cast<int>(second - name - 1);
  const int blackMen = static_cast<int>(len) - whiteMen - 2;
  if (whiteMen + blackMen > GenMaxMen) return false;
  char white[16], black[16];
  if (!sortMen(name + 1, whiteMen, white) || !sortMen(second + 1, blackMen, black)) return false;
  joinName(white, black, mat->name);
  mat->men = whiteMen + blackMen;
  bool pawnOf[2] = {false, false};
  for (int i = 0; i < mat->men; ++i) {
    const bool isWhite = i < whiteMen;
    const char c = isWhite ? white[i] : black[i - whiteMen];
    mat->type[i] = menTypes[orderOf(c)];
    mat->colour[i] = isWhite ? White : Black;
    if (mat->type[i] == Pawn) pawnOf[mat->colour[i]] = true;
  }
  mat->pawns = pawnOf[White] || pawnOf[Black];
  mat->epPossible = pawnOf[White] && pawnOf[Black];
  // Digits from the last man backwards: each weighs the product of the
  // radices after it.
  uint64_t weight = 1;
  for (int i = mat->men - 1; i >= 0; --i) {
    mat->weight[2 + i] = weight;
    weight *= static_cast<uint64_t>(radixOf(mat->type[i]));
  }
  mat->weight[Black] = weight;
  mat->weight[White] = weight * 64;
  mat->baseSize = weight * 64 * (mat->pawns ? 32 : 10);
  return true;
}

void genStorageName(const char* white, const char* black, char* name, bool* swapped) {
  // The side with more men is White; with equal numbers the one whose men,
  // strongest first, are stronger at the first difference.
  const size_t nw = std::strlen(white), nb = std::strlen(black);
  bool swap = nb > nw;
  if (nw == nb)
    for (size_t i = 0; i < nw; ++i)
      if (white[i] != black[i]) {
        swap = orderOf(black[i]) < orderOf(white[i]);
        break;
      }
  *swapped = swap;
  joinName(swap ? black : white, swap ? white : black, name);
}

uint64_t genNormalize(const GenMaterial& mat, GenSquares* sq) {
  const int wk = sq->king[White];
  if (mat.pawns) {
    if (wk & 4) transform(mat, sq, 7, false);
    sortIdentical(mat, sq);
    return encode(mat, *sq);
  }
  // Without pawns: the quadrant first, then the half of it below the a1-h8
  // diagonal; a king on the diagonal leaves two forms, the smaller wins.
  const int mask = (wk & 4 ? 7 : 0) | (wk & 32 ? 56 : 0);
  const int k = wk ^ mask;
  transform(mat, sq, mask, (k >> 3) > (k & 7));
  sortIdentical(mat, sq);
  const uint64_t node = encode(mat, *sq);
  if ((k >> 3) != (k & 7)) return node;
  GenSquares other = *sq;
  transform(mat, &other, 0, true);
  sortIdentical(mat, &other);
  const uint64_t otherNode = encode(mat, other);
  if (otherNode >= node) return node;
  *sq = other;
  return otherNode;
}

void genDecode(const GenMaterial& mat, uint64_t node, GenSquares* sq) {
  for (int i = mat.men - 1; i >= 0; --i) {
    const int pawn = mat.type[i] == Pawn;
    const uint64_t radix = pawn ? 48 : 64;
    sq->man[i] = static_cast<uint8_t>(node % radix + (pawn ? 8 : 0));
    node /= radix;
  }
  sq->king[Black] = static_cast<uint8_t>(node % 64);
  node /= 64;
  sq->king[White] = mat.pawns ? static_cast<uint8_t>((node >> 2) * 8 + (node & 3)) : triangleSquare[node];
}

namespace {

// What genPlace works out from the men's kinds and colours alone, in the
// order they are given: the storage class and, for each of its slots, the
// given man that fills it. Captures and promotions ask for the same few
// materials millions of times, so each one is worked out once.
struct Placement {
  bool known;
  bool swapped;
  char name[8];
  uint8_t from[GenMaxMen];  // given man of each slot
};

// Up to three men, each of five kinds in two colours: 10^3 orders per count.
Placement placements[GenMaxMen + 1][1000];

int placementKey(const GenMen& men) {
  int key = 0;
  for (int i = 0; i < men.count; ++i) {
    const int kind = static_cast<int>(std::find(menTypes, menTypes + 5, men.type[i]) - menTypes);
    key = key * 10 + kind * 2 + men.colour[i];
  }
  return key;
}

void workOutPlacement(const GenMen& men, Placement* p) {
  char side[2][16];
  int n[2] = {0, 0};
  for (int i = 0; i < men.count; ++i) {
    const int c = men.colour[i];
    side[c][n[c]++] = menOrder[std::find(menTypes, menTypes + 5, men.type[i]) - menTypes];
  }
  char sorted[2][16];
  for (int c = 0; c < 2; ++c) {
    side[c][n[c]] = '\0';
    sortMen(side[c], n[c], sorted[c]);
  }
  genStorageName(sorted[White], sorted[Black], p->name, &p->swapped);
  GenMaterial mat;
  genParseMaterial(p->name, &mat);
  // Fill the class's slots in order; swapped storage exchanges the colours.
  bool used[GenMaxMen] = {false, false, false};
  for (int slot = 0; slot < mat.men; ++slot)
    for (int i = 0; i < men.count; ++i) {
      const int colour = men.colour[i] ^ (p->swapped ? 1 : 0);
      if (used[i] || men.type[i] != mat.type[slot] || colour != mat.colour[slot]) continue;
      used[i] = true;
      p->from[slot] = static_cast<uint8_t>(i);
      break;
    }
  p->known = true;
}

}  // namespace

bool genPlace(const GenMen& men, char* className, bool* swapped, GenSquares* sq) {
  if (men.count < 0 || men.count > GenMaxMen) return false;
  for (int i = 0; i < men.count; ++i)
    if (men.colour[i] > 1 || std::find(menTypes, menTypes + 5, men.type[i]) == menTypes + 5) return false;
  Placement& p = placements[men.count][placementKey(men)];
  if (!p.known) workOutPlacement(men, &p);
  std::memcpy(className, p.name, std::strlen(p.name) + 1);
  *swapped = p.swapped;
  // Swapped storage turns the board upside down so the pawns keep their
  // direction.
  const int flip = p.swapped ? 56 : 0;
  for (int c = 0; c < 2; ++c) sq->king[c ^ (p.swapped ? 1 : 0)] = static_cast<uint8_t>(men.king[c] ^ flip);
  for (int slot = 0; slot < men.count; ++slot) sq->man[slot] = static_cast<uint8_t>(men.square[p.from[slot]] ^ flip);
  return true;
}
