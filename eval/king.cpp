// The king term: pawn shelter on the king's files and the king square
// table in the middlegame, king activity in the endgame.
#include "board/geometry.h"
#include "eval/eval.h"
#include "eval/terms.h"

namespace {

// True when `side` has no pawn on file f (0..7).
inline bool openFile(int side, int f) { return pos.pawnRanksOnFile[side][f + 1] == 0; }

// Shelter of side c's king: penalties for open and half-open files on and
// beside the king's file.
int shelter(int c) {
  const int e = c ^ 1;
  if ((liveSet(pos.rookSet, e) | liveSet(pos.queenSet, e)) == 0) return 0;
  const int f = fileOf(kingSquare(c));
  int s = 0;
  if (openFile(e, f)) s -= 21;
  if (openFile(c, f)) s -= 15;
  if (f == 1 || f == 2 || f == 3 || f == 7) {
    if (openFile(e, f - 1)) s -= 18;
    if (openFile(c, f - 1)) s -= 13;
    if (f != 7) {
      if (openFile(e, f + 1)) s -= 11;
      if (f == 2) {
        if (openFile(e, 0)) s -= 15;
        if (openFile(c, 0)) s -= 11;
      }
    } else if (openFile(e, f)) {
      s -= 11;
    }
  } else {
    if (openFile(e, f + 1)) s -= 18;
    if (openFile(c, f + 1)) s -= 13;
    if (f != 0) {
      if (openFile(e, f - 1)) s -= 11;
      if (f == 5) {
        if (openFile(e, 7)) s -= 15;
        if (openFile(c, 7)) s -= 11;
      }
    } else if (openFile(e, 2)) {
      s -= 11;
    }
  }
  return s;
}

int kingValue(int c) {
  const int e = c ^ 1, k = kingSquare(c);
  const int16_t* table = pieceSquare[c][King];
  if (materialPoints(e) >= 13) {
    int v = shelter(c);
    const int w = endgamePhase + (liveSet(pos.queenSet, e) ? 1 : 0);
    v = (w * v) >> 4;
    if (styleSide != c + 1) v = (v * 5) >> 2;
    return v + table[k];
  }
  const int h = table[k];
  int b = h;
  const AttackTable& them = pos.attackTable[e];
  for (const RayEntry* r = rayList[King][k]; r->square != 255; ++r)
    if (them.sq[r->square].directCounts == 0 && table[r->square] > b) b = table[r->square];
  return (h + b) / 2;
}

}  // namespace

int kingTerm() { return kingValue(White) - kingValue(Black); }
