// braxen-tool book probe: a book's moves for one position and how often each
// playing style would choose them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One book move of a position as the probe shows it.
struct ProbedMove {
  uint16_t moveWord;      // the record's from/to and static class (bits 12..14)
  uint16_t learn;         // learned weight, loss marks, win mark
  uint32_t move;          // the legal move it stands for, 0 when it is not legal here
  double odds[5];         // [style 1..4]: chance the engine plays it (Wild, Wide, Varied, Tournament)
};

// The chance of each record being played under a style, given each record's
// weight (0..31) and learning word, in the order the engine tries them. The
// engine keeps the first of equal best scores; every value of the random
// words the style reads is counted once, so the chances are exact for
// uniform draws. Records with weight -1 are not candidates.
void bookStyleOdds(int style, const std::vector<int>& weights, const std::vector<uint16_t>& learns, bool learning,
                   std::vector<double>* odds);
// The book moves of the current position from the open book (bookOpen),
// with each style's chances as the engine would play them with Book
// Learning on or off.
std::vector<ProbedMove> probeBookPosition(bool learning);
// Sets up the position of a probe's arguments: "startpos" or a FEN (one
// argument, or its fields as separate arguments), then moves in coordinates
// or SAN, optionally after the word "moves". False with *problem set when
// the position or a move cannot be read.
bool setUpProbePosition(const std::vector<std::string>& args, std::string* problem);
