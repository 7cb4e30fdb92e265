// Retrograde generation of one class. Two stages:
//  1. Forward, on the real board: every node is set up, its legal moves are
//     generated and made; mate and stalemate are decided, captures and
//     promotions are resolved in the smaller classes, and the moves that
//     stay in the class are counted (distinct successor nodes).
//  2. Backward, by ply level: the nodes decided at level d un-move to their
//     predecessors. Below a node lost at d every predecessor wins at d + 1;
//     below a node won at d each predecessor loses one escape, and one with
//     none left is lost at d + 1 (or later, if a capture holds out longer).
// Whatever is undecided at the end is drawn.
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "board/build.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "tablebase/tbgen.h"

namespace {

// Escape counts and the markers that take their place.
constexpr uint8_t CountIllegal = 255;  // no legal position (or not the canonical form)
constexpr uint8_t CountDraw = 254;     // a drawing capture exists: never lost
constexpr int MaxSuccessors = 128;

// Bytes shared with the worker processes of the forward stage (each has
// its own board), so their judgements land in the parent's tables.
struct SharedBytes {
  uint8_t* bytes = nullptr;
  uint64_t n = 0;

  uint8_t& operator[](uint64_t i) { return bytes[i]; }
  uint8_t* data() { return bytes; }
  uint64_t size() const { return n; }
  void release() {
    if (bytes) munmap(bytes, n);
    bytes = nullptr;
    n = 0;
  }
  bool resize(uint64_t count, uint8_t fill) {
    void* at = mmap(nullptr, count ? count : 1, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (at == MAP_FAILED) return false;
    uint8_t* fresh = static_cast<uint8_t*>(at);
    const uint64_t keep = std::min(n, count);
    if (keep) std::memcpy(fresh, bytes, keep);
    if (count > keep) std::memset(fresh + keep, fill, count - keep);
    release();
    bytes = fresh;
    n = count;
    return true;
  }
};

// Working state of the class being generated. A node number below
// baseSize is a base node, above it an en-passant node (baseSize + its
// position in epKeys).
struct GenWork {
  const GenMaterial* mat;
  GenLookup lookup;
  SharedBytes level[2];  // the distance (or its bound) in plies
  SharedBytes count[2];  // escapes left, or a marker
  std::vector<uint64_t> epKeys[2];
  bool missingClass;
  int highestLevel;
};

GenWork work;

inline uint8_t& levelOf(int side, uint64_t node) { return work.level[side][node]; }
inline uint8_t& countOf(int side, uint64_t node) { return work.count[side][node]; }

bool squaresDistinct(const GenMaterial& mat, const GenSquares& sq) {
  uint64_t seen = (1ull << sq.king[0]) | (1ull << sq.king[1]);
  if (sq.king[0] == sq.king[1]) return false;
  for (int i = 0; i < mat.men; ++i) {
    if (seen & (1ull << sq.man[i])) return false;
    seen |= 1ull << sq.man[i];
  }
  return true;
}

uint64_t occupancy(const GenMaterial& mat, const GenSquares& sq) {
  uint64_t occ = (1ull << sq.king[0]) | (1ull << sq.king[1]);
  for (int i = 0; i < mat.men; ++i) occ |= 1ull << sq.man[i];
  return occ;
}

// The man of the pawn that has just made a double step to `to` for the
// side `mover`, when the other side could take it en passant; -1 if none.
bool epTakerBeside(const GenMaterial& mat, const GenSquares& sq, int mover, int to) {
  for (int i = 0; i < mat.men; ++i)
    if (mat.type[i] == Pawn && mat.colour[i] != mover && (sq.man[i] >> 3) == (to >> 3) &&
        (sq.man[i] == to + 1 || sq.man[i] == to - 1))
      return true;
  return false;
}

// En-passant nodes with `side` to move that share the squares of a base
// node: each pawn of the other side on its double-step rank with both
// squares behind it empty and a pawn of `side` beside it.
int epMenOf(const GenMaterial& mat, const GenSquares& sq, int side, int* men) {
  if (!mat.epPossible) return 0;
  const int mover = side ^ 1, rank = mover == White ? 3 : 4, back = mover == White ? -8 : 8;
  const uint64_t occ = occupancy(mat, sq);
  int n = 0;
  for (int i = 0; i < mat.men; ++i) {
    const int q = sq.man[i];
    if (mat.type[i] != Pawn || mat.colour[i] != mover || (q >> 3) != rank) continue;
    if ((occ >> (q + back)) & 1 || (occ >> (q + 2 * back)) & 1) continue;
    if (epTakerBeside(mat, sq, mover, q)) men[n++] = i;
  }
  return n;
}

uint64_t epNode(int side, uint64_t base, int man) {
  const std::vector<uint64_t>& keys = work.epKeys[side];
  const auto it = std::lower_bound(keys.begin(), keys.end(), genEpKey(base, man));
  if (it == keys.end() || *it != genEpKey(base, man)) return ~0ull;
  return work.mat->baseSize + static_cast<uint64_t>(it - keys.begin());
}

// Node numbers of the moves (or un-moves) of one node. Moves reach distinct
// positions, and a number found without normalising is its position's own
// canonical one, so only a normalised number can repeat another.
struct NodeList {
  uint64_t node[512];  // numbers known to be distinct
  uint64_t normalised[512];
  int n = 0, m = 0;

