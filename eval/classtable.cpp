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

// --- adjustments -------------------------------------------------------------
// Adjustments are in units of 16 (one eighth of a pawn), even, -30..30, for
// the stronger side x (more material points; on equal points, more pawns)
// against y. They pull towards equality the balances whose material count
// promises more than the play gives. Every value below comes from known
// endgame theory: whether the balance is a draw with best defence, and the
// usual outcome where theory gives a win that takes long technique.
// Pawns make material count: the adjustment fades as pawns come on the
// board, and none is given once either side has three.

// Half of an even adjustment, kept even (towards zero).
constexpr int evenHalf(int v) { return v / 2 - (v / 2) % 2; }

// Removes n knights, b bishops, r rooks and q queens from `whole` into
// *rest (pawns dropped); false when `whole` lacks one of them.
constexpr bool without(const Material& whole, int n, int b, int r, int q, Material* rest) {
  if (whole.knights < n || whole.bishops < b || whole.rooks < r || whole.queens < q) return false;
  *rest = Material{0, whole.knights - n, whole.bishops - b, whole.rooks - r, whole.queens - q};
  return true;
}
constexpr bool samePieces(const Material& a, const Material& b) {
  return a.knights == b.knights && a.bishops == b.bishops && a.rooks == b.rooks && a.queens == b.queens;
}

// Two minors against one, or x has the same pieces as y and one minor more
// (y not bare). Two minors against one: KNN v KN and KBN v KN or KB are
// drawn, so is the bishop pair against a bishop; against a lone knight the
// pair wins in most positions and is left alone. A rook or queen and a
// minor against the rook or queen alone (KRB v KR, KRN v KR, KQN v KQ,
// KQB v KQ): drawn with correct defence in most positions. With more
// pieces on the board the extra minor wins more often.
constexpr int extraMinor(const Material& x, const Material& y) {
  if (x.pieces() == 2 && x.minors() == 2 && loneMinor(y)) {
    if (x.knights == 2) return -16;
    if (x.bishops == 2) return y.knights ? 0 : -20;
    return y.bishops ? -24 : -20;
  }
  Material r{};
  const bool knightMore = without(x, 1, 0, 0, 0, &r) && samePieces(r, y);
  const bool bishopMore = without(x, 0, 1, 0, 0, &r) && samePieces(r, y);
  if ((!knightMore && !bishopMore) || y.pieces() == 0) return 0;
  if (y.pieces() == 1) return -20;
  return -12;
}

// The exchange: x has a rook where y has a minor, the rest equal. KR v KN
// and KR v KB are drawn in most lines (the bishop holds a little better);
// with more pieces the exchange is usually enough.
constexpr int exchange(const Material& x, const Material& y) {
  Material rx{}, ry{};
  if (!without(x, 0, 0, 1, 0, &rx)) return 0;
  const bool forKnight = without(y, 1, 0, 0, 0, &ry) && samePieces(rx, ry);
  const bool forBishop = !forKnight && without(y, 0, 1, 0, 0, &ry) && samePieces(rx, ry);
  if (!forKnight && !forBishop) return 0;
  if (rx.pieces() != 0) return -6;
  return forKnight ? -12 : -14;
}

// Two minors against a rook, the rest equal: the minors' extra point is
// hard to use (KNN v KR and KBN v KR are drawn, the bishop pair does
// better).
constexpr int minorsForRook(const Material& x, const Material& y) {
  Material ry{}, rx{};
  if (!without(y, 0, 0, 1, 0, &ry)) return 0;
  const int pairs[3][2] = {{2, 0}, {0, 2}, {1, 1}};
  for (const auto& m : pairs) {
    if (!without(x, m[0], m[1], 0, 0, &rx) || !samePieces(rx, ry)) continue;
    if (rx.pieces() != 0) return -4;
    return m[1] == 2 ? -6 : -10;
  }
  return 0;
}

