// Looking the root position up in the opening book and choosing a move.
#pragma once

#include <cstdint>
#include "board/types.h"

// One 8-byte book record as stored (little-endian on disk).
struct BookRecord {
  uint32_t key;      // low key word with bit 0 = white to move
  uint16_t move;     // bits 0..11 from << 6 | to, bits 12..14 static weight class
  uint16_t learn;    // bits 0..4 learned weight, 5..6 loss marks, 7 win mark, 8..15 key check
};

constexpr int BookWindowSize = 40;
extern BookRecord bookWindow[BookWindowSize];
extern int bookWindowFirst;   // record index of bookWindow[0]
extern int bookWindowCount;   // records read into the window

// The book key and the second key check of the current position.
uint32_t bookKey();
uint8_t bookKeyCheck();
// Reads up to count records from firstIndex into the window; the number read.
int bookReadWindow(uint32_t firstIndex, int count);
// Binary search for key. On a hit the window holds the records around it
// and *index is the first record of the key inside the window.
bool bookFind(uint32_t key, int* index);
// The lowest weight class a style plays: Wild (1) 1, Wide (2) 2, Varied (3)
// and Tournament (4) 3.
int bookStyleMinClass(int style);
// The score of a record of weight w (0..31) in the weighted draw of a style,
// from the random words r1 and r2 (r2 read by Wild only; only low bits of
// each are used); 0 when the record's class is below the style's. The
// largest score among a position's records is played.
int32_t bookStyleScore(int style, int w, uint16_t learn, bool learning, uint32_t r1, uint32_t r2);
// A move for the root from the book, chosen by the Book Style of the
// search-flag word among the legal, non-repeating root moves in
// [start, end); 0 when the book has none. The move carries CheckMark when
// it gives check. Needs OwnBook on and the game still near its last book
// move (lastBookPly).
Move bookProbe(uint32_t flags, const ScoredMove* start, const ScoredMove* end);