  void add(uint64_t key, bool distinctForm, int cap) {
    if (n + m >= cap) return;
    if (distinctForm) node[n++] = key;
    else normalised[m++] = key;
  }
  // Moves the normalised numbers that repeat none into node[]; returns
  // how many distinct numbers it holds. Many of them are sorted instead.
  int distinct() {
    if (m > 8) {
      std::copy(normalised, normalised + m, node + n);
      std::sort(node, node + n + m);
      n = static_cast<int>(std::unique(node, node + n + m) - node);
    } else {
      for (int i = 0; i < m; ++i)
        if (std::find(node, node + n, normalised[i]) == node + n) node[n++] = normalised[i];
    }
    m = 0;
    return n;
  }
};

// ---- Stage 1: the forward judgement on the real board ----------------------------

void setUpBoard(const GenMaterial& mat, const GenSquares& sq, int side, int ep) {
  std::memset(pos.pieceOn, None, sizeof pos.pieceOn);
  std::memset(pos.colourOn, NoColour, sizeof pos.colourOn);
  for (int c = 0; c < 2; ++c) {
    pos.pieceOn[sq.king[c]] = King;
    pos.colourOn[sq.king[c]] = static_cast<uint8_t>(c);
  }
  for (int i = 0; i < mat.men; ++i) {
    pos.pieceOn[sq.man[i]] = mat.type[i];
    pos.colourOn[sq.man[i]] = mat.colour[i];
  }
  buildPosition(side);
  // No castling in a table: a king on its start square counts as moved.
  pos.moveCount[sq.king[White]] = pos.moveCount[sq.king[Black]] = 1;
  pos.epSquare = static_cast<uint32_t>(ep);
}

GenMen menOnBoard() {
  GenMen men;
  men.count = 0;
  for (int c = 0; c < 2; ++c) {
    men.king[c] = static_cast<uint8_t>(kingSquare(c));
    for (PieceSet set = pos.pieceSet[c] & ~1u; set; set &= set - 1) {
      const int q = pos.pieceList[c][__builtin_ctz(set)];
      if (men.count == GenMaxMen) {
        men.count = GenMaxMen + 1;
        return men;
      }
      men.type[men.count] = pos.pieceOn[q];
      men.colour[men.count] = static_cast<uint8_t>(c);
      men.square[men.count++] = static_cast<uint8_t>(q);
    }
  }
  return men;
}

// What the moves that leave the class (captures, promotions) promise.
struct ExitSummary {
  int bestWin = 1000;   // shortest win in plies through an exit
  int longestLoss = 0;  // the longest loss in plies through an exit
  bool draw = false;
};

// Judges the position on the board, just reached by a capture or a
// promotion, through the smaller class it belongs to.
void judgeExit(int side, ExitSummary* exits) {
  const GenMen men = menOnBoard();
  uint8_t d = GenDraw;  // two bare kings are a draw
  if (men.count > 0 && !work.lookup(men, side ^ 1, &d)) {
    work.missingClass = true;
    return;
  }
  if (d == GenDraw)
    exits->draw = true;
  else if (d % 2 == 0)
    exits->bestWin = std::min(exits->bestWin, d + 1);
  else
    exits->longestLoss = std::max(exits->longestLoss, d + 1);
}

// The slot of the man of `side` on `square`.
int slotOn(const GenMaterial& mat, const GenSquares& sq, int side, int square) {
  if (sq.king[side] == square) return side;
  for (int i = 0; i < mat.men; ++i)
    if (sq.man[i] == square) return 2 + i;
  return side;
}

// Node key of the position after a move that stays in the class; epNext
// when the move was a double step that left an en-passant right. sq and
// node are the canonical position the move is made in. fast tells whether
// the key came without normalising (it then is the moved squares' own).
uint64_t successorKey(const GenSquares& sq, uint64_t node, Move m, int side, bool epNext, bool* fast) {
  const GenMaterial& mat = *work.mat;
  const int from = moveFrom(m), to = moveTo(m), slot = slotOn(mat, sq, side, from);
  GenSquares next = sq;
  genSlotSquare(next, slot) = static_cast<uint8_t>(to);
  const int mirror = mat.pawns && (next.king[White] & 4) ? 7 : 0;
  uint64_t base = genShiftedNode(mat, sq, node, slot, to);
  *fast = base != GenShiftUnknown;
  if (!*fast) base = genNormalize(mat, &next);
  if (!epNext) return base;
  for (int i = 0; i < mat.men; ++i)
    if (mat.type[i] == Pawn && next.man[i] == (to ^ mirror)) return mat.baseSize + genEpKey(base, i);
  return base;
}

// Decides a node on the board as set up (the canonical squares sq of base
// node `node`), with `side` to move: level and escape count. false when
// the side not to move stands in check.
bool judgeNode(const GenSquares& sq, uint64_t node, int side, uint8_t* level, uint8_t* count) {
  setSideToMove(side);
  if (pos.attackTable[side].sq[kingSquare(side ^ 1)].directCounts != 0) return false;
  // Each generated move is made once: an illegal one is dropped, a capture
  // or promotion is judged on the board it leads to, any other move gives
  // the node it leads to.
  ScoredMove moves[MaxMovesPerPly];
  uint32_t flags;
  const bool inCheck = isInCheck();
  const int n = inCheck ? generateEvasions(&flags, side, -1, 0, moves) : generateAll(moves, side, -1, 0);
  ExitSummary exits;
  NodeList keys;
  int legal = 0;
  bool fast = true;
  for (int i = 0; i < n; ++i) {
    const Move m = moves[i].move, kind = m & KindMask;
    const GenQuietVerdict quiet = genJudgeQuiet(m, side, inCheck);
    if (quiet != GenNeedsTheBoard) {
      if (quiet == GenIllegal) continue;
      ++legal;
      const uint64_t key = successorKey(sq, node, m, side, false, &fast);
      keys.add(key, fast, MaxSuccessors);
      continue;
    }
    makeMove(m);
    if (moverLeftKingInCheck()) {
      unmakeMove();
      continue;
    }
    ++legal;
    if (kind == CaptureKind || kind == EnPassantKind || isPromotion(m)) {
      judgeExit(side, &exits);
      unmakeMove();
      continue;
    }
    const bool epNext = pos.epSquare != 0;
    unmakeMove();
    const uint64_t key = successorKey(sq, node, m, side, epNext, &fast);
    keys.add(key, fast, MaxSuccessors);
  }
  if (legal == 0) {
    *level = 0;
    *count = inCheck ? 0 : CountDraw;
    return true;
  }
  const int distinct = keys.distinct();
  if (exits.bestWin < 1000) {
    *level = static_cast<uint8_t>(std::min(exits.bestWin, 255));
    *count = 0;
  } else if (exits.draw) {
    *level = 0;
    *count = CountDraw;
  } else {
    *level = static_cast<uint8_t>(std::min(exits.longestLoss, 255));
    *count = static_cast<uint8_t>(distinct);
  }
  return true;
}

bool kingsApart(const GenSquares& sq) {
  const int a = sq.king[0], b = sq.king[1];
  const int df = (a & 7) - (b & 7), dr = (a >> 3) - (b >> 3);
  return df > 1 || df < -1 || dr > 1 || dr < -1;
}

// Sets up the board of the base node sq, by moving the last man when
// that is all that differs from the board set up before (onBoard): the
// last man's digit changes fastest, so this is the common case, and it is
// much cheaper than building the board again.
void setUpNext(const GenMaterial& mat, const GenSquares& sq, GenSquares* onBoard, bool* boardSet) {
  const int last = mat.men - 1;
  bool onlyLastMoved = *boardSet && last >= 0 && sq.king[White] == onBoard->king[White] &&
                       sq.king[Black] == onBoard->king[Black] && pos.colourOn[sq.man[last]] == NoColour;
  for (int i = 0; i < last && onlyLastMoved; ++i) onlyLastMoved = sq.man[i] == onBoard->man[i];
  if (onlyLastMoved) relocateMan(onBoard->man[last], sq.man[last]);
  else setUpBoard(mat, sq, White, 0);
  *onBoard = sq;
  *boardSet = true;
}

// Both sides to move share the squares, the node number and one set-up.
// Returns false when a smaller class was missing.
bool judgeBaseNodes(uint64_t first, uint64_t last) {
  const GenMaterial& mat = *work.mat;
  GenSquares onBoard;
  bool boardSet = false;
  for (uint64_t node = first; node < last && !work.missingClass; ++node) {
    GenSquares sq;
    genDecode(mat, node, &sq);
    if (!squaresDistinct(mat, sq) || !kingsApart(sq) || !genIsCanonical(mat, sq, node)) continue;
    setUpNext(mat, sq, &onBoard, &boardSet);
    for (int side = 0; side < 2; ++side)
      if (!judgeNode(sq, node, side, &levelOf(side, node), &countOf(side, node))) {
        levelOf(side, node) = 0;
        countOf(side, node) = CountIllegal;
      }
  }
  return !work.missingClass;
}

// One process per core, or BRAXEN_TB_WORKERS; one for a small class.
long workerCount(uint64_t nodes) {
  long workers = sysconf(_SC_NPROCESSORS_ONLN);
  if (const char* env = std::getenv("BRAXEN_TB_WORKERS")) workers = std::atol(env);
  return nodes < 100000 ? 1 : std::clamp(workers, 1L, 8L);
}

// The forward stage split over worker processes, the parent taking the
// first share. Workers inherit the smaller classes and write their
// judgements into the shared tables.
void judgeAllBaseNodes() {
  const uint64_t size = work.mat->baseSize;
  const long workers = workerCount(size);
  std::vector<pid_t> children;
  std::vector<long> ownShares = {0};
  std::fflush(nullptr);  // nothing buffered may be written twice
  for (long w = 1; w < workers; ++w) {
    const pid_t pid = fork();
    if (pid == 0) {
      _exit(judgeBaseNodes(size * w / workers, size * (w + 1) / workers) ? 0 : 3);
    }
    if (pid > 0) children.push_back(pid);
    else ownShares.push_back(w);  // no process for it: the parent judges it
  }
  for (const long w : ownShares) judgeBaseNodes(size * w / workers, size * (w + 1) / workers);
  for (const pid_t pid : children) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) work.missingClass = true;
  }
}

