// The root: preparation, the root move list with its decided moves, the
// root search with aspiration windows and re-searches, and the lines of
// the root moves (into and out of the table).
#include <cstring>

#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "book/bookprobe.h"
#include "engine/options.h"
#include "engine/report.h"
#include "engine/timecontrol.h"
#include "eval/eval.h"
#include "search/ordering.h"
#include "search/root.h"
#include "search/search.h"
#include "search/stats.h"
#include "search/think.h"
#include "search/tt.h"

RootMove rootMoves[MaxRootMoves];
int32_t rootMoveCount = 0, rootIndex = 0;
int32_t rootListCount = 0;
bool rootPvPrinted = false;
Move rootPrintedMove = 0;

namespace {

Move lineStore[MaxRootMoves][RootLineSize];

constexpr uint32_t FailedLowHere = 0x40000;   // this iteration: the move failed low
constexpr uint32_t FailedHighHere = 0x80000;  // this iteration: the move failed high
constexpr int MaxLineIndex = 62;

bool outputOn() {
  if (searchState == 7) return false;
  const int level = static_cast<int>(searchFlags & 3);
  return level != 0 && level >= searchState - 3;
}

// Makes the line's moves from element `from` on while they are legal;
// returns how many were made.
int playLine(Move* line, int from) {
  int made = 0;
  for (int j = from; line[j] != 0 && j < RootLineSize - 1; j++) {
    Move m = line[j] & ~CheckMark;
    if (!completeMove(pos.sideToMove, &m)) break;
    makeMove(m);
    if (moverLeftKingInCheck()) {
      unmakeMove();
      break;
    }
    made++;
  }
  return made;
}

void unplay(int made) {
  while (made-- > 0) unmakeMove();
}

// Stores the root move's expected line into the table where the table has
// nothing usable, so the next iteration searches it first. The position is
// the one after the root move.
void lineIntoTable(RootMove& r, int depth) {
  int made = 0;
  int score = -r.score;  // seen from the side to move after the root move
  for (int j = 2; r.line[j] != 0 && j < MaxLineIndex; j++) {
    const int side = pos.sideToMove;
    TTHit hit;
    Move m = r.line[j] & ~CheckMark;
    if (!completeMove(side, &m)) break;
    if (!ttProbe(side, j, &hit)) ttStore(side, 0, score, 0, depth - j > 0 ? depth - j : 0, j, r.line[j]);
    makeMove(m);
    if (moverLeftKingInCheck()) {
      unmakeMove();
      break;
    }
    made++;
    score = -score;
  }
  unplay(made);
}

// Appends to the line the moves the table knows beyond its end.
void extendLine(Move* line) {
  int len = 1;
  while (line[len + 1] != 0) len++;
  const int made = playLine(line, 1);
  if (made != len) {
    line[made + 1] = 0;
    len = made;
  }
  int extra = 0;
  while (len < MaxLineIndex && !fiftyMoveDraw() &&
         !(pos.plyCount - pos.lastIrreversiblePly > 3 && isRepetition())) {
    TTHit hit;
    if (!ttProbe(pos.sideToMove, len + 1, &hit) || !(hit.flags & TTLower) || hit.move == 0) break;
    const Move m = hit.move & ~CheckMark;
    makeMove(m);
    if (moverLeftKingInCheck()) {
      unmakeMove();
      break;
    }
    extra++;
    line[++len] = static_cast<Move>(m | ((pos.plyTop->flags & 0x8000) ? CheckMark : 0));
    line[len + 1] = 0;
  }
  unplay(extra);
  unplay(made);
}

void copyChildLine(RootMove& r) {
  int j = 0;
  while (pvLine[2][j] != 0 && j < MaxLineIndex - 1) {
    r.line[2 + j] = pvLine[2][j];
    j++;
  }
  r.line[2 + j] = 0;
}

// The last result of the root that a search confirmed: the best move with
// an exact score and its whole line, and the depth it was searched to.
Move confirmedLine[RootLineSize];
int confirmedScore = 0, confirmedDepth = 0;
bool confirmedValid = false;

void noteConfirmed() {
  const RootMove& r = rootMoves[0];
  int j = 1;
  for (; r.line[j] != 0 && j < RootLineSize - 1; j++) confirmedLine[j] = r.line[j];
  confirmedLine[j] = 0;
  confirmedScore = r.score;
  confirmedDepth = r.depth;
  confirmedValid = true;
}

bool sameAsConfirmed(const RootMove& r) {
  if (r.score != confirmedScore) return false;
  for (int j = 1; j < RootLineSize; j++) {
    if (r.line[j] != confirmedLine[j]) return false;
    if (r.line[j] == 0) return true;
  }
  return true;
}

// Prints the first line (or the MultiPV lines); `depth` is shown for the
// first line when MultiPV is 1.
void printRootLines(int depth) {
  if (!outputOn()) return;
  if (multiPvCount <= 1) {
    PrintPvLine(0, rootMoves[0].line, rootBoundState, rootMoves[0].score, depth, selDepth);
  } else {
    const int n = multiPvCount < rootMoveCount ? multiPvCount : rootMoveCount;
    for (int i = 0; i < n; i++)
      PrintPvLine(i + 1, rootMoves[i].line, i == 0 ? rootBoundState : 4, rootMoves[i].score,
                  rootMoves[i].depth > 0 ? rootMoves[i].depth : iterationDepth, selDepth);
  }
  rootPvPrinted = true;
  rootPrintedMove = rootMoves[0].line[1];
}

bool isLegalAfterMake() { return !moverLeftKingInCheck(); }

// Legal replies of the side to move (used to tell a checkmate).
bool hasLegalEvasion(int side) {
  uint32_t f = 0;
  ScoredMove* list = moveListStart[2];
  const int n = generateEvasions(&f, side, 2, 0, list);
  for (int i = 0; i < n; i++) {
    makeMove(list[i].move & ~CheckMark);
    const bool ok = isLegalAfterMake();
    unmakeMove();
    if (ok) return true;
  }
  return false;
}

}  // namespace