// A queen against a rook and a minor, two minors or three minors, the rest
// equal: the pieces coordinate against the queen (KQ v KRN and KQ v KRB are
// won only with long technique, KQ v KBB and KQ v KBN hold often), and a
// queen against a rook, which wins but slowly.
constexpr int queenForPieces(const Material& x, const Material& y) {
  Material rx{}, ry{};
  if (!without(x, 0, 0, 0, 1, &rx)) return 0;
  const struct { int n, b, r, value; } sets[] = {
      {1, 0, 1, -8}, {0, 1, 1, -8}, {2, 0, 0, -6}, {0, 2, 0, -6}, {1, 1, 0, -6},
      {2, 1, 0, -6}, {1, 2, 0, -6}, {0, 0, 1, -4}};
  for (const auto& m : sets) {
    if (!without(y, m.n, m.b, m.r, 0, &ry) || !samePieces(rx, ry)) continue;
    return rx.pieces() != 0 ? evenHalf(m.value) : m.value;
  }
  return 0;
}

// Pieces alone against pawns (x has no pawns): a lone minor cannot win and
// rarely holds more than the pawns (KN or KB v KP is a draw unless the
// pawn runs), a rook wins against one pawn unless it is far advanced with
// its king, and two connected pawns often hold it.
constexpr int piecesForPawns(const Material& x, const Material& y) {
  if (x.pawns != 0 || y.pieces() != 0 || y.pawns == 0 || y.pawns > 2) return 0;
  if (loneMinor(x)) return y.pawns == 1 ? -14 : -8;
  if (x.is(0, 0, 1, 0)) return y.pawns == 1 ? -6 : -10;
  return 0;
}

// An extra pawn or two on top of equal material points (the same pieces, at
// most four, or pieces of equal worth, at most three each): minor-piece
// endings with one extra pawn are mostly drawn (KNP v KN, KBP v KB with the defending king in
// front, KNP v KB), so are KQP v KQ and KRP v KR; the values halve with a
// pawn on both sides and with two extra pawns.
constexpr int extraPawns(const Material& x, const Material& y) {
  if (x.points() != y.points() || x.pawns <= y.pawns || x.pieces() == 0) return 0;
  if (samePieces(x, y) ? x.pieces() > 4 : (x.pieces() > 3 || y.pieces() > 3)) return 0;
  int v;
  if (!samePieces(x, y)) v = -8;
  else if (loneMinor(x)) v = -8;
  else if (x.is(0, 0, 0, 1)) v = -10;
  else if (x.is(0, 0, 1, 0)) v = -6;
  else v = -4;
  if (x.pawns - y.pawns == 1 && y.pawns == 0) return v;
  return evenHalf(v);
}

// Piece adjustment of x against y before pawns are looked at.
constexpr int pieceAdjustment(const Material& x, const Material& y) {
  if (int v = extraMinor(x, y)) return v;
  if (int v = exchange(x, y)) return v;
  if (int v = minorsForRook(x, y)) return v;
  return queenForPieces(x, y);
}

// The piece adjustment at the given pawn counts: full without pawns,
// divided by (1 + pawns of x) * (1 + pawns of y) and kept even, so that
// KR v KNP keeps half of KR v KN and KRP v KNP a quarter. Two minors
// against one keep the full value with a single pawn on the board: without
// pawns most of those balances are draw classes, so it is with one pawn
// that their adjustment shows.
constexpr int withPawns(int v, const Material& x, const Material& y) {
  const bool twoAgainstOne = x.pieces() == 2 && x.minors() == 2 && loneMinor(y);
  if (twoAgainstOne && x.pawns + y.pawns <= 1) return v;
  const int q = v / ((1 + x.pawns) * (1 + y.pawns));
  return q - q % 2;
}

// Signed adjustment for the row side a against b (antisymmetric): zero
// once either side has three pawns.
constexpr int adjustment(const Material& a, const Material& b) {
  if (a.pawns > 2 || b.pawns > 2) return 0;
  const int pa = a.points(), pb = b.points();
  if (pa == pb && a.pawns == b.pawns) return 0;
  // Order by pieces first, then by pawns, so that each pair is judged once.
  const bool aStronger = pa > pb || (pa == pb && a.pawns > b.pawns);
  const Material& x = aStronger ? a : b;
  const Material& y = aStronger ? b : a;
  int v = piecesForPawns(x, y);
  if (v == 0) v = extraPawns(x, y);
  if (v == 0) v = withPawns(pieceAdjustment(x, y), x, y);
  return aStronger ? v : -v;
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
