// EPD test suites through the engine's own search: parsing the lines,
// setting the position up with the UCI handlers, judging the move played.
#include "tools/epd_suite.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "board/movegen.h"
#include "board/position.h"
#include "board/setup.h"
#include "engine/options.h"
#include "engine/report.h"
#include "engine/uci.h"
#include "search/think.h"
#include "search/tt.h"

namespace {

// Splits the operation part at semicolons outside quotes; each operation
// into its opcode and operands, quotes removed.
std::vector<std::vector<std::string>> splitOperations(const std::string& text) {
  std::vector<std::vector<std::string>> ops(1);
  std::string word;
  bool quoted = false, inWord = false;
  auto endWord = [&]() {
    if (inWord) ops.back().push_back(word);
    word.clear();
    inWord = false;
  };
  for (char ch : text) {
    if (ch == '"') {
      quoted = !quoted;
      inWord = true;
    } else if (quoted) {
      word += ch;
    } else if (ch == ';') {
      endWord();
      ops.emplace_back();
    } else if (ch == ' ' || ch == '\t' || ch == '\r') {
      endWord();
    } else {
      word += ch;
      inWord = true;
    }
  }
  endWord();
  return ops;
}

void command(const std::string& text) {
  static char line[LineBufferSize];
  snprintf(line, sizeof line, "%s", text.c_str());
  HandleUciCommand(line);
}

// The legal moves among the texts, read in the current position.
std::vector<Move> readMoves(const std::vector<std::string>& texts) {
  std::vector<Move> moves;
  for (const std::string& t : texts) {
    Move m = parseMoveText(t.c_str());
    if (m != 0 && completeMove(pos.sideToMove, &m)) moves.push_back(m);
  }
  return moves;
}

bool among(Move played, const std::vector<Move>& moves) {
  for (Move m : moves)
    if (((m ^ played) & 0x7FFF) == 0) return true;
  return false;
}

}  // namespace

bool parseEpdLine(const std::string& line, EpdCase* c) {
  std::istringstream in(line);
  std::string fields[4];
  for (std::string& f : fields)
    if (!(in >> f)) return false;
  if (fields[0][0] == '#' || fields[0].find('/') == std::string::npos) return false;
  *c = EpdCase();
  c->fen = fields[0] + " " + fields[1] + " " + fields[2] + " " + fields[3];
  std::string rest;
  std::getline(in, rest);
  for (const std::vector<std::string>& op : splitOperations(rest)) {
    if (op.empty()) continue;
    std::vector<std::string>* into = op[0] == "bm" ? &c->best : op[0] == "am" ? &c->avoid : nullptr;
    if (into != nullptr) into->insert(into->end(), op.begin() + 1, op.end());
    if (op[0] == "id" && op.size() > 1) c->id = op[1];
  }
  return !c->best.empty() || !c->avoid.empty();
}

bool readEpdFile(const std::string& path, std::vector<EpdCase>* cases) {
  std::ifstream in(path);
  if (!in) return false;
  int number = 0;
  EpdCase c;
  for (std::string line; std::getline(in, line);) {
    ++number;
    if (!parseEpdLine(line, &c)) continue;
    if (c.id.empty()) c.id = "line " + std::to_string(number);
    cases->push_back(c);
  }
  return true;
}

std::string epdGoCommand(int ms, int depth) {
  std::string go = "go";
  if (depth > 0) go += " depth " + std::to_string(depth);
  if (ms > 0) go += " movetime " + std::to_string(ms);
  return go;
}

EpdResult runEpdCase(const EpdCase& c, const std::string& go) {
  EpdResult r;
  command("ucinewgame");
  // The suite's position, with the move counters EPD leaves out.
  if (parseFen((c.fen + " 0 1").c_str()) == 0) return r;
  command("position fen " + c.fen + " 0 1");
  const std::vector<Move> best = readMoves(c.best), avoid = readMoves(c.avoid);
  if (best.empty() && avoid.empty()) return r;
  r.readable = true;
  command(go);
  const Move played = static_cast<Move>(lastBestMove & ~CheckMark);
  r.played = played == 0 ? "(none)" : MoveText(lastBestMove, StyleSan | StyleNoPad | sanDisambiguation(played));
  r.solved = played != 0 && (c.best.empty() || among(played, best)) && !among(played, avoid);
  return r;
}

bool epdEngineSetUp(int hashMb) {
  int fds[2];
  if (pipe(fds) != 0) return false;
  dup2(fds[0], STDIN_FILENO);  // the write end stays open: input never ends
  close(fds[0]);
  if (!initSearchMemory()) return false;
  SetDefaultOptions();
  if (!ttAllocate(static_cast<uint32_t>(hashMb) * 1024)) return false;
  hashSizeKb = static_cast<uint32_t>(hashMb) * 1024;
  uciActive = true;
  quitRequested = 0;
  return true;
}