bool initSearchMemory() {
  for (int i = 0; i < MaxRootMoves; i++) {
    rootMoves[i].line = lineStore[i];
    std::memset(lineStore[i], 0, sizeof lineStore[i]);
  }
  resetHistory();
  return true;
}

// A root entry for move m with nothing searched yet.
static void startRootMove(RootMove& r, Move m) {
  r.line[0] = 0;
  r.line[1] = m;
  r.line[2] = 0;
  r.nodes = 0;
  r.depth = 0;
  r.flags = 0;
}

int prepareRoot(int side) {
  ttNewGeneration();
  if (searchMode != 0) {
    if (searchFlags & OptRetainHash) {
      decayHistory();
    } else {
      // Nothing of earlier searches may steer this one: the same search
      // twice gives the same result.
      resetHistory();
      evalCacheForget();
      if (ttGeneration == 1) ttForgetEarlierSearches();
    }
  }
  clearKillers();
  pos.plyTop = &pos.plyStack[0];
  settleTables();
  moveListStart[1] = moveBuffer;
  ScoredMove* list = moveListStart[1];
  uint32_t f = 0;
  rootListCount = isInCheck() ? generateEvasions(&f, side, 1, 0, list) : generateAll(list, side, 1, 0);
  if (rootListCount > MaxRootMoves) rootListCount = MaxRootMoves;
  orderMoves(side, 1, list, list + rootListCount);

  if (searchMovesCount > 0) {
    // A list naming no legal move is ignored: every move is searched.
    bool anyLegal = false;
    for (int i = 0; i < rootListCount && !anyLegal; i++) {
      for (int k = 0; k < searchMovesCount; k++) {
        if (((list[i].move ^ searchMovesList[k]) & FromToMask) != 0) continue;
        if (isPromotion(searchMovesList[k]) && ((list[i].move ^ searchMovesList[k]) & KindMask)) continue;
        makeMove(list[i].move);
        anyLegal = anyLegal || isLegalAfterMake();
        unmakeMove();
      }
    }
    if (anyLegal) {
      for (int i = 0; i < rootListCount; i++) {
        bool listed = false;
        for (int k = 0; k < searchMovesCount && !listed; k++)
          listed = ((list[i].move ^ searchMovesList[k]) & FromToMask) == 0 &&
                   (!isPromotion(searchMovesList[k]) || ((list[i].move ^ searchMovesList[k]) & KindMask) == 0);
        if (!listed) list[i].move = 0;
      }
    }
    searchMovesCount = 0;
  }

  // A book move is played without a search: fixed-limit searches and
  // pondering leave the book alone.
  const Move book = (searchMode != 3 && searchState < 5) ? bookProbe(searchFlags, list, list + rootListCount) : 0;

  nodeCount = 0;
  selDepth = 0;
  stableIterations = 0;
  easyMove = 0;
  searchOutcome = 0;
  tbHits = 0;
  posScoreHigh[0] = posScoreHigh[1] = 100;
  posScoreLow[0] = posScoreLow[1] = -100;
  ttStamped = 31;
  rootPvPrinted = false;
  rootPrintedMove = 0;
  confirmedValid = false;
  if (book == 0) return 0;
  RootMove& r = rootMoves[0];
  startRootMove(r, book);
  r.depth = 1;
  r.score = 2;
  r.flags = RootBookMove | RootDecided;
  rootMoveCount = 1;
  iterationDepth = 1;
  return 1;
}