// En-passant nodes follow from the legal base nodes: a pawn of the side
// not to move that may just have made a double step beside an enemy pawn.
void collectEpKeys() {
  const GenMaterial& mat = *work.mat;
  if (!mat.epPossible) return;
  for (uint64_t node = 0; node < mat.baseSize; ++node)
    for (int side = 0; side < 2; ++side) {
      if (countOf(side, node) == CountIllegal) continue;
      GenSquares sq;
      genDecode(mat, node, &sq);
      int epMen[GenMaxMen];
      const int e = epMenOf(mat, sq, side, epMen);
      for (int i = 0; i < e; ++i) work.epKeys[side].push_back(genEpKey(node, epMen[i]));
    }
}

void judgeEpNodes(int side) {
  const GenMaterial& mat = *work.mat;
  const std::vector<uint64_t>& keys = work.epKeys[side];
  work.level[side].resize(mat.baseSize + keys.size(), 0);
  work.count[side].resize(mat.baseSize + keys.size(), CountIllegal);
  for (size_t i = 0; i < keys.size(); ++i) {
    GenSquares sq;
    genDecode(mat, keys[i] / 4, &sq);
    const int q = sq.man[keys[i] % 4];
    setUpBoard(mat, sq, side, side == White ? q + 8 : q - 8);
    if (!judgeNode(sq, keys[i] / 4, side, &levelOf(side, mat.baseSize + i), &countOf(side, mat.baseSize + i)))
      countOf(side, mat.baseSize + i) = CountIllegal;
  }
}

