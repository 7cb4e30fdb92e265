// The evaluation driver: cheap shortcuts first (stalemate, tablebase,
// cache, material class, lazy exit), then the positional terms or an
// endgame evaluator, then scaling, clamping and storing the by-products.
#include "eval/eval.h"

#include <cstdlib>
#include <cstring>

#include "board/geometry.h"
#include "board/position.h"
#include "engine/options.h"
#include "eval/terms.h"
#include "platform/platform.h"
#include "search/think.h"
#include "tablebase/tablebase.h"

int32_t posScoreHigh[2] = {100, 100};
int32_t posScoreLow[2] = {-100, -100};
int32_t threatBest[2], threatSecond[2];
int32_t endgamePhase = 16, endgamePhaseHalf = 8;
int32_t openingWeight = 1, openingWeightHalf = 0, openingWeightQuarter = 0, openingWeightEighth = 0;
int32_t materialBias;
int32_t lastMaterial[2];
const int8_t* loneKingTable = loneKingCentre;
uint8_t tablebaseDrawPlayOn;
uint8_t styleSide;
uint8_t threatShift[2] = {6, 6};
uint8_t pawnThreatShift[2] = {5, 5};
TablebaseProbeFn tablebaseProbe = tablebaseProbeForEval;
int32_t tablebaseMaxMen = 0;
int32_t rootMaterial[2];

EvalCacheEntry* evalCache[2];
uint32_t evalCacheMask;
uint32_t evalCacheSalt = 0;