namespace {

constexpr int SwindleMaterialLead = 128;  // a pawn ahead at least
constexpr int SwindleMinTime = 30;        // ms; no swindling in a hurry
constexpr int TablebaseWinFloor = 7701;

bool swindleMayApply(int side) {
  return (searchFlags & OptSwindle) && pos.material[side] - pos.material[side ^ 1] >= SwindleMaterialLead &&
         maxTime > SwindleMinTime;
}

bool tablebasesLoaded() { return tablebaseMaxMen > 0 && (searchFlags & OptUseTablebases); }

// Scores every root move by the draw rules or the evaluation after it;
// returns the number of legal moves.
int scoreRootMoves(int side) {
  const int opp = side ^ 1;
  const int draw = drawScoreFor[side];
  const ScoredMove* list = moveListStart[1];
  int legal = 0;
  for (int i = 0; i < rootListCount; i++) {
    RootMove& r = rootMoves[i];
    const Move m = list[i].move;
    startRootMove(r, m);
    if (m == 0) {
      r.score = -ScoreInfinite;
      r.flags = RootDecided;
      continue;
    }
    makeMove(m);
    if (!isLegalAfterMake()) {
      unmakeMove();
      r.score = -ScoreInfinite;
      r.flags = RootDecided;
      continue;
    }
    legal++;
    if (pos.plyTop->flags & 0x8000) {
      r.line[1] = static_cast<Move>(m | CheckMark);
      if (!hasLegalEvasion(opp)) {
        r.flags |= 0x580;
        r.score = 8191;
      }
    } else if (noLegalMove(opp)) {
      r.flags |= 0xC80;
      r.score = static_cast<int16_t>(draw);
    }
    if (!(r.flags & RootDecided)) {
      const int reps = countRepetitions();
      if (reps >= 2) {
        r.flags |= 0xA80;
        r.score = static_cast<int16_t>(draw);
      } else if (fiftyMoveDraw()) {
        r.flags |= 0xB80;
        r.score = static_cast<int16_t>(draw);
      } else if (reps == 0) {
        pos.plyTop->flags |= EvalRootRecord;
        int s = -staticScore(opp, 2, EvalFullDepth, -ScoreInfinite, ScoreInfinite);
        if (searchMode == 0) s += static_cast<int>(nextRandom() & 7) - 4;
        r.score = static_cast<int16_t>(s);
        const uint32_t verdict = pos.plyTop->flags & EvalVerdictMask;
        if (verdict != 0) r.flags |= RootDecided | verdict;
      } else {
        r.score = static_cast<int16_t>(draw);
        if (searchMode == 0) r.flags |= RootDecided;
      }
    }
    unmakeMove();
  }
  return legal;
}

}  // namespace