// ---- Stage 2: un-moves ---------------------------------------------------------------

constexpr int kingSteps[8][2] = {{1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}, {0, -1}, {1, -1}};
constexpr int knightSteps[8][2] = {{1, 2}, {2, 1}, {2, -1}, {1, -2}, {-1, -2}, {-2, -1}, {-2, 1}, {-1, 2}};

using Predecessors = NodeList;
constexpr int MaxPredecessors = 511;

// Adds the predecessor reached from the canonical position (sq, node) by
// moving the man in `slot` to `to`.
void addPredecessor(const GenSquares& sq, uint64_t node, int slot, int to, int mover, Predecessors* out) {
  const GenMaterial& mat = *work.mat;
  uint64_t base = genShiftedNode(mat, sq, node, slot, to);
  const bool shifted = base != GenShiftUnknown;
  if (shifted && !mat.epPossible) {
    out->add(base, true, MaxPredecessors);
    return;
  }
  GenSquares moved = sq;
  genSlotSquare(moved, slot) = static_cast<uint8_t>(to);
  if (!shifted) base = genNormalize(mat, &moved);
  out->add(base, shifted, MaxPredecessors);
  // The same squares with the other side's double step just made.
  int epMen[GenMaxMen];
  const int e = epMenOf(mat, moved, mover, epMen);
  for (int i = 0; i < e; ++i) {
    const uint64_t ep = epNode(mover, base, epMen[i]);
    if (ep != ~0ull) out->add(ep, shifted, MaxPredecessors);
  }
}

