// Move ordering: history and killer tables, the ordering passes after
// generation, the cutoff update and the ageing of the tables.
#include "search/ordering.h"

#include "board/attacks.h"
#include "board/geometry.h"
#include "board/movegen.h"

uint16_t historyScore[HistorySize];
uint16_t historyTries[HistorySize];
uint16_t historyHits[HistorySize];
uint8_t historyRatio[HistorySize];
uint16_t killer1[MaxPly + 1];
uint16_t killer2[MaxPly + 1];
int32_t pruneRatioThreshold = 160;

namespace {

constexpr int QuietBase = -30000;
constexpr int GoodCaptureBase = 30003;
constexpr int CheckMateNetBonus = 2000;
constexpr int TriesCeiling = 65470;

int countWord(const SquareAttacks& a) { return a.directCounts + a.xrayCount2; }

void addTries(int i, int d) {
  historyTries[i] = static_cast<uint16_t>(historyTries[i] + d);
  if (historyTries[i] >= TriesCeiling) {
    historyTries[i] = static_cast<uint16_t>((historyTries[i] + 1) / 2);
    historyHits[i] = static_cast<uint16_t>((historyHits[i] + 1) / 2);
  }
  historyRatio[i] = static_cast<uint8_t>(historyTries[i] == 0 ? 0 :
      (static_cast<uint32_t>(historyHits[i]) * 256 / historyTries[i] > 255 ? 255 :
       static_cast<uint32_t>(historyHits[i]) * 256 / historyTries[i]));
}

// Whether a man of `type` on `from` attacks `target` with the square `through` counted as empty.
bool covers(int type, int from, int target, int through) {
  const int d = directionTo[target][from];
  if (d >= 16 || from == target) return false;
  switch (type) {
    case Knight: return d >= 8;
    case Bishop: if (d < 4 || d >= 8) return false; break;
    case Rook: if (d >= 4) return false; break;
    case Queen: if (d >= 8) return false; break;
    default: return false;
  }
  return firstOnRay(d, from, (pos.occupied & ~squareBit(through)) | squareBit(target)) == target;
}

// True when the checking man of `type` arriving on `to` (from `from`)
// leaves the enemy king no flight square.
bool noFlight(int side, int type, int from, int to) {
  const int k = kingSquare(side ^ 1);
  const AttackTable& ours = pos.attackTable[side];
  for (int d = 0; d < 8; d++) {
    const int n = nextSquare[d][k];
    if (n == 255 || n == to) {
      if (n == to && ours.sq[to].directCounts == 0) return false;  // the king may take the checker
      continue;
    }
    if (pos.colourOn[n] == (side ^ 1)) continue;
    const SquareAttacks& a = ours.sq[n];
    // The mover's attacks from its old square do not count any more.
    const bool fromOld = a.directCounts != 0 && (a.directAttackers & ~pos.slotBitOn[from]) == 0 &&
                         (a.directAttackers & pos.slotBitOn[from]);
    if (a.directCounts != 0 && !fromOld) continue;
    if (type == Pawn) {
      const int step = side == White ? 8 : -8;
      if ((fileOf(to) > 0 && to + step - 1 == n) || (fileOf(to) < 7 && to + step + 1 == n)) continue;
      return false;
    }
    if (!covers(type, to, n, k)) return false;
  }
  return true;
}

}  // namespace

int exchangeKeep(int side, int to, int ownWeight, int value) {
  const SquareAttacks& theirs = pos.attackTable[side ^ 1].sq[to];
  if (theirs.directCounts == 0) return value;
  const int ours = countWord(pos.attackTable[side].sq[to]) - ownWeight;
  const int keep = 8 * exchangeLoss[attackClassOf(countWord(theirs))][attackClassOf(ours < 0 ? 0 : ours)];
  return keep < value ? keep : value;
}

PromotionLine promotionLine(int side, int from, int to) {
  PromotionLine line{0, 0};
  const int d = directionTo[from][to];  // from the promotion square back through the pawn
  if (d >= 8 || fileOf(from) != fileOf(to)) return line;
  // The first man behind the pawn, and a second one behind it on the same
  // file: rooks and queens there bear on the square once the pawn leaves.
  bool direct = true;
  for (int q = nextSquare[d][from]; q != 255; q = nextSquare[d][q]) {
    const int type = pos.pieceOn[q];
    if (type == None) continue;
    if (type != Rook && type != Queen) break;
    unsigned& count = pos.colourOn[q] == side ? line.own : line.their;
    count += direct ? attackWeight[type] : 2;
    if (!direct) break;
    direct = false;
  }
  return line;
}

int promotionKeep(int side, int to, const PromotionLine& line, int value) {
  const unsigned theirs = countWord(pos.attackTable[side ^ 1].sq[to]) + line.their;
  if (theirs == 0) return value;
  const unsigned ours = countWord(pos.attackTable[side].sq[to]) + line.own;
  const int keep = 8 * exchangeLoss[attackClassOf(theirs)][attackClassOf(ours)];
  return keep < value ? keep : value;
}

// Material the moving man can expect to keep on its destination: a
// promotion counts as the new piece and brings the rooks and queens lined
// up behind the pawn into play; any other move is the plain estimate.
inline int moveKeep(int side, Move m, int from, int to, int type, int value) {
  if (isPromotion(m) && fileOf(from) == fileOf(to)) return promotionKeep(side, to, promotionLine(side, from, to), value);
  const bool straightPawn = type == Pawn && fileOf(from) == fileOf(to);
  return exchangeKeep(side, to, straightPawn ? 0 : attackWeight[type], value);
}