namespace {

constexpr int SideToMoveBonus = 12;
constexpr int OrdinaryClass = 15;

inline int clampEval(int v) { return v > EvalLimit ? EvalLimit : (v < -EvalLimit ? -EvalLimit : v); }

inline uint32_t keyHi() { return static_cast<uint32_t>(pos.hashKey >> 32); }
inline uint32_t keyLo() { return static_cast<uint32_t>(pos.hashKey); }

// Stalemate of a side that has only its king and blocked pawns: every
// neighbour of the king attacked, every pawn stuck with nothing to take.
bool bareStalemate(int s) {
  const int o = s ^ 1;
  const PieceSet pawns = liveSet(pos.pawnSet, s);
  if (pos.pieceSet[s] != (pawns | 1u) || popCount(pawns) > 5) return false;
  const AttackTable& them = pos.attackTable[o];
  for (const RayEntry* r = rayList[King][kingSquare(s)]; r->square != 255; ++r)
    if (them.sq[r->square].directCounts == 0) return false;
  const int ahead = s == White ? 1 : 3;
  for (PieceSet set = pawns; set; set &= set - 1) {
    const int q = pos.pieceList[s][__builtin_ctz(set)];
    const int front = nextSquare[ahead][q];
    if (front == 255 || pos.pieceOn[front] == None) return false;
    for (int d = pawnCaptureDir[s]; d < pawnCaptureDir[s] + 2; ++d) {
      const int t = nextSquare[d][q];
      if (t == 255) continue;
      if (pos.colourOn[t] == o || (pos.epSquare != 0 && static_cast<int>(pos.epSquare) == t)) return false;
    }
  }
  return true;
}

// Stores the result and the by-products in the current ply record.
inline void storeRecord(int score, uint32_t flags, int threatMeasure) {
  PlyRecord* rec = pos.plyTop;
  rec->staticEval = static_cast<int16_t>(score);
  rec->threatMeasure = static_cast<uint8_t>(threatMeasure > 255 ? 255 : threatMeasure);
  rec->flags |= flags;
}

inline void cacheStore(int s, int score, uint32_t flags) {
  if (evalCacheMask == 0) return;
  const PlyRecord* rec = pos.plyTop;
  EvalCacheEntry& e = evalCache[s][keyHi() & evalCacheMask];
  e.word[2] = (static_cast<uint32_t>(score + 8192) << 16) | (flags & 0xFFF);
  e.word[3] = (static_cast<uint32_t>(rec->threatMove) << 16) | rec->threatMeasure;
  e.word[0] = keyHi() ^ evalCacheSalt ^ e.word[2];
  e.word[1] = keyLo() ^ e.word[3];
}

// Restores a cached result into the ply record; false on a miss.
inline bool cacheProbe(int s, int* score) {
  if (evalCacheMask == 0) return false;
  const EvalCacheEntry& e = evalCache[s][keyHi() & evalCacheMask];
  const uint32_t w2 = e.word[2], w3 = e.word[3];
  if ((e.word[0] ^ w2) != (keyHi() ^ evalCacheSalt) || (e.word[1] ^ w3) != keyLo()) return false;
  PlyRecord* rec = pos.plyTop;
  *score = static_cast<int>(w2 >> 16) - 8192;
  rec->flags |= w2 & 0xFFF;
  rec->staticEval = static_cast<int16_t>(*score);
  rec->threatMeasure = static_cast<uint8_t>(w3 & 0xFF);
  rec->threatMove = static_cast<uint16_t>(w3 >> 16);
  return true;
}

// Bare-king drive from White's view, used when no pawn is left on the board.
int bareKingDrive() {
  const int wk = kingSquare(White), bk = kingSquare(Black);
  const int mw = pos.material[White], mb = pos.material[Black];
  if (mw == mb) return loneKingTable[wk] - loneKingTable[bk];
  if (mw < mb && mb > 416) return 16 * kingDistance(wk, bk) + loneKingTable[wk] - 100;
  if (mw > mb && mw > 416) return 100 - 16 * kingDistance(wk, bk) - loneKingTable[bk];
  return 0;
}

// Class correction of classes 1, 2, 3, 5 and 17 for the strong side.
int classCorrection(int cls, int strong, int s, int scale[2], uint32_t* flags) {
  switch (cls) {
    case 1:
    case 17: wrongBishopScale(strong, s, scale, flags); return 0;
    case 2: return queenPawnCorrection(s, strong, flags);
    case 3: return rookPawnCorrection(strong, s, scale);
    case 5: bishopPawnScale(strong, scale); return 0;
    default: return 0;
  }
}

// Temporarily extends the checking lines of enemy sliders one square
// behind the king, so that a retreat along the line counts as attacked.
struct XrayPatch {
  int count = 0;
  uint8_t square[8];
  uint8_t weight[8];
  uint16_t savedAttackers[8];
};

void patchKingXray(int s, XrayPatch* patch) {
  const int o = s ^ 1, k = kingSquare(s);
  AttackTable& them = pos.attackTable[o];
  const PieceSet checkers = them.sq[k].directAttackers & pos.sliders[o] & pos.pieceSet[o];
  for (PieceSet set = checkers; set; set &= set - 1) {
    const int slot = __builtin_ctz(set);
    const int from = pos.pieceList[o][slot];
    const int d = directionTo[k][from];  // direction of travel from the slider to the king
    if (d >= 8) continue;
    const int behind = nextSquare[d][k];
    if (behind == 255) continue;
    const uint16_t w = attackWeight[pos.pieceOn[from]];
    SquareAttacks& a = them.sq[behind];
    const int i = patch->count++;
    patch->square[i] = static_cast<uint8_t>(behind);
    patch->weight[i] = static_cast<uint8_t>(w);
    patch->savedAttackers[i] = a.directAttackers;
    a.directCounts = static_cast<uint16_t>(a.directCounts + w);
    a.directAttackers = static_cast<uint16_t>(a.directAttackers | (1u << slot));
    a.totalCount++;
  }
}

void undoKingXray(int s, const XrayPatch& patch) {
  AttackTable& them = pos.attackTable[s ^ 1];
  for (int i = patch.count - 1; i >= 0; --i) {
    SquareAttacks& a = them.sq[patch.square[i]];
    a.directCounts = static_cast<uint16_t>(a.directCounts - patch.weight[i]);
    a.directAttackers = patch.savedAttackers[i];
    a.totalCount--;
  }
}

// Applies the scale factors to an undecided result.
inline int applyScale(int result, int s, const int scale[2]) {
  const int factor = result <= drawScoreFor[s] ? scale[s ^ 1] : scale[s];
  return (result * factor) >> 4;
}

// The full-mode bonus: the opponent's hanging material, halved in check.
inline int fullModeBonus(int s, uint32_t flags, int cls) {
  if ((flags & EvalVerdictMask) || cls == 1) return 0;
  int t = pos.threatSum[s ^ 1];
  if (t <= 0) return 0;
  if (pos.plyTop->flags & EvalInCheck) t >>= 1;
  return t;
}

}  // namespace