// Steps of one man (in `slot` of the canonical position sq, node) backwards:
// a piece retraces any of its moves, a pawn steps back (two squares from its
// double-step rank unless that step would have left an en-passant right,
// which is another node).
void unmovePiece(const GenSquares& sq, uint64_t node, int slot, int type, int mover, uint64_t occ,
                 Predecessors* out) {
  const int from = slot < 2 ? sq.king[slot] : sq.man[slot - 2], f = from & 7, r = from >> 3;
  auto tryTo = [&](int to) { addPredecessor(sq, node, slot, to, mover, out); };
  if (type == Pawn) {
    const int back = mover == White ? -8 : 8, start = mover == White ? 1 : 6;
    const int one = from + back;
    if ((one >> 3) == 0 || (one >> 3) == 7 || ((occ >> one) & 1)) return;
    tryTo(one);
    const int two = one + back;
    if ((two >> 3) == start && !((occ >> two) & 1) && !epTakerBeside(*work.mat, sq, mover, from)) tryTo(two);
    return;
  }
  if (type == King || type == Knight) {
    const int (*steps)[2] = type == King ? kingSteps : knightSteps;
    for (int i = 0; i < 8; ++i) {
      const int nf = f + steps[i][0], nr = r + steps[i][1];
      if (nf < 0 || nf > 7 || nr < 0 || nr > 7 || ((occ >> (nr * 8 + nf)) & 1)) continue;
      tryTo(nr * 8 + nf);
    }
    return;
  }
  const int first = type == Bishop ? 1 : 0, stride = type == Queen ? 1 : 2;
  for (int i = first; i < 8; i += stride)
    for (int nf = f + kingSteps[i][0], nr = r + kingSteps[i][1];
         nf >= 0 && nf <= 7 && nr >= 0 && nr <= 7 && !((occ >> (nr * 8 + nf)) & 1);
         nf += kingSteps[i][0], nr += kingSteps[i][1])
      tryTo(nr * 8 + nf);
}

void collectPredecessors(int side, uint64_t node, Predecessors* out) {
  const GenMaterial& mat = *work.mat;
  const int mover = side ^ 1;
  GenSquares sq;
  if (node >= mat.baseSize) {
    // An en-passant node has one predecessor: before the double step.
    const uint64_t key = work.epKeys[side][node - mat.baseSize];
    genDecode(mat, key / 4, &sq);
    const int man = static_cast<int>(key % 4);
    addPredecessor(sq, key / 4, 2 + man, sq.man[man] + (mover == White ? -16 : 16), mover, out);
    return;
  }
  genDecode(mat, node, &sq);
  const uint64_t occ = occupancy(mat, sq);
  unmovePiece(sq, node, mover, King, mover, occ, out);
  for (int i = 0; i < mat.men; ++i)
    if (mat.colour[i] == mover) unmovePiece(sq, node, 2 + i, mat.type[i], mover, occ, out);
}