void buildRootMoves() {
  const int side = pos.sideToMove;
  const int draw = drawScoreFor[side];
  // The root position's own evaluation is needed only by the two tablebase
  // rules: Swindle plays on in a drawn ending while materially ahead, and a
  // won table position whose moves do not show the win is scored afresh.
  int rootEval = 0;
  const bool swindle = swindleMayApply(side);
  if (swindle || tablebasesLoaded()) {
    rootEval = staticScore(side, 1, EvalFullDepth, -2 * ScoreInfinite, 2 * ScoreInfinite);
    tablebaseDrawPlayOn = swindle && (pos.plyTop->flags & EvalDrawVerdictBit) ? 1 : 0;
  }
  int legal = scoreRootMoves(side);
  if (legal == 0) {
    const bool check = isInCheck();
    searchOutcome |= check ? 0x580 : 0xC80;
    rootMoves[0].score = static_cast<int16_t>(check ? -ScoreInfinite : draw);
    rootMoveCount = 0;
    return;
  }
  sortRootMoves();
  if (tablebasesLoaded() && rootEval >= TablebaseWinFloor && rootEval > rootMoves[0].score) {
    ttClear();
    legal = scoreRootMoves(side);
    sortRootMoves();
  }
  rootMoveCount = legal;
}

void sortRootMoves() {
  const int n = rootListCount;
  for (int i = 0; i < n; i++) {
    int best = i;
    for (int j = i + 1; j < n; j++)
      if (rootMoves[j].score > rootMoves[best].score) best = j;
    if (best != i) {
      RootMove t = rootMoves[i];
      rootMoves[i] = rootMoves[best];
      rootMoves[best] = t;
    }
    rootMoves[i].flags &= ~RootExactScore;
  }
}

int promoteRootMove(int i) {
  if (i <= 0) return i;
  const int k = i < multiPvCount - 1 ? i : (multiPvCount > 1 ? multiPvCount - 1 : 0);
  int j = k;
  for (int p = 0; p < k; p++) {
    if (rootMoves[p].score < rootMoves[i].score) {
      j = p;
      break;
    }
  }
  if (j < i) {
    const RootMove moved = rootMoves[i];
    for (int p = i; p > j; p--) rootMoves[p] = rootMoves[p - 1];
    rootMoves[j] = moved;
  }
  stableIterations = 0;
  bestMoveChanges++;
  return j;
}

// Searches one root move (made on the board) with the window; the child's
// result from the root side's view.
static int searchRootChild(int depth, int lower, int upper, int nodeType) {
  if (depth <= 1) return -quiescence(2, 0, -upper, -lower, 0);
  return -search(2, depth - 1, 0, -upper, -lower, 0, nodeType);
}

