// The threat term: men en prise (from the per-man threat values the board
// keeps current), pins and skewers, and defenders that guard more than one
// man. Records the two largest threats of each side in threatBest/Second.
#include "board/attacks.h"
#include "board/geometry.h"
#include "eval/eval.h"
#include "eval/terms.h"

namespace {

// The unit each type adds to a packed count word, and the mask of its field.
constexpr int attackerUnit[7] = {0, 1024, 256, 64, 16, 2, 1};
constexpr int typeField[7] = {0, 3072, 768, 192, 48, 14, 1};
constexpr bool pinnable[7] = {false, false, true, true, true, true, false};

inline int countWord(const SquareAttacks& a) { return a.directCounts + a.xrayCount2; }
inline int exchangeLossOf(int attack, int defence) {
  if (defence < 0) defence = 0;
  return exchangeLoss[attackClassOf(static_cast<unsigned>(attack))][attackClassOf(static_cast<unsigned>(defence))];
}

void enterThreat(int side, int v) {
  if (v > threatBest[side]) {
    threatSecond[side] = threatBest[side];
    threatBest[side] = v;
  } else if (v > threatSecond[side]) {
    threatSecond[side] = v;
  }
}

}  // namespace

// Largest pin or skewer through the man of side c on q; adds its penalties to *p.
int pinPenalty(int c, int q, int* p) {
  const int e = c ^ 1;
  const AttackTable& own = pos.attackTable[c];
  const AttackTable& them = pos.attackTable[e];
  const int front = pos.pieceOn[q];
  int best = 0;
  for (PieceSet set = them.sq[q].directAttackers & pos.sliders[e] & pos.pieceSet[e]; set; set &= set - 1) {
    const int from = pos.pieceList[e][__builtin_ctz(set)];
    const int d = directionTo[q][from];
    if (d >= 8) continue;
    const int b = firstOnRay(d, q, pos.occupied);
    if (b == NoSquare || pos.colourOn[b] != c) continue;
    const int back = pos.pieceOn[b];
    const int y = pieceValue[back] -
                  8 * exchangeLossOf(countWord(them.sq[b]) + attackerUnit[pos.pieceOn[from]], countWord(own.sq[b]));
    if (y <= 0) continue;
    if (y > best) best = y > 1248 ? 1248 : y;
    *p -= 3 + ((pieceValue[front] + y) >> 7);
    if (pos.pieceThreat[from] == 0 && (own.sq[from].directAttackers & pos.slotBitOn[q]) == 0) *p -= 3;
    if (front != Pawn && (own.sq[q].directAttackers & pos.slotBitOn[b])) {
      const int z = pieceValue[front] -
                    8 * exchangeLossOf(countWord(them.sq[q]), countWord(own.sq[q]) - attackerUnit[back]);
      if (z > 0) *p -= (z + best) >> 6;
    }
  }
  return best;
}

// What the threatened man on q still loses after its best flight: 0 when
// it has a safe square (or an equal capture), else the smallest loss.
int afterEscape(int c, int q, int x) {
  const int e = c ^ 1, t = pos.pieceOn[q];
  const AttackTable& own = pos.attackTable[c];
  const AttackTable& them = pos.attackTable[e];
  if (t == Pawn) {
    const int front = q + (c == White ? 8 : -8);
    const bool stuck = pos.pieceOn[front] != None || them.sq[front].totalCount > own.sq[front].totalCount;
    for (int d = pawnCaptureDir[c]; d < pawnCaptureDir[c] + 2; ++d) {
      const int to = nextSquare[d][q];
      if (to != 255 && pos.colourOn[to] == e) return 0;
    }
    return stuck ? x : 0;
  }
  const int rank = t == Bishop ? Knight : t;  // bishops count as knights
  const RayEntry* list = rayList[t][q];
  for (int i = 0; list[i].square != 255; ++i) {
    const int to = list[i].square;
    const int victim = pos.pieceOn[to];
    if (victim != None && pos.colourOn[to] == c) {
      i += list[i].remaining;
      continue;
    }
    const int victimRank = victim == Bishop ? Knight : victim;
    if (them.sq[to].directCounts == 0 || (victim != None && victimRank >= rank)) return 0;
    const int loss = pieceValue[t] - 8 * exchangeLossOf(countWord(them.sq[to]), countWord(own.sq[to])) -
                     pieceValue[victim];
    if (loss < x) x = loss;
    if (x <= 0) return 0;
    if (victim != None) i += list[i].remaining;
  }
  return x;
}

