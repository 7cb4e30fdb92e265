// Endgame table classes: the 440 material classes of up to six men, their
// storage flags, index functions and index ranges, plus the run-time state
// that the registry keeps per class (file names, open files, decoders and
// the block-cache buckets).
#pragma once
#include <cstdint>
#include <cstdio>

constexpr int TbClassCount = 440;  // classes 1..440; entry 0 is unused
constexpr int TbMaxParts = 18;     // files of one split class and side

// Class flags.
constexpr uint32_t TbOneFile = 1;   // one file serves both sides to move
constexpr uint32_t TbTwoBytes = 2;  // two bytes (little-endian) per position
constexpr uint32_t TbSplit = 4;     // split into files of 2^31 (2^30 two-byte) entries

// Square lists handed to an index function, 16 entries per side:
// [0..2] pawns, [3..5] knights, [6..8] bishops, [9..11] rooks,
// [12..14] queens, [15] the king. Only as many entries of a kind are
// filled as the class has men of that kind.
constexpr int TbListPawn = 0, TbListKnight = 3, TbListBishop = 6, TbListRook = 9,
              TbListQueen = 12, TbListKing = 15;
constexpr int TbNoEp = 127;

// ep: en-passant square or TbNoEp. invert: the lists are those of the
// colour-swapped class (with pawns the board is also flipped vertically).
using TbIndexFn = uint64_t (*)(const uint8_t* white, const uint8_t* black, int ep, int invert);

struct TbDecoder;     // block directory of a compressed file
struct TbCacheEntry;  // one cached 8 KB block

struct TbClass {
  uint32_t index;
  uint32_t flags;
  TbIndexFn indexFn[2];  // White to move, Black to move
  char name[8];          // "k", White's men, "k", Black's men (order q r b n p)
  uint64_t positions[2]; // range of indexFn[side]
  // Run-time state of the registry.
  char* fileName[2][TbMaxParts];
  FILE* fileHandle[2][TbMaxParts];
  TbDecoder* decodeInfo[2][TbMaxParts];
  TbCacheEntry** blockBuckets[2];  // 32 bucket heads, by block & 31
};

extern TbClass tbClasses[TbClassCount + 1];

// Fills the constant fields of tbClasses (index, flags, indexFn, name,
// positions) and builds the enumeration tables the index functions read.
// Idempotent; called before the first registration and by the generator.
void initTbClasses();

// Class number of a name such as "kqkr", 0 when there is none.
int tbClassByName(const char* name);
