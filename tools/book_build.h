// Building the engine's opening book from PGN games.
#pragma once

#include <cstdint>
#include <map>
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
  int leftOut = 0;  // moves kept by the game count whose class came out 0
};

// What decides a move's class: how many of the games in its position
// continued with it, whether it is the position's most played move, and how
// much better or worse than the position's average the mover scored with it.
struct MoveShare {
  int games;          // games that played the move
  int positionGames;  // games that reached the position (all its moves)
  int mostGames;      // games of the position's most played move
  double scoreEdge;   // mover's score with the move minus the position's, shrunk (see scoreEdge)
  double score;       // mover's score with the move, shrunk towards 1/2 the same way
};

// The mover's score with a move (points over the scored games, 1 a win,
// 1/2 a draw) minus the position's average score `mean`, pulled towards 0
// as if ScorePriorGames more games had scored the average: a handful of
// games says little.
constexpr double ScorePriorGames = 8;
double scoreEdge(int scored, double points, double mean);
inline double shrunkScore(int scored, double points) { return 0.5 + scoreEdge(scored, points, 0.5); }
// The static class 0..7 of a move. The share of the position's games sets
// the base: 40 % or more 7, 25 % 6, 16 % 5, 10 % 4, 6 % 3 (the lowest class
// Tournament and Varied play), 2 % 2 (Wide), rarer 1 (Wild only); the most
// played move is at least 3. The score moves it down one or two classes when
// clearly worse than the position's average (and one more when the mover
// lost clearly with it, which a position with a single move cannot show
// against its average), and up one when clearly better for a move that is
// already a main-line candidate. 0: no style plays it.
int bookClass(const MoveShare& m);

// How often a move was played in a position and how the mover scored.
struct MoveTally {
  int games = 0, scored = 0;  // scored: games with a known result
  double points = 0;          // the mover's points in the scored games
};

// Gathers the openings of games one at a time (for large files) and turns
// them into book records.
struct BookBuilder {
  int plies = 24;
  BookBuildCounts counts;
  std::map<uint64_t, MoveTally> tallies;  // by (key, key check, from/to), so a position's moves are adjacent
};
void bookAddGame(BookBuilder* b, const PgnGame& g);
// Records of the moves played in at least minGames games with a class above
// 0, sorted by key as the engine needs and, within a position, the heaviest
// first.
std::vector<BookEntry> bookFinish(BookBuilder* b, int minGames);
// Both steps over a list of games.
std::vector<BookEntry> buildBook(const std::vector<PgnGame>& games, int plies, int minGames, BookBuildCounts* counts);
bool writeBookFile(const std::string& path, const std::vector<BookEntry>& entries);
// Checks a book file: readable, size 4 + 8N, keys in order. The record
// count, or -1 with *problem telling what is wrong.
long checkBookFile(const std::string& path, std::string* problem);