// Whether the move's destination needs the exchange estimate: the enemy
// attacks it, or (a promotion) an enemy rook or queen stands behind the pawn.
inline bool contested(int side, Move m, int from, int to) {
  if (pos.attackTable[side ^ 1].sq[to].directCounts != 0) return true;
  return isPromotion(m) && promotionLine(side, from, to).their != 0;
}

void orderMoves(int side, int ply, ScoredMove* begin, ScoredMove* end) {
  const int off = side ? HistoryBlackOffset : 0;
  const int k1 = killer1[ply] + off, k2 = killer2[ply] + off;
  const uint16_t save1 = historyScore[k1], save2 = historyScore[k2];
  historyScore[k2] = Killer2Value;
  historyScore[k1] = Killer1Value;  // killer 1 wins when both name one index
  for (ScoredMove* p = begin; p < end; p++) {
    const Move m = p->move;
    const int from = moveFrom(m), to = moveTo(m);
    const int type = pos.pieceOn[from];
    const bool quiet = (m & (CaptureKind | PromotionBit)) == 0;
    const int h = (type - 1) * 64 + to + off;
    const int hv = historyScore[h];
    int k = p->key;
    if (contested(side, m, from, to) && !(quiet && hv != 0) && (m & KindMask) != CastleKind) {
      const int moverType = isPromotion(m) ? promotionType[(m >> 12) & 7] : type;
      const int value = pieceValue[moverType];
      const int keep = moveKeep(side, m, from, to, type, value);
      if (keep < value) k -= value - keep;
    }
    int key;
    if (quiet)
      key = k + hv + QuietBase;
    else
      key = k >= 0 ? k + GoodCaptureBase : k + QuietBase;
    if (key > HashMoveKey - 1) key = HashMoveKey - 1;
    if (key < -32767) key = -32767;
    p->key = static_cast<int16_t>(key);
  }
  historyScore[k1] = save1;
  historyScore[k2] = save2;
}

void orderQuiescenceMoves(int mode, int side, ScoredMove* begin, ScoredMove* end, int checkBonus) {
  const int enemyKing = kingSquare(side ^ 1);
  for (ScoredMove* p = begin; p < end; p++) {
    const Move m = p->move;
    const int from = moveFrom(m), to = moveTo(m);
    const int type = pos.pieceOn[from];
    int k = p->key;
    bool safe = true;
    if (contested(side, m, from, to)) {
      const int moverType = isPromotion(m) ? promotionType[(m >> 12) & 7] : type;
      const int value = pieceValue[moverType];
      const int keep = moveKeep(side, m, from, to, type, value);
      if (keep < value) {
        k -= value - keep;
        safe = false;
      }
    }
    if ((mode & 2) && givesCheck(m, side)) {
      p->move = static_cast<Move>(m | CheckMark);
      if (safe) {
        const int checker = isPromotion(m) ? promotionType[(m >> 12) & 7] : type;
        if (noFlight(side, checker, from, to)) k += CheckMateNetBonus;
        const int df = fileOf(to) - fileOf(enemyKing), dr = rankOf(to) - rankOf(enemyKing);
        k += 8 * checker - 8 * (df < 0 ? -df : df) - 8 * (dr < 0 ? -dr : dr) + checkBonus;
      }
    }
    k += pos.pieceThreat[from] >> 6;
    if (k > HashMoveKey - 1) k = HashMoveKey - 1;
    if (k < -32767) k = -32767;
    p->key = static_cast<int16_t>(k);
  }
}

void recordCutoff(int ply, int side, ScoredMove* list, int cut, int depth) {
  const Move m = list[cut].move;
  const int off = side ? HistoryBlackOffset : 0;
  const int h = (pos.pieceOn[moveFrom(m)] - 1) * 64 + moveTo(m);
  if (h != killer1[ply]) {
    killer2[ply] = killer1[ply];
    killer1[ply] = static_cast<uint16_t>(h);
  }
  const int i = h + off;
  const int score = historyScore[i] + depth * depth;
  historyScore[i] = static_cast<uint16_t>(score > 65535 ? 65535 : score);
  if (historyScore[i] > HistoryScoreCap) ageHistory();
  historyHits[i] = static_cast<uint16_t>(historyHits[i] + depth);
  addTries(i, depth);
  for (int j = 0; j < cut; j++) {
    const Move o = list[j].move;
    if (o & (CaptureKind | PromotionBit)) continue;
    if (list[j].key == IllegalKey || list[j].key >= depth + HashMoveKey) continue;
    const int t = pos.pieceOn[moveFrom(o)];
    if (t == None) continue;
    addTries((t - 1) * 64 + moveTo(o) + off, depth);
  }
}

void rewardRootMove(int side, int type, Move m, int depth) {
  const int i = historyIndex(side, type, m);
  const int score = historyScore[i] + depth * depth;
  historyScore[i] = static_cast<uint16_t>(score > 65535 ? 65535 : score);
  if (historyScore[i] > HistoryScoreCap) ageHistory();
}

void ageHistory() {
  for (int i = 0; i < HistorySize; i++) historyScore[i] = static_cast<uint16_t>((historyScore[i] + 1) / 2);
}

void clearKillers() {
  for (int p = 0; p <= MaxPly; p++) killer1[p] = killer2[p] = 0;
}

void resetHistory() {
  for (int i = 0; i < HistorySize; i++) {
    historyScore[i] = 0;
    historyTries[i] = 1;
    historyHits[i] = 0;
    historyRatio[i] = 0;
  }
  clearKillers();
}

void decayHistory() {
  for (int i = 0; i < HistorySize; i++) {
    historyScore[i] = static_cast<uint16_t>(historyScore[i] / 4);
    historyTries[i] = static_cast<uint16_t>((historyTries[i] + 3) / 4);
    historyHits[i] = static_cast<uint16_t>((historyHits[i] + 3) / 4);
  }
  clearKillers();
}