// The nodes of one level hand their result to their predecessors. Workers
// share a level, each scanning its own range of nodes, and may reach the
// same predecessor at once, so every update is atomic: a win is the same
// level whoever writes it, and each escape is taken away exactly once.
inline uint8_t loadByte(const uint8_t* b) { return __atomic_load_n(b, __ATOMIC_ACQUIRE); }
inline void storeByte(uint8_t* b, uint8_t v) { __atomic_store_n(b, v, __ATOMIC_RELEASE); }

// A move into a node lost at d wins at d + 1, unless a win as short is known.
int markWin(uint8_t* count, uint8_t* level, int d) {
  const uint8_t c = loadByte(count), l = loadByte(level);
  if (c == CountIllegal || (c == 0 && (l % 2 == 0 || l <= d + 1))) return 0;
  storeByte(level, static_cast<uint8_t>(d + 1));
  storeByte(count, 0);
  return d + 1;
}

// One more escape leads into a node won at d; with none left the node is
// lost at d + 1, or later if a capture holds out longer.
int takeEscape(uint8_t* count, uint8_t* level, int d) {
  uint8_t c = loadByte(count);
  do {
    if (c == 0 || c == CountDraw || c == CountIllegal) return 0;
  } while (!__atomic_compare_exchange_n(count, &c, static_cast<uint8_t>(c - 1), false, __ATOMIC_ACQ_REL,
                                        __ATOMIC_ACQUIRE));
  if (c != 1) return 0;
  const uint8_t l = std::max<uint8_t>(loadByte(level), static_cast<uint8_t>(d + 1));
  storeByte(level, l);
  return l;
}

// Hands the result of a node decided at level d to its predecessors;
// returns the highest level it set (0 for none).
int spreadFrom(int side, uint64_t node, int d) {
  Predecessors preds;
  collectPredecessors(side, node, &preds);
  const int n = preds.distinct();
  const int mover = side ^ 1;
  int highest = 0;
  for (int i = 0; i < n; ++i) {
    uint8_t* count = &countOf(mover, preds.node[i]);
    uint8_t* level = &levelOf(mover, preds.node[i]);
    highest = std::max(highest, d % 2 == 0 ? markWin(count, level, d) : takeEscape(count, level, d));
  }
  return highest;
}

// The next node from `node` on (last if none) that was decided at level d.
// Nodes decided at level 0 are the mates, few among the many undecided
// nodes whose level is 0 as well, so that level looks for an escape count
// of 0; any other level looks for the level byte. memchr passes over the
// long runs without a match many bytes at a time.
uint64_t nextDecided(const uint8_t* level, const uint8_t* count, int d, uint64_t node, uint64_t last) {
  const uint8_t* bytes = d == 0 ? count : level;
  while (node < last) {
    const void* hit = std::memchr(bytes + node, d, last - node);
    if (!hit) return last;
    node = static_cast<uint64_t>(static_cast<const uint8_t*>(hit) - bytes);
    if (level[node] == d && count[node] == 0) return node;
    ++node;
  }
  return last;
}

int spreadRange(int side, int d, uint64_t first, uint64_t last) {
  const uint8_t* level = work.level[side].data();
  const uint8_t* count = work.count[side].data();
  int highest = 0;
  for (uint64_t node = nextDecided(level, count, d, first, last); node < last;
       node = nextDecided(level, count, d, node + 1, last))
    highest = std::max(highest, spreadFrom(side, node, d));
  return highest;
}

// One level of one side over the worker processes; each reports the
// highest level it set as its exit status. False when a worker failed.
bool spreadLevel(int side, int d) {
  const uint64_t size = work.level[side].size();
  const long workers = workerCount(size);
  std::vector<pid_t> children;
  std::vector<long> ownShares = {0};
  for (long w = 1; w < workers; ++w) {
    const pid_t pid = fork();
    if (pid == 0) _exit(spreadRange(side, d, size * w / workers, size * (w + 1) / workers));
    if (pid > 0) children.push_back(pid);
    else ownShares.push_back(w);
  }
  for (const long w : ownShares)
    work.highestLevel = std::max(work.highestLevel, spreadRange(side, d, size * w / workers, size * (w + 1) / workers));
  bool ok = true;
  for (const pid_t pid : children) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) ok = false;
    else work.highestLevel = std::max(work.highestLevel, WEXITSTATUS(status));
  }
  return ok;
}

bool spreadLevels() {
  std::fflush(nullptr);  // nothing buffered may be written twice
  for (int d = 0; d <= work.highestLevel && d < 255; ++d)
    for (int side = 0; side < 2; ++side)
      if (!spreadLevel(side, d)) return false;
  return true;
}

