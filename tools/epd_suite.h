// Test suites of EPD positions: reading the lines and judging the engine's
// own search on each position ("bm" best moves, "am" moves to avoid).
#pragma once

#include <string>
#include <vector>

struct EpdCase {
  std::string fen;                  // the four position fields
  std::string id;                   // the "id" operation, or "line N"
  std::vector<std::string> best;    // "bm" operands as written (SAN or coordinates)
  std::vector<std::string> avoid;   // "am" operands
};

// Reads one EPD line: the four position fields, then operations "opcode
// operand ...;" (quoted operands may hold blanks and semicolons). False for
// a blank or comment line, a line without four fields, or a line without a
// "bm" or "am" operation.
bool parseEpdLine(const std::string& line, EpdCase* c);
// Every usable line of a file; lines without an id are named "line N".
// False when the file cannot be read.
bool readEpdFile(const std::string& path, std::vector<EpdCase>* cases);

struct EpdResult {
  bool readable = false;  // the position and at least one of its moves could be read
  bool solved = false;    // played a "bm" move (when given) and no "am" move
  std::string played;     // the engine's move in SAN
};

// The search limit of a suite: "go movetime MS", "go depth D" or both.
std::string epdGoCommand(int ms, int depth);
// Sets up the case through the engine's own "ucinewgame" and "position"
// handlers, runs `go` and judges the move. The engine's search output goes
// to standard output; callers that do not want it redirect it.
EpdResult runEpdCase(const EpdCase& c, const std::string& go);
// Search work memory, default options and a hash table of hashMb, as a fresh
// engine after "uci"; standard input becomes a pipe that never delivers, so
// the search's input polling neither blocks nor sees an end of input.
bool epdEngineSetUp(int hashMb);