int rootSearch(int depth) {
  const int side = pos.sideToMove;
  int alpha = multiPvCount > 1 ? -ScoreInfinite : aspirationAlpha;
  int beta = aspirationBeta;
  int best = -ScoreInfinite, threshold = -ScoreInfinite;
  bool nullMode = false;
  bool firstFailHigh = true, firstFailLow = true;
  for (int i = 0; i < rootMoveCount; i++) rootMoves[i].flags &= ~(FailedLowHere | FailedHighHere);

  for (rootIndex = 0; rootIndex < rootMoveCount && stopReason == 0; rootIndex++) {
    RootMove* r = &rootMoves[rootIndex];
    int score;
    bool exact = true;  // the score lies inside the window it was searched with
    if (r->flags & RootDecided) {
      // A decided move keeps its exact verdict; it counts as searched.
      if (r->depth >= depth) continue;
      r->depth = static_cast<int16_t>(depth);
      score = r->score;
    } else {
      if (r->depth >= depth) continue;
      int lower, upper;
      if (threshold == -ScoreInfinite) {
        lower = alpha;
        upper = beta;
      } else {
        lower = threshold > alpha ? threshold : alpha;
        upper = lower + 1;
        if (depth == 1 && threshold >= alpha) lower = alpha - 192;
      }
      bool research = false, tableDone = false;
      bool ended = false;
      for (;;) {
        const Move m = r->line[1] & ~CheckMark;
        makeMove(m);
        moveHook(side, moveTo(m), lower, (rootIndex == 0 || research) ? 0 : 1);
        if ((r->flags & RootExactScore) && pos.threatTrend < 0) pos.threatTrend = 0;
        if (!tableDone) {
          lineIntoTable(*r, depth);
          tableDone = true;
        }
        const uint64_t before = nodeCount;
        score = searchRootChild(depth, lower, upper, (rootIndex == 0 || research) ? 0 : -1);
        STAT_INC(StatRootSearches);
        unmakeMove();
        // A stopped search proves nothing: the move keeps what it had.
        if (stopReason != 0) break;
        const uint32_t spent = static_cast<uint32_t>(nodeCount - before);
        r->nodes = research ? r->nodes + spent : spent;
        if (research) STAT_ADD(StatRootResearchNodes, spent);
        r->score = static_cast<int16_t>(score);

        if (score >= beta) {
          STAT_INC(StatRootFailHigh);
          STAT_ROOT_FAIL(statRootFailHighAt, depth);
          rootBoundState = 6;
          r->line[2] = 0;
          if (r->flags & FailedLowHere) {
            rootFailLow = 2;
            ended = true;
            break;
          }
          r->flags |= FailedHighHere;
          if (score >= ScoreMateThreshold) {
            beta = ScoreInfinite;
            searchOutcome |= 2;
          } else if (firstFailHigh || beta < ScoreMateThreshold) {
            beta = beta < ScoreMateThreshold ? ScoreMateThreshold : ScoreInfinite;
          }
          firstFailHigh = false;
          rootIndex = promoteRootMove(rootIndex);
          r = &rootMoves[rootIndex];
          if (rootIndex == 0) {
            ApplyExtraTime();
            printRootLines(iterationDepth);
          }
          upper = beta;
          research = true;
          continue;
        }
        if (threshold != -ScoreInfinite && score >= upper && !research) {
          // Promoted only once the re-search confirms it beats the best.
          STAT_INC(StatRootNullResearch);
          r->line[2] = 0;
          lower = threshold > alpha ? threshold : alpha;
          upper = beta;
          research = true;
          continue;
        }
        if (threshold == -ScoreInfinite && !nullMode && score <= alpha) {
          STAT_INC(StatRootFailLow);
          STAT_ROOT_FAIL(statRootFailLowAt, depth);
          r->line[2] = pvLine[2][0];
          if (r->line[2] != 0) r->line[3] = 0;
          rootBoundState = 2;
          if (r->flags & FailedHighHere) {
            rootFailLow = 2;
            ended = true;
            break;
          }
          rootFailLow = 1;
          r->flags |= FailedLowHere;
          if (score <= -ScoreMateThreshold) {
            alpha = -ScoreInfinite;
            searchOutcome |= 2;
          } else {
            alpha = alpha > -ScoreMateThreshold ? -ScoreMateThreshold : -ScoreInfinite;
          }
          firstFailLow = false;
          rootIndex = promoteRootMove(rootIndex);
          r = &rootMoves[rootIndex];
          ApplyExtraTime();
          printRootLines(iterationDepth);
          lower = alpha;
          research = true;
          continue;
        }
        if (score > lower && score < upper) {
          r->line[1] = static_cast<Move>(m | (r->line[1] & CheckMark));
          copyChildLine(*r);
          extendLine(r->line);
        }
        if (score > lower && score < upper) r->flags |= RootExactScore;
        break;
      }
      if (stopReason != 0) break;
      if (ended) {
        STAT_INC(StatRootUnstable);
        // An unstable move ends the iteration before any move completed
        // it: its last bound is the iteration's score, so that the next
        // window centres on it instead of on the mated bound -8192.
        r->depth = static_cast<int16_t>(depth);
        if (score > best) best = score;
        break;
      }
      exact = score > lower && score < upper;
      if (exact) r->flags |= RootExactScore;
    }
    r->depth = static_cast<int16_t>(depth);
    if (score > threshold) {
      const bool newBest = score > best;
      if (newBest) {
        best = score;
        if (score > alpha && score < beta) rootBoundState = 4;
      }
      const int from = rootIndex;
      rootIndex = promoteRootMove(rootIndex);
      if (rootIndex == 0 && exact) noteConfirmed();
      if (newBest && (from != rootIndex || rootIndex == 0)) {
        ApplyExtraTime();
        if (depth > 1 && from != 0 && rootIndex == 0) printRootLines(iterationDepth);
      }
      const int k = (multiPvCount > 1 ? multiPvCount : 1) - 1;
      if (k < rootMoveCount && rootMoves[k].depth >= depth) {
        threshold = rootMoves[k].score;
        if (threshold > alpha) {
          alpha = threshold;
          nullMode = true;
        }
      }
    }
  }
  (void)firstFailLow;

  if (stopReason == 0) {
    const Move b = rootMoves[0].line[1] & ~CheckMark;
    if (b != 0 && !(b & (CaptureKind | PromotionBit)) && (b & KindMask) != CastleKind)
      rewardRootMove(side, pos.pieceOn[moveFrom(b)], b, depth);
    bool allDecided = true;
    for (int i = 0; i < rootMoveCount && allDecided; i++) allDecided = rootMoves[i].flags & RootDecided;
    if (allDecided) stopReason = 4;
    return best;
  }
  return rootMoves[0].score;
}

