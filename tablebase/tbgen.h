// Retrograde distance-to-mate generation of endgame tables of up to five
// men. Every position of a class is first judged forward on the real board
// (legal moves, mate, stalemate, captures and promotions into the smaller
// classes); distances then spread backwards by un-moves, one ply level at a
// time, so each position is touched once per level it takes part in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "board/types.h"

constexpr int GenMaxMen = 3;  // men besides the kings: five men in all

// A class of material as the generator numbers it.
struct GenMaterial {
  char name[8];               // "kqkr": "k", White's men, "k", Black's men
  int men;                    // men besides the kings
  uint8_t type[GenMaxMen];    // PieceType, White's men first, each side q r b n p
  uint8_t colour[GenMaxMen];
  bool pawns;                 // with pawns only the file mirror is a symmetry
  bool epPossible;            // pawns on both sides: en-passant nodes exist
  uint64_t baseSize;          // nodes per side without en-passant nodes
  uint64_t weight[2 + GenMaxMen];  // node weight of each slot's digit
};

// The squares of one position: both kings, then the men in material order.
struct GenSquares {
  uint8_t king[2];
  uint8_t man[GenMaxMen];
};

// Slots number the men of a class: the White king, the Black king, then
// man i in slot 2 + i (the order of the node number's digits).
inline uint8_t& genSlotSquare(GenSquares& sq, int slot) { return slot < 2 ? sq.king[slot] : sq.man[slot - 2]; }

// Final distances of a generated class, one byte per node and side:
// the distance to mate in plies (even: the side to move is mated, odd: it
// mates), GenDraw for draws and for nodes that are no legal position.
constexpr uint8_t GenDraw = 255;

struct GenTable {
  GenMaterial mat;
  std::vector<uint8_t> dist[2];          // base nodes
  std::vector<uint64_t> legal[2];        // bit per base node: a legal position
  std::vector<uint64_t> epKeys[2];       // sorted keys of the en-passant nodes
  std::vector<uint8_t> epDist[2];
};

// Parses a class name ("kqkr"); false for a name the generator cannot make
// (not a king on each side, unknown letters, more than five men).
bool genParseMaterial(const char* name, GenMaterial* mat);
// Name of the class that stores this material and whether it is stored
// with the colours swapped (the stronger side is always White in a name).
void genStorageName(const char* white, const char* black, char* name, bool* swapped);

// Canonical node of a position: the board symmetry that brings the White
// king into its home region, identical men in ascending square order.
// Rewrites sq to the canonical squares; returns the base node number.
uint64_t genNormalize(const GenMaterial& mat, GenSquares* sq);
void genDecode(const GenMaterial& mat, uint64_t node, GenSquares* sq);
// Node of a canonical position (sq, number node) after the man in `slot`
// moves to the empty square `to`, found without normalising when the moved
// position needs no board transform to be canonical: then only the digits
// of the man (and of identical men it passes) change. GenShiftUnknown when
// genNormalize must decide.
constexpr uint64_t GenShiftUnknown = ~0ull;
uint64_t genShiftedNode(const GenMaterial& mat, const GenSquares& sq, uint64_t node, int slot, int to);
// Whether distinct squares sq, decoded from node, are the canonical form.
bool genIsCanonical(const GenMaterial& mat, const GenSquares& sq, uint64_t node);
// Key of an en-passant node: the base node and the man that just made a
// double step; epKeys hold these in ascending order.
inline uint64_t genEpKey(uint64_t node, int man) { return node * 4 + static_cast<uint64_t>(man); }

// A position of any material: the kings and up to three other men.
struct GenMen {
  int count;
  uint8_t king[2];
  uint8_t type[GenMaxMen], colour[GenMaxMen], square[GenMaxMen];
};

// Storage class of a position's material ("kqkr"), whether it is stored
// with the colours swapped, and its squares placed in that class's order
// (colours swapped and the board turned upside down when swapped). false
// for a material beyond five men.
bool genPlace(const GenMen& men, char* className, bool* swapped, GenSquares* sq);

// Finished tables the generator consults for captures and promotions:
// the distance byte (as in GenTable) of a position of a smaller material
// with `side` to move. false when that class is not available.
using GenLookup = bool (*)(const GenMen& men, int side, uint8_t* dist);

struct GenStats {
  uint64_t nodes[2];      // legal positions per side
  uint64_t wins[2], losses[2], draws[2];
  int longestPlies;       // longest distance to mate in plies
  double seconds;
};

// Generates one class. lookup answers for the smaller classes; false when
// one of them is missing (the table is then left empty).
bool genGenerate(const char* name, GenLookup lookup, GenTable* table, GenStats* stats);

// Distance byte of a position in a table of its own storage class; sq in
// that class's order and colours, any board orientation; ep is the
// en-passant square or 0.
uint8_t genTableDistance(const GenTable& table, GenSquares sq, int side, int ep);

// Quiet moves the forward stage judges from the attack tables alone, the
// way the engine's own legality tests judge them, when the mover is not in
// check: a king step is legal exactly when its square is not attacked (no
// slider can aim at the king through it, as none gives check), and a step
// of any other man that is not pinned is legal. None of these sets an
// en-passant right. Most moves of a node are of this kind, and make and
// unmake, with their attack-table updates and copies, are the costliest
// part of judging. Anything else is made on the board.
enum GenQuietVerdict { GenNeedsTheBoard, GenLegal, GenIllegal };
GenQuietVerdict genJudgeQuiet(Move m, int side, bool inCheck);

// ---- Classes kept in memory (tbgen_store.cpp) ----------------------------------------


// The storage name of a class given with either side first ("krkq" ->
// "kqkr"); false for a name that is no class of three to five men.
bool genStorageNameOf(const char* name, char* storage);

// The classes that the captures and promotions of a class lead into, by
// their storage names.
std::vector<std::string> genDependencies(const char* name);

// Answers for classes not held in memory (a finished table on disk).
using GenExternalLookup = bool (*)(const char* className, const GenSquares& sq, int side, uint8_t* dist);
void genSetExternalLookup(GenExternalLookup lookup);

// The lookup the generator uses: the classes in memory, then the external one.
bool genLookupStored(const GenMen& men, int side, uint8_t* dist);
const GenTable* genStoredTable(const char* name);
void genForget(const char* name);

struct GenHooks {
  bool (*onDisk)(const char* name);  // a finished table needs no generation
  // Called for each class made; false stops the generation.
  bool (*finished)(const GenTable& table, const GenStats& stats);
};

// Generates a class (kept in memory) after every smaller class it needs
// that is neither in memory nor on disk. nullptr on failure.
const GenTable* genWithDependencies(const char* name, const GenHooks& hooks);