int evaluate(int s, int ply, int depth, int alpha, int beta) {
  const int o = s ^ 1;
  evalCachePrefetch(s, static_cast<uint32_t>(pos.hashKey >> 32));
  if (ply >= MaxPly - 1) depth = EvalFullDepth;
  const bool fullMode = depth == EvalFullDepth;
  PlyRecord* rec = pos.plyTop;
  const int m = pos.material[s] - pos.material[o];
  const int drawValue = (m >> 7) + drawScoreFor[s];

  threatSecond[s] = 0;
  int scale[2] = {16, 16};
  int cls = OrdinaryClass;
  bool nearDraw = false;  // a class correction recognised a drawing set-up
  int v = m + SideToMoveBonus;
  uint32_t flags = 0;
  int result;
  const bool inCheck = (rec->flags & EvalInCheck) != 0;

  // Stalemate of a bare king with blocked pawns.
  if (!inCheck && bareStalemate(s)) {
    storeRecord(drawScoreFor[s], EvalStalemate, 0);
    return drawScoreFor[s];
  }

  // Tablebases: near the root in full mode, or after a capture or promotion.
  if (tablebaseProbe && (searchFlags & OptUseTablebases)) {
    const bool converted = rec->capturedType != 0 || isPromotion(rec->move);
    const int men = popCount(pos.pieceSet[White]) + popCount(pos.pieceSet[Black]);
    if (((ply < 3 && fullMode) || (depth >= tbProbeDepth && converted)) && men >= 3 &&
        men <= tablebaseMaxMen) {
      int moves = 0;
      const int hit = tablebaseProbe(s, &moves);
      if (hit != TablebaseMiss && (hit != 0 || !tablebaseDrawPlayOn)) {
        if (hit > 0) result = 8194 - 2 * moves - ply, flags = EvalTablebaseWin;
        else if (hit < 0) result = -8193 + 2 * moves + ply, flags = EvalTablebaseLoss;
        else result = clampEval(drawValue), flags = EvalTablebaseDraw;
        storeRecord(result, flags | EvalTablebaseHit, 0);
        if (fullMode) rec->flags |= EvalFullMode;
        return result;
      }
    }
  }

  if (cacheProbe(s, &result)) {
    if (!fullMode) return result;
    rec->flags |= EvalFullMode;
    return clampEval(result + fullModeBonus(s, rec->flags, OrdinaryClass));
  }

  const int strong = pos.material[Black] > pos.material[White] ? Black : White;

  // Material classes of the small endings.
  if (pos.material[White] <= 1888 && pos.material[Black] <= 1888) {
    const int own = materialClassIndex(s), opp = materialClassIndex(o);
    for (int side = 0; side < 2; ++side)
      if (pawnCount(side) == 0 && pos.material[side] <= 416) scale[side] = 0;
    if (own < 216 && opp < 216) {
      const uint8_t entry = endgameClassTable[(own << 8) | opp];
      if (entry & 0x80) {
        cls = entry & 63;
        if (cls == 20) {
          if (edgeSquare(kingSquare(o))) {
            storeRecord(drawScoreFor[s], 0, 0);
            return drawScoreFor[s];
          }
          cls = 21;
        }
        if (cls == 21) {
          result = drawValue;
          flags = EvalMaterialDraw;
          goto store;
        }
        if (cls <= 5 || cls == 17) {
          uint32_t classFlags = 0;
          const int c = classCorrection(cls, strong, s, scale, &classFlags);
          nearDraw = (classFlags & ClassNearDraw) != 0;
          if (classFlags & EvalDrawVerdictBit) {
            result = drawValue;
            flags = classFlags & EvalVerdictMask;
            goto store;
          }
          v += strong == s ? c : -c;
        }
      } else {
        v += ((entry & 63) - 32) * 16;
        const bool pawnless = (liveSet(pos.pawnSet, White) | liveSet(pos.pawnSet, Black)) == 0;
        if ((entry & 0x40) && pawnless && pos.threatSum[o] == 0) {
          const bool swindle = (searchFlags & OptSwindle) != 0;
          const bool leftRoot = (pos.material[White] != rootMaterial[White] ||
                                 pos.material[Black] != rootMaterial[Black]) &&
                                !(rec > pos.plyStack && ((rec - 1)->flags & EvalRootRecord));
          if (!swindle || leftRoot) scale[0] = scale[1] = 0;
        }
      }
      if (scale[0] == 0 && scale[1] == 0) {
        result = clampEval(drawValue);
        storeRecord(result, 0, 0);
        rec->threatMeasure = 0;
        if (fullMode) {
          rec->flags |= EvalFullMode;
          return result;
        }
        if (depth > 0) rec->flags |= EvalMaterialDrawDepth;
        return result;
      }
      if ((liveSet(pos.pawnSet, White) | liveSet(pos.pawnSet, Black)) == 0) {
        const int drive = bareKingDrive();
        v += s == White ? drive : -drive;
      }
    }
  }

  // Threat balance: what each side has hanging.
  v += (pos.threatSum[o] >> threatShift[o]) - (pos.threatSum[s] >> threatShift[s]);

  // Lazy exit against the positional extremes seen so far in this search
  // (not for a drawing set-up: its score lies far from its parent's).
  if (depth <= 0 && !fullMode && !nearDraw &&
      (inCheck || (cls < 16 && (posScoreHigh[s] + v <= alpha || posScoreLow[s] + v >= beta)))) {
    const int parent = rec > pos.plyStack ? (rec - 1)->staticEval : -v;
    result = 16 - parent - pos.lastMoveGain;
  } else {
    flags |= EvalFullRan;
    XrayPatch patch;
    patchKingXray(s, &patch);
    if (nearDraw) {
      result = v;
    } else if (cls < 16) {
      result = v + mainEvaluation(s, strong, cls);
    } else if (cls <= 17) {
      result = v + mateEvaluation(strong, s);
      const int weak = strong ^ 1;
      if (ply >= 6 && ply >= iterationDepth &&
          pos.material[strong] - pos.threatSum[strong] >= pos.material[weak] + 640 &&
          rootMaterial[strong] < rootMaterial[weak] + 640) {
        if (result > 1000) flags |= EvalTablebaseWin;
        else if (result < -1000) flags |= EvalTablebaseLoss;
      }
    } else if (cls == 18) {
      uint32_t f = 0;
      result = pawnEndingEvaluation(s, v, strong, strong ^ 1, &f);
      flags |= f & EvalVerdictMask;
    } else {
      uint32_t f = 0;
      result = kpkEvaluation(strong, s, &f);
      flags |= f & EvalVerdictMask;
    }
    undoKingXray(s, patch);
  }

  // Scaling of undecided results; decided draws take the draw value.
  if ((flags & EvalVerdictMask) == 0) result = applyScale(result, s, scale);
  else if (flags & EvalDrawVerdictBit) result = drawValue;

store:
  result = clampEval(result);
  storeRecord(result, flags, threatSecond[s] >> 3);
  if (flags & EvalFullRan) cacheStore(s, result, rec->flags);
  if (!fullMode) return result;
  rec->flags |= EvalFullMode;
  return clampEval(result + fullModeBonus(s, flags, cls));
}

