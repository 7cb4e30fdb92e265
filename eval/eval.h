// Static evaluation: the driver with its shortcuts (stalemate, tablebase,
// cache, material classes, lazy exit), the positional terms, the per-search
// preparation and the by-products left in the current PlyRecord.
#pragma once

#include <array>
#include <cstdint>
#include "board/types.h"

// ---------------------------------------------------------------------------
// PlyRecord flag bits written by the evaluation (PlyRecord::flags).
constexpr uint32_t EvalMateThreatWhite = 0x1;    // mate threat against White's king
constexpr uint32_t EvalMateThreatBlack = 0x2;    // mate threat against Black's king
constexpr uint32_t EvalKingAttackedWhite = 0x4;
constexpr uint32_t EvalKingAttackedBlack = 0x8;
constexpr uint32_t EvalThreatMoveSet = 0x40;     // threatMove holds a checking threat
constexpr uint32_t EvalFullRan = 0x80;           // the full evaluation ran (cached results only)
constexpr uint32_t EvalVerdictMask = 0xF00;      // any bit set: decided result, not scaled
constexpr uint32_t EvalTablebaseLoss = 0x600;    // also the mating evaluator's lost verdict
constexpr uint32_t EvalTablebaseWin = 0x700;     // also the mating evaluator's won verdict
constexpr uint32_t EvalDrawVerdictBit = 0x800;   // verdicts 0x800..0xF00 are draws
constexpr uint32_t EvalStalemate = 0xC00;
constexpr uint32_t EvalMaterialDraw = 0xD00;     // certain draw by material
constexpr uint32_t EvalTablebaseDraw = 0xE00;
constexpr uint32_t EvalInCheck = 0x8000;         // written by make
constexpr uint32_t EvalRootRecord = 0x10000;     // written by the root move-list building
constexpr uint32_t EvalMaterialDrawDepth = 0x40000;  // material draw seen at depth > 0
constexpr uint32_t EvalFullMode = 0x100000;      // evaluated in full mode (depth 128)
constexpr uint32_t EvalTablebaseHit = 0x100080;  // OR-ed in with every tablebase verdict

constexpr uint32_t mateThreatFlag(int side) { return 1u << side; }
constexpr uint32_t kingAttackedFlag(int side) { return 4u << side; }

// depth value that asks for the full evaluation (root and tablebase use).
constexpr int EvalFullDepth = 128;

// Every static evaluation other than a tablebase verdict lies within
// -EvalLimit..EvalLimit, well clear of the mate range (|score| >= 7800).
constexpr int EvalLimit = 7600;

// ---------------------------------------------------------------------------
// Entry points.

// Static score of the position for `side` (always the side to move), at
// search ply `ply` with `depth` plies left (EvalFullDepth = full mode) and
// the search window alpha..beta. Writes staticEval, flags, threatMeasure
// (and from the cache threatMove) of pos.plyTop.
int evaluate(int side, int ply, int depth, int alpha, int beta);

// Positional score (material excluded) for `side`; strongSide has the more
// material (White on equal material); egClass is the material class
// (15 ordinary, 1..5 the corrected endings).
int mainEvaluation(int side, int strongSide, int egClass);

// Per-search preparation: piece-square tables, phase, lone-king table,
// wing flags, style shifts, positional extremes. Called by the search
// driver after the root position is set, before the first evaluate.
void prepareEvaluation();

// Largest pin or skewer value through the man of side c on q (0 when an
// enemy slider attacking it lines up with nothing of c's behind it); adds
// the term's penalties to *penalty.
int pinPenalty(int c, int q, int* penalty);
// What the man of side c on q, threatened with the loss x, still loses
// after its best flight: 0 when it has a safe square.
int afterEscape(int c, int q, int x);

// Mating-net test for side c's king in the endgame: raises its mate-threat
// or king-attacked flag in the current ply record.
void endgameMateThreat(int c);

// Phase weights and materialBias from the current material (the first
// step of mainEvaluation and of prepareEvaluation).
void updatePhase();

