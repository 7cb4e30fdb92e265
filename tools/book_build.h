// Building the engine's opening book from PGN games.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/pgn_reader.h"

// One book record as the engine reads it (see book/bookprobe.h).
struct BookEntry {
  uint32_t key;
  uint16_t move;   // from << 6 | to, static class in bits 12..14
  uint16_t learn;  // learned weight (class x 4) in bits 0..4, key check in bits 8..15
};

struct BookBuildCounts {
  int games = 0, skippedSetUp = 0, stoppedIllegal = 0;
  int positions = 0;
};

// The static class of a move played in `games` games, `scored` of them with
// a known result giving the mover `points` (1 a win, 1/2 a draw).
int bookClass(int games, int scored, double points);
// Records for the first `plies` half-moves of the games, moves played in
// fewer than minGames games left out, sorted by key as the engine needs.
std::vector<BookEntry> buildBook(const std::vector<PgnGame>& games, int plies, int minGames, BookBuildCounts* counts);
bool writeBookFile(const std::string& path, const std::vector<BookEntry>& entries);
// Checks a book file: readable, size 4 + 8N, keys in order. The record
// count, or -1 with *problem telling what is wrong.
long checkBookFile(const std::string& path, std::string* problem);
