// The material-class table: for every pair of material signatures, either a
// special ending class or an adjustment of the row side's score. Built at
// compile time from the rules below.
#include "eval/eval.h"

namespace {

// A side's material as decoded from its signature index.
struct Material {
  int pawns, knights, bishops, rooks, queens;
  constexpr int minors() const { return knights + bishops; }
  constexpr int pieces() const { return knights + bishops + rooks + queens; }
  constexpr int points() const { return 3 * (knights + bishops) + 5 * rooks + 10 * queens; }
  constexpr bool bare() const { return pawns == 0 && pieces() == 0; }
  constexpr bool is(int n, int b, int r, int q) const {
    return knights == n && bishops == b && rooks == r && queens == q;
  }
};

constexpr Material decode(int index) {
  const int p = index >> 2;
  return Material{index & 3, p % 3, (p / 3) % 3, (p / 9) % 3, p / 27};
}

constexpr uint8_t special(int cls) { return static_cast<uint8_t>(0x80 | cls); }

// True when a lone minor (one knight or one bishop, nothing else).
constexpr bool loneMinor(const Material& m) { return m.pieces() == 1 && m.minors() == 1; }

// Draw classes between pawnless sides: 21 certain draw, 20 draw unless the
// defender is caught on the edge, 0 none. Order of the arguments is free.
constexpr int drawClass(const Material& a, const Material& b) {
  if (a.pawns || b.pawns) return 0;
  if (a.bare() && b.bare()) return 21;
  const Material& x = a.bare() ? b : a;   // the side with pieces, if one is bare
  if (a.bare() || b.bare()) {
    if (loneMinor(x)) return 21;          // KN v K, KB v K
    if (x.is(2, 0, 0, 0)) return 20;      // KNN v K
    return 0;
  }
  // Both have pieces: KN v KN, KNN v KN, KN v KB, KNN v KB, KB v KB.
  const bool aN = a.is(1, 0, 0, 0), aNN = a.is(2, 0, 0, 0), aB = a.is(0, 1, 0, 0);
  const bool bN = b.is(1, 0, 0, 0), bNN = b.is(2, 0, 0, 0), bB = b.is(0, 1, 0, 0);
  if ((aN && bN) || (aNN && bN) || (aN && bNN) || (aN && bB) || (aB && bN) ||
      (aNN && bB) || (aB && bNN) || (aB && bB))
    return 20;
  return 0;
}

// Special class of the pair, 0 when ordinary. Symmetric in its arguments.
constexpr int specialClass(const Material& a, const Material& b) {
  if (int d = drawClass(a, b)) return d;
  if (a.pieces() == 0 && b.pieces() == 0) {
    if ((a.pawns == 1 && b.bare()) || (b.pawns == 1 && a.bare())) return 19;  // KP v K
    return 18;                                                               // pawns only
  }
  for (int flip = 0; flip < 2; ++flip) {
    const Material& s = flip ? b : a;  // the side with the named material
    const Material& w = flip ? a : b;
    const bool bishopAndPawns = s.is(0, 1, 0, 0) && s.pawns > 0;
    if (bishopAndPawns && w.bare()) return 17;
    if (w.bare() && s.pieces() > 0) return 16;
    if (bishopAndPawns && w.pieces() == 0 && w.pawns > 0) return 1;
    if (s.is(0, 0, 0, 1) && s.pawns == 0 && w.pieces() == 0 && w.pawns == 1) return 2;
    if (s.is(0, 0, 1, 0) && s.pawns == 0 && w.is(0, 0, 1, 0) && w.pawns == 1) return 3;
    if (s.is(0, 0, 1, 0) && s.pawns == 0 && w.is(0, 0, 1, 0) && w.pawns == 2) return 4;
    if (loneMinor(s) && s.pawns == 0 && w.is(0, 1, 0, 0) && w.pawns == 1) return 5;
  }
  return 0;
}

// Adjustment (in units of 16, even, -30..30) for the stronger side x of a
// piece combination against y, before pawns are looked at. These pull
// balances that material overrates towards equality.
constexpr int pieceAdjustment(const Material& x, const Material& y) {
  // A lone minor against pawns cannot win and rarely holds more than the pawns.
  if (loneMinor(x) && y.pieces() == 0) return y.pawns == 1 ? -14 : -8;
  // Two minors against one: usually a draw, least so with the bishop pair.
  if (x.pieces() == 2 && x.minors() == 2 && loneMinor(y)) {
    if (x.knights == 2) return -16;
    if (x.bishops == 2) return y.knights ? -12 : -20;
    return y.bishops ? -24 : -20;  // bishop and knight
  }
  // Rook against a minor: a draw in most lines.
  if (x.is(0, 0, 1, 0) && loneMinor(y)) return y.knights ? -12 : -14;
  // Two minors against a rook: the extra pawn's worth is hard to use.
  if (x.pieces() == 2 && x.minors() == 2 && y.is(0, 0, 1, 0))
    return x.bishops == 2 ? -6 : -10;
  // Rook or queen and a minor against the same major alone.
  if (x.pieces() == 2 && x.minors() == 1 && y.pieces() == 1 &&
      ((x.rooks == 1 && y.rooks == 1) || (x.queens == 1 && y.queens == 1)))
    return -20;
  // Queen against rook and minor, or against two minors.
  if (x.is(0, 0, 0, 1) && y.pieces() == 2 && y.minors() >= 1 && y.queens == 0)
    return y.rooks ? -8 : -6;
  return 0;
}

// Which pawn counts a piece adjustment reaches: at most one pawn on the
// board, except that the minor-against-pawns rule names the pawns itself.
constexpr bool adjustmentApplies(const Material& x, const Material& y) {
  if (loneMinor(x) && y.pieces() == 0) return x.pawns == 0 && y.pawns >= 1 && y.pawns <= 2;
  return x.pawns + y.pawns <= 1;
}

// Pawnless balances that material alone cannot win: both sides hold pieces
// and the difference is at most a minor piece (two bishops against a knight
// excepted, which usually wins).
constexpr bool unwinnableByMaterial(const Material& a, const Material& b) {
  if (a.pawns || b.pawns || a.pieces() == 0 || b.pieces() == 0) return false;
  const int diff = a.points() - b.points();
  if (diff > 3 || diff < -3) return false;
  if ((a.is(0, 2, 0, 0) && b.is(1, 0, 0, 0)) || (b.is(0, 2, 0, 0) && a.is(1, 0, 0, 0))) return false;
  return true;
}

// Signed adjustment for the row side a against b (antisymmetric).
constexpr int adjustment(const Material& a, const Material& b) {
  const int pa = a.points(), pb = b.points();
  if (pa == pb && a.pawns == b.pawns) return 0;
  // Order by pieces first, then by pawns, so that each pair is judged once.
  const bool aStronger = pa > pb || (pa == pb && a.pawns > b.pawns);
  const Material& x = aStronger ? a : b;
  const Material& y = aStronger ? b : a;
  if (!adjustmentApplies(x, y)) return 0;
  const int v = pieceAdjustment(x, y);
  return aStronger ? v : -v;
}

constexpr uint8_t classEntry(int row, int col) {
  const Material a = decode(row), b = decode(col);
  if (int cls = specialClass(a, b)) return special(cls);
  uint8_t e = static_cast<uint8_t>(adjustment(a, b) + 32);
  if (unwinnableByMaterial(a, b)) e |= 0x40;
  return e;
}

// The table is computed in blocks of rows so that each constant expression
// stays within the compiler's evaluation budget.
constexpr int RowsPerBlock = 27;
using Block = std::array<uint8_t, RowsPerBlock * 256>;

constexpr Block buildBlock(int firstRow) {
  Block t{};
  for (int r = 0; r < RowsPerBlock; ++r) {
    for (int col = 0; col < 256; ++col)
      t[r * 256 + col] = col < 216 ? classEntry(firstRow + r, col) : static_cast<uint8_t>(32);
  }
  return t;
}

constexpr Block block0 = buildBlock(0 * RowsPerBlock), block1 = buildBlock(1 * RowsPerBlock),
                block2 = buildBlock(2 * RowsPerBlock), block3 = buildBlock(3 * RowsPerBlock),
                block4 = buildBlock(4 * RowsPerBlock), block5 = buildBlock(5 * RowsPerBlock),
                block6 = buildBlock(6 * RowsPerBlock), block7 = buildBlock(7 * RowsPerBlock);

constexpr std::array<uint8_t, 216 * 256> joinBlocks() {
  std::array<uint8_t, 216 * 256> t{};
  const Block* blocks[8] = {&block0, &block1, &block2, &block3, &block4, &block5, &block6, &block7};
  for (int b = 0; b < 8; ++b) {
    for (int i = 0; i < RowsPerBlock * 256; ++i) t[b * RowsPerBlock * 256 + i] = (*blocks[b])[i];
  }
  return t;
}

}  // namespace

// Rows and columns by signature index; columns 216..255 are never read.
alignas(64) constexpr std::array<uint8_t, 216 * 256> endgameClassTable = joinBlocks();