int materialClassIndex(int side) {
  const uint32_t sig = pos.materialSignature[side] >> 16;
  const int pawns = sig & 15, knights = (sig >> 4) & 3, bishops = (sig >> 6) & 3;
  const int rooks = (sig >> 8) & 3, queens = (sig >> 10) & 3;
  if (knights > 2 || bishops > 2 || rooks > 2 || queens > 1) return 216;
  return (pawns > 3 ? 3 : pawns) + 4 * (knights + 3 * bishops + 9 * rooks + 27 * queens);
}

void updatePhase() {
  lastMaterial[White] = pos.material[White];
  lastMaterial[Black] = pos.material[Black];
  const int pawnsW = pawnCount(White), pawnsB = pawnCount(Black);
  const int npW = pos.material[White] - 128 * pawnsW;
  const int npB = pos.material[Black] - 128 * pawnsB;
  const int np = npW + npB;
  int phase = np < 2605 ? 1 : (np >= 8002 ? 16 : (np - 1858) / 384);
  if (phase < 1) phase = 1;
  if (phase > 16) phase = 16;
  endgamePhase = phase;
  endgamePhaseHalf = phase / 2;
  openingWeight = 17 - phase;
  openingWeightHalf = openingWeight / 2;
  openingWeightQuarter = openingWeight / 4;
  openingWeightEighth = openingWeight / 8;

  int bias = 0;
  if (npW != npB) {
    const bool whiteAhead = npW > npB;
    int hi = whiteAhead ? pawnsW : pawnsB;
    int lo = whiteAhead ? pawnsB : pawnsW;
    if (hi > 4) {
      lo = lo - (hi - 4);
      if (lo < 0) lo = 0;
      hi = 4;
    }
    const int64_t diff = npW - npB;
    bias = static_cast<int>((hi * diff * 1024) / ((static_cast<int64_t>(np) + 1024) * (lo + 1)));
    const int cap = static_cast<int>(diff / 2);
    if (whiteAhead ? bias > cap : bias < cap) bias = cap;
  }
  if (rookCount(White) >= 2) bias -= 42;
  if (rookCount(Black) >= 2) bias += 42;
  materialBias = bias;
}