void printRootResult() { printRootLines(iterationDepth); }

void printRootProgress() {
  // Mid-iteration the best move's line is that of the depth it last completed.
  const int done = rootMoves[0].depth > 0 ? rootMoves[0].depth : iterationDepth;
  printRootLines(done);
}

void confirmRootResult() {
  if (rootMoveCount > 0) noteConfirmed();
}

// A root move promoted by a fail high has its line cut after the move. The
// reply comes from the table entry of the position after it (whatever its
// bound: the entry keeps the reply that refuted the move at a lower depth),
// and the table's lines continue it, so the move is played with a ponder
// move and a line to show.
void completeCutLine(RootMove& r) {
  if (r.line[2] == 0) {
    Move m = r.line[1] & ~CheckMark;
    if (!completeMove(pos.sideToMove, &m)) return;
    makeMove(m);
    TTHit hit;
    const bool found = !moverLeftKingInCheck() && ttProbe(pos.sideToMove, 2, &hit) && hit.move != 0;
    unmakeMove();
    if (found) {
      r.line[2] = hit.move;
      r.line[3] = 0;
    }
  }
  extendLine(r.line);  // drops a reply that turns out illegal
}

bool settleRootResult() {
  if (!confirmedValid || rootMoveCount == 0 || sameAsConfirmed(rootMoves[0])) return false;
  if (((rootMoves[0].line[1] ^ confirmedLine[1]) & ~CheckMark) != 0) {
    // Another move beat the confirmed one with a fail high whose re-search
    // the stop cut short: its bound is already better than the confirmed
    // score, so it is played, with its line completed from the table.
    completeCutLine(rootMoves[0]);
    return true;
  }
  // The confirmed move's score became a bound or its line was cut short (a
  // fail low not yet resolved): its last confirmed result stands.
  int j = 0;
  while (j < rootMoveCount && ((rootMoves[j].line[1] ^ confirmedLine[1]) & ~CheckMark) != 0) j++;
  if (j == rootMoveCount) return false;
  const RootMove moved = rootMoves[j];
  for (int p = j; p > 0; p--) rootMoves[p] = rootMoves[p - 1];
  rootMoves[0] = moved;
  RootMove& r = rootMoves[0];
  int k = 1;
  for (; confirmedLine[k] != 0 && k < RootLineSize - 1; k++) r.line[k] = confirmedLine[k];
  r.line[k] = 0;
  r.score = static_cast<int16_t>(confirmedScore);
  r.depth = static_cast<int16_t>(confirmedDepth);
  rootBoundState = 4;
  return true;
}