void initialHighest() {
  work.highestLevel = 0;
  for (int side = 0; side < 2; ++side)
    for (uint64_t node = 0; node < work.level[side].size(); ++node)
      if (work.count[side][node] == 0) work.highestLevel = std::max<int>(work.highestLevel, work.level[side][node]);
}

void finish(GenTable* table, GenStats* stats) {
  const GenMaterial& mat = *work.mat;
  for (int side = 0; side < 2; ++side) {
    table->dist[side].assign(mat.baseSize, GenDraw);
    table->legal[side].assign((mat.baseSize + 63) / 64, 0);
    table->epKeys[side] = work.epKeys[side];
    table->epDist[side].assign(work.epKeys[side].size(), GenDraw);
    for (uint64_t node = 0; node < work.level[side].size(); ++node) {
      const uint8_t count = work.count[side][node];
      if (count == CountIllegal) continue;
      const uint8_t d = count == 0 ? work.level[side][node] : GenDraw;
      if (node < mat.baseSize) {
        table->dist[side][node] = d;
        table->legal[side][node / 64] |= 1ull << (node % 64);
        ++stats->nodes[side];
        if (d == GenDraw)
          ++stats->draws[side];
        else
          ++(d % 2 ? stats->wins : stats->losses)[side];
      } else {
        table->epDist[side][node - mat.baseSize] = d;
      }
      if (d != GenDraw) stats->longestPlies = std::max<int>(stats->longestPlies, d);
    }
    work.level[side].release();
    work.count[side].release();
    std::vector<uint64_t>().swap(work.epKeys[side]);
  }
}

}  // namespace

GenQuietVerdict genJudgeQuiet(Move m, int side, bool inCheck) {
  if (inCheck || (m & KindMask) != QuietKind || isPromotion(m)) return GenNeedsTheBoard;
  const int from = moveFrom(m), to = moveTo(m), type = pos.pieceOn[from];
  if (type == King) return pos.attackTable[side ^ 1].sq[to].directCounts != 0 ? GenIllegal : GenLegal;
  if (type == Pawn && (to - from == 16 || from - to == 16)) return GenNeedsTheBoard;
  return isPinned(from, side ^ 1) ? GenNeedsTheBoard : GenLegal;
}

bool genGenerate(const char* name, GenLookup lookup, GenTable* table, GenStats* stats) {
  const auto start = std::chrono::steady_clock::now();
  std::memset(stats, 0, sizeof *stats);
  if (!genParseMaterial(name, &table->mat)) return false;
  work.mat = &table->mat;
  work.lookup = lookup;
  work.missingClass = false;
  searchFlags &= ~Chess960Flag;
  for (int side = 0; side < 2; ++side) {
    work.epKeys[side].clear();
    if (!work.level[side].resize(table->mat.baseSize, 0) || !work.count[side].resize(table->mat.baseSize, CountIllegal))
      return false;
  }
  judgeAllBaseNodes();
  if (!work.missingClass) collectEpKeys();
  for (int side = 0; side < 2 && !work.missingClass; ++side) judgeEpNodes(side);
  if (!work.missingClass) {
    initialHighest();
    work.missingClass = !spreadLevels();  // a worker that died leaves the levels unfinished
  }
  if (work.missingClass) {
    for (int side = 0; side < 2; ++side) {
      work.level[side].release();
      work.count[side].release();
    }
    return false;
  }
  finish(table, stats);
  stats->seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return true;
}

uint8_t genTableDistance(const GenTable& table, GenSquares sq, int side, int ep) {
  const GenMaterial& mat = table.mat;
  const int mirror = mat.pawns && (sq.king[White] & 4) ? 7 : 0;
  const uint64_t base = genNormalize(mat, &sq);
  if (ep) {
    const int pawnAt = (side == White ? ep - 8 : ep + 8) ^ mirror;
    for (int i = 0; i < mat.men; ++i)
      if (mat.type[i] == Pawn && sq.man[i] == pawnAt) {
        const std::vector<uint64_t>& keys = table.epKeys[side];
        const auto it = std::lower_bound(keys.begin(), keys.end(), genEpKey(base, i));
        if (it != keys.end() && *it == genEpKey(base, i)) return table.epDist[side][it - keys.begin()];
      }
  }
  return table.dist[side][base];
}