// ---------------------------------------------------------------------------
// Evaluation cache: one table per side to move, 16-byte entries.
struct EvalCacheEntry {
  uint32_t word[4];
};
static_assert(sizeof(EvalCacheEntry) == 16);

extern EvalCacheEntry* evalCache[2];
extern uint32_t evalCacheMask;  // entries - 1; 0 disables the cache
// Mixed into the key check of every cache entry; a new value makes all
// entries of earlier searches invalid at once, without clearing memory.
extern uint32_t evalCacheSalt;
// Starts a search that sees nothing cached by earlier ones.
void evalCacheForget();

// Reallocates both tables with `entries` each (rounded down to a power of
// two; 0 frees them and disables the cache). False when the memory could
// not be had (the cache is then disabled). Never called during a search.
bool evalCacheResize(uint32_t entries);
// Empties both tables.
void evalCacheClear();
// Starts loading the entry of a position with `side` to move and the given
// upper key half, so that a later evaluate finds it in the processor cache.
inline void evalCachePrefetch(int side, uint32_t keyHigh) {
  if (evalCacheMask) __builtin_prefetch(&evalCache[side][keyHigh & evalCacheMask]);
}

// ---------------------------------------------------------------------------
// Per-search and per-evaluation state read by the search.
extern int32_t posScoreHigh[2];   // largest positional score seen this search, per side to move
extern int32_t posScoreLow[2];    // smallest one
extern int32_t threatBest[2];     // largest threat against the side's men (full evaluation)
extern int32_t threatSecond[2];   // second largest
extern int32_t endgamePhase;      // 1 (bare endgame) .. 16 (full material)
extern int32_t endgamePhaseHalf;
extern int32_t openingWeight;     // 17 - endgamePhase
extern int32_t openingWeightHalf;
extern int32_t openingWeightQuarter;
extern int32_t openingWeightEighth;
extern int32_t materialBias;      // White's view, added by the piece term
extern int32_t lastMaterial[2];   // material the phase was computed for
extern const int8_t* loneKingTable;  // chosen per search: centre or a mating corner
extern uint8_t tablebaseDrawPlayOn;  // set by the root: tablebase draws are played on

// Style shifts, set by prepareEvaluation from "Playing Style" and rootSide.
extern uint8_t styleSide;         // 0 none, side + 1 for the favoured side
extern uint8_t threatShift[2];    // 6, or 7 for the favoured side
extern uint8_t pawnThreatShift[2];// 5, or 6 for the favoured side

// Piece-square tables of the current search, [side][PieceType][square];
// index 0 (no piece) stays zero, index King is the king square table.
extern int16_t pieceSquare[2][7][64];
extern uint8_t developedMinors[2];  // minor home squares left, 0..4, kept across searches
extern uint8_t attackWing[2];       // file mask of the wing opposite the own king
extern uint8_t castledWings[2];     // 2 opposite wings, 0 same wing, 4 otherwise

// Tablebase hook. The probe sets *movesToMate and returns 1 (win for the
// side to move), -1 (loss) or 0 (draw); it returns 2 when the position is
// not in any table. tablebaseMaxMen is the most men any table found covers
// (0: no tables, the probe is never called), copied from the registry at the
// start of every search.
using TablebaseProbeFn = int (*)(int side, int* movesToMate);
extern TablebaseProbeFn tablebaseProbe;
extern int32_t tablebaseMaxMen;
constexpr int TablebaseMiss = 2;

// Per-side weight of own pawns on light [0] and dark [1] squares (pawn term).
extern int32_t bishopColourPawns[2][2];

// ---------------------------------------------------------------------------
// Material classes.

// Signature index of a side (0..215) or 216 when it has more than two
// knights, bishops or rooks or more than one queen.
int materialClassIndex(int side);
// endgameClassTable[(own << 8) | opponent]: bit 7 set = special class in
// bits 0..5; else adjustment ((e & 63) - 32) * 16 with bit 6 = no win by
// material alone.
extern const std::array<uint8_t, 216 * 256> endgameClassTable;