namespace {

int sideThreats(int c) {
  const int e = c ^ 1;
  const AttackTable& own = pos.attackTable[c];
  const AttackTable& them = pos.attackTable[e];
  const int shift = threatShift[c];
  int tie[16] = {};
  int sum = 0;
  // A man the enemy does not attack is neither pinned, nor en prise, nor
  // guarded by tied defenders. The attacked men are picked out first,
  // without a branch per man.
  PieceSet attacked = 0;
  for (PieceSet set = pos.pieceSet[c] & ~1u; set; set &= set - 1) {
    const int q = pos.pieceList[c][__builtin_ctz(set)];
    const bool hit = (them.sq[q].directCounts | pos.pieceThreat[q]) != 0;
    attacked |= (set & (0u - set)) & (0u - static_cast<PieceSet>(hit));
  }
  for (PieceSet set = attacked; set; set &= set - 1) {
    const int q = pos.pieceList[c][__builtin_ctz(set)];
    const int t = pos.pieceOn[q];
    int p = 0, pin = 0;
    if (pinnable[t] && (them.sq[q].directAttackers & pos.sliders[e] & pos.pieceSet[e])) pin = pinPenalty(c, q, &p);

    // Defenders tied to this man.
    if (pos.pieceThreat[q] == 0 && them.sq[q].directCounts != 0 &&
        ((them.sq[q].directCounts & typeField[t]) == 0 || pin != 0)) {
      int o = 0;
      const PieceSet direct = own.sq[q].directAttackers & ~1u, xray = own.sq[q].xrayAttackers & ~1u;
      for (int pass = 0; pass < 2; ++pass) {
        bool stop = false;
        for (PieceSet ds = pass == 0 ? direct : xray; ds && !stop; ds &= ds - 1) {
          const int slot = __builtin_ctz(ds);
          const int dsq = pos.pieceList[c][slot];
          const int dt = pos.pieceOn[dsq];
          const int without = countWord(own.sq[q]) - (pass == 0 ? attackerUnit[dt] : 2);
          const int g = pieceValue[t] - 8 * exchangeLossOf(countWord(them.sq[q]), without);
          if (g <= 0) {
            if (pass == 1 || countWord(own.sq[q]) <= typeField[dt]) stop = true;
            continue;
          }
          o += pieceValue[dt] / 2 + g;
          if (tie[slot]) o += 16 * tie[slot] + g;
          tie[slot] += g / 16;
          if (pos.pieceThreat[dsq] != 0) {
            const int m = g < pos.pieceThreat[dsq] ? g : pos.pieceThreat[dsq];
            p -= 6 + (m >> shift);
            enterThreat(c, m);
          }
        }
        if (stop) break;
      }
      p -= o >> (shift + 1);
    }

    // En prise.
    int x = pos.pieceThreat[q];
    if (x != 0) {
      p -= 6 + (x >> shift);
      enterThreat(c, x);
      if (pin < x) {
        x = afterEscape(c, q, x);
        if (x < pin) x = pin;
        if (x != 0) {
          p -= 6 + (x >> shift);
          enterThreat(c, x);
        }
      } else {
        p -= 6 + (x >> shift);
        enterThreat(c, x);
      }
    }
    sum += p;
  }
  return sum;
}

}  // namespace

int threatTerm() {
  const int white = sideThreats(White);
  const int black = sideThreats(Black);
  return white - black;
}