int mainEvaluation(int s, int strong, int cls) {
  pawnEntryPrefetch();
  threatBest[0] = threatBest[1] = threatSecond[0] = threatSecond[1] = 0;
  if (pos.material[White] != lastMaterial[White] || pos.material[Black] != lastMaterial[Black])
    updatePhase();

  int p = kingTerm();
  p += threatTerm();
  p += pawnTerm(s == White ? 1 : 0);
  p += pieceTerm();
  pos.attacksUs = &pos.attackTable[pos.sideToMove];
  pos.attacksThem = &pos.attackTable[pos.sideToMove ^ 1];

  // Two men hanging at once cost more than the larger alone.
  if (threatSecond[White] != 0) p -= 24;
  if (threatSecond[Black] != 0) p += 24;
  p += (threatSecond[Black] >> threatShift[Black]) - (threatSecond[White] >> threatShift[White]);

  const int weak = strong ^ 1;
  const int sign = strong == White ? 1 : -1;
  if (cls >= 15) {
    if (pos.material[strong] >= pos.material[weak] + 1248 && pawnCount(weak) == 0) {
      const int ks = kingSquare(strong), kw = kingSquare(weak);
      const int drive = 150 - loneKingTable[kw] - 2 * std::abs(fileOf(ks) - fileOf(kw)) -
                        2 * std::abs(rankOf(ks) - rankOf(kw));
      p += sign * drive;
    } else if (materialPoints(White) == materialPoints(Black) && materialPoints(White) <= 8 &&
               bishopCount(White) == 1 && bishopCount(Black) == 1) {
      const int wb = pos.pieceList[White][__builtin_ctz(liveSet(pos.bishopSet, White))];
      const int bb = pos.pieceList[Black][__builtin_ctz(liveSet(pos.bishopSet, Black))];
      if (squareShade[wb] != squareShade[bb]) {
        const int d = pawnCount(strong) - pawnCount(weak);
        const int mb = pos.material[Black] - pos.material[White];
        if (materialPoints(White) == 3) {
          if (d < 2) p = p / 2 + mb - mb / 8;
          else if (d == 2) p = p / 2 + mb - mb / 4;
          else p = p / 2 + mb / 2;
        } else {
          if (d < 2) p = p / 2 + mb / 2;
          else if (d == 2) p = (3 * p) / 4 + mb / 4;
        }
      }
    }
  } else if (cls == 4) {
    const PieceSet pawns = liveSet(pos.pawnSet, strong);
    if (pawns) {
      const int first = pos.pieceList[strong][__builtin_ctz(pawns)];
      if (pos.pawnRanksOnFile[strong][fileOf(first) + 1] > 1) p += sign * 64;
    }
  }

  const int r = s == White ? p : -p;
  if (r > posScoreHigh[s]) posScoreHigh[s] = r;
  if (r < posScoreLow[s]) posScoreLow[s] = r;
  return r;
}

bool evalCacheResize(uint32_t entries) {
  for (int side = 0; side < 2; ++side) {
    std::free(evalCache[side]);
    evalCache[side] = nullptr;
  }
  evalCacheMask = 0;
  if (entries == 0) return true;
  uint32_t n = 1;
  while (n <= entries / 2) n <<= 1;
  for (int side = 0; side < 2; ++side) {
    evalCache[side] = static_cast<EvalCacheEntry*>(platformAllocTable(size_t{n} * sizeof(EvalCacheEntry)));
    if (!evalCache[side]) {
      evalCacheResize(0);
      return false;
    }
  }
  evalCacheMask = n - 1;
  return true;
}

void evalCacheForget() {
  static uint32_t searches = 0;
  searches++;
  evalCacheSalt = searches * 0x9E3779B9u;
}

void evalCacheClear() {
  if (evalCacheMask == 0) return;
  for (int side = 0; side < 2; ++side)
    std::memset(evalCache[side], 0, (static_cast<size_t>(evalCacheMask) + 1) * sizeof(EvalCacheEntry));
}
