// Endgame tablebases: registration of the table files found in the
// NalimovPath folders, the block cache, and the probe the evaluation calls.
#pragma once
#include <cstddef>
#include <cstdint>

#include "tablebase/tbclasses.h"

// A table score of "no information": the position is not in a readable table.
constexpr int TbUnknown = 32767;

// Kind of a probe result. A result carries its kind beside the distance so
// that a loss at distance 0 (mated now) never reads as a draw.
constexpr int TbLoss = -1, TbDraw = 0, TbWin = 1;

struct TbResult {
  int kind;      // TbWin, TbLoss or TbDraw for the side to move
  int distance;  // moves to mate (win) or to be mated (loss); 0 for a draw
  int r;         // the result value: 32767 - T for a win, -32766 - T for a loss, 0 for a draw
};

extern int32_t tbMaxMen;           // most men of any registered class, 0 for none
extern uint32_t tbHits;            // successful probes in the current search
extern uint32_t tbFilesTried;      // open attempts while registering
extern uint32_t tbFilesOpened;     // successful opens, registration and probes
extern uint32_t tbFilesRegistered; // table files (sides and parts) registered
extern uint64_t tbBytesAllocated;  // cache bytes held

// (Re)registers the files of tbPath when reregister is set, then sizes the
// block cache from tbCacheBytes (halving on failure down to 1 MB) and resets
// the availability bits. False when tablebases end up switched off.
bool InitTablebases(bool reregister);
// Registers every table file of the NalimovPath folders; returns the most
// men of any class found (3..6), or 0 when none was found.
int registerAll();
// Frees the cache and forgets every registered file.
void releaseTablebases();

// Probes the current position for the side to move; false when it is not in
// a registered table or cannot be read.
bool probeTablebase(int side, TbResult* out);
// Table score T of an index: 32640 + v for a stored win v, v - 32640 for a
// stored loss, 0 for a draw, TbUnknown when nothing can be read.
int probeClass(int classNo, int side, uint64_t index);
// Signed byte at offset of a block, through the cache; TbUnknown on failure.
int readEntry(int classNo, int side, uint32_t block, uint32_t offset);

// The evaluation's probe: 1 win, -1 loss, 0 draw with *movesToMate set, or 2
// when the position is not found.
int tablebaseProbeForEval(int side, int* movesToMate);

// What the last probe that reached a table looked up: the stored class,
// its side to move, whether colours were swapped, the index and the table
// score (for braxen-tool and the tests).
struct TbProbeTrace {
  int classNo;
  int side;
  int invert;
  uint64_t index;
  int score;
};
extern TbProbeTrace tbLastProbe;

// Checks the size of every table file in dir against its class without
// registering anything; report gets each file found. Returns the number of
// files whose size is wrong, or -1 when dir cannot be listed.
using TbSizeReport = void (*)(const char* path, uint64_t expected, uint64_t found);
int tbCheckFolder(const char* dir, TbSizeReport report);

// Class lookup tree: counts are White's pawns, knights, bishops, rooks,
// queens, then Black's. The class number, its negation when the class is
// stored with colours swapped, or 0.
int tbLookupClass(const int counts[10]);

// Split tables: entries per part file, number of parts, and the entries a
// given part must hold.
uint64_t tbPartEntries(uint32_t flags);
int tbPartCount(uint32_t flags, uint64_t positions);
uint64_t tbExpectedEntries(uint32_t flags, uint64_t positions, int part);
// The file name of a class, side and part in folder dir ("" = current).
void tbFileName(char* out, size_t size, const char* dir, const char* className, uint32_t flags, int part, int side);
// Converts a stored byte into a table score.
int tbScoreOfByte(int v);
// Result of a table score: kind, distance and r. False for TbUnknown.
bool tbResultOfScore(int t, TbResult* out);
