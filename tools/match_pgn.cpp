// The game file of the match runner: one PGN game per finished game, with
// the set-up position of the opening, a comment per move and the reason for
// the result.
#include <cstdlib>

#include "tools/match.h"

namespace match {

namespace {

// PGN Termination tag values per Termination.
const char* const terminationTag[] = {"normal", "time forfeit", "rules infraction", "abandoned",
                                      "adjudication", "unterminated"};

std::string tag(const char* name, const std::string& value) {
  std::string escaped;
  for (char c : value) {
    if (c == '"' || c == '\\') escaped += '\\';
    escaped += c;
  }
  return std::string("[") + name + " \"" + escaped + "\"]\n";
}

// Comments may not hold a closing brace.
std::string commentText(const std::string& text) {
  std::string s;
  for (char c : text) s += c == '}' ? ')' : c;
  return "{" + s + "}";
}

// Side to move and fullmove number from FEN fields two and six.
void fenMoveNumber(const std::string& fen, int& side, int& moveNumber) {
  side = 0;
  moveNumber = 1;
  if (fen.empty()) return;
  std::vector<std::string> fields;
  size_t i = 0;
  while (i < fen.size()) {
    size_t j = fen.find(' ', i);
    if (j == std::string::npos) j = fen.size();
    if (j > i) fields.push_back(fen.substr(i, j - i));
    i = j + 1;
  }
  if (fields.size() > 1 && fields[1] == "b") side = 1;
  if (fields.size() > 5) {
    int n = std::atoi(fields[5].c_str());
    if (n > 0) moveNumber = n;
  }
}

// Appends a token, starting a new line before it would pass 79 columns.
void addToken(std::string& out, size_t& lineLength, const std::string& token) {
  if (lineLength > 0 && lineLength + 1 + token.size() > 79) {
    out += '\n';
    lineLength = 0;
  } else if (lineLength > 0) {
    out += ' ';
    ++lineLength;
  }
  out += token;
  lineLength += token.size();
}

}  // namespace

std::string resultText(int whiteScore) {
  return whiteScore == 2 ? "1-0" : whiteScore == 0 ? "0-1" : "1/2-1/2";
}

std::string formatPgnGame(const PgnHeader& h, const GameResult& g) {
  std::string result = g.termination == Termination::Aborted ? "*" : resultText(g.score);
  std::string out;
  out += tag("Event", h.event);
  out += tag("Site", "?");
  out += tag("Date", h.date);
  out += tag("Round", std::to_string(h.round));
  out += tag("White", h.white);
  out += tag("Black", h.black);
  out += tag("Result", result);
  if (!g.fen.empty()) {
    out += tag("SetUp", "1");
    out += tag("FEN", g.fen);
  }
  out += tag("TimeControl", h.timeControl);
  out += tag("PlyCount", std::to_string(g.sanMoves.size()));
  out += tag("Termination", terminationTag[static_cast<int>(g.termination)]);
  out += '\n';

  int side, number;
  fenMoveNumber(g.fen, side, number);
  size_t lineLength = 0;
  for (size_t i = 0; i < g.sanMoves.size(); ++i) {
    if (side == 0) addToken(out, lineLength, std::to_string(number) + ".");
    else if (i == 0) addToken(out, lineLength, std::to_string(number) + "...");
    addToken(out, lineLength, g.sanMoves[i]);
    if (i < g.comments.size() && !g.comments[i].empty()) addToken(out, lineLength, commentText(g.comments[i]));
    if (side == 1) ++number;
    side ^= 1;
  }
  if (!g.reason.empty()) addToken(out, lineLength, commentText(g.reason));
  addToken(out, lineLength, result);
  out += "\n\n";
  return out;
}

}  // namespace match
