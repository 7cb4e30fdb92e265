// PGN reading: a single pass over the text that switches between tag pairs
// and move text, skipping comments ({...} and ; to the line end), nested
// variations, NAGs, move numbers and escape lines.
#include "tools/pgn_reader.h"

#include <cctype>
#include <fstream>
#include <sstream>

namespace {

bool isResult(const std::string& t) { return t == "1-0" || t == "0-1" || t == "1/2-1/2" || t == "*"; }

// A move-text token without its move number ("12.", "12...", "1.e4" -> "e4").
std::string withoutNumber(const std::string& t) {
  size_t i = 0;
  while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i;
  if (i == 0 || i == t.size() || t[i] != '.') return t;
  while (i < t.size() && t[i] == '.') ++i;
  return t.substr(i);
}

class Reader {
 public:
  explicit Reader(const std::string& text) : s(text) {
    if (s.compare(0, 3, "\xEF\xBB\xBF") == 0) p = 3;
  }

  std::vector<PgnGame> run() {
    while (p < s.size()) {
      const char c = s[p];
      if (c == '[' && atLineStart()) readTag();
      else if (c == '{') skipPast('}');
      else if (c == ';' || (c == '%' && atLineStart())) skipPast('\n');
      else if (c == '(') skipVariation();
      else if (std::isspace(static_cast<unsigned char>(c))) ++p;
      else readToken();
    }
    finishGame();
    return games;
  }

 private:
  bool atLineStart() const {
    size_t i = p;
    while (i > 0 && (s[i - 1] == ' ' || s[i - 1] == '\t')) --i;
    return i == 0 || s[i - 1] == '\n' || s[i - 1] == '\r' || (i == 3 && s.compare(0, 3, "\xEF\xBB\xBF") == 0);
  }

  void skipPast(char end) {
    const size_t q = s.find(end, p);
    p = q == std::string::npos ? s.size() : q + 1;
  }

  void skipVariation() {
    int depth = 0;
    while (p < s.size()) {
      const char c = s[p];
      if (c == '{') {
        skipPast('}');
        continue;
      }
      if (c == ';') {
        skipPast('\n');
        continue;
      }
      ++p;
      if (c == '(') ++depth;
      if (c == ')' && --depth == 0) return;
    }
  }

  void readTag() {
    if (!current.moves.empty() || !current.result.empty()) finishGame();
    const size_t end = s.find('\n', p);
    const std::string line = s.substr(p + 1, (end == std::string::npos ? s.size() : end) - p - 1);
    p = end == std::string::npos ? s.size() : end + 1;
    const size_t space = line.find(' ');
    const size_t open = line.find('"');
    if (space == std::string::npos || open == std::string::npos) return;
    std::string value;
    for (size_t i = open + 1; i < line.size() && line[i] != '"'; ++i) {
      if (line[i] == '\\' && i + 1 < line.size()) ++i;
      value += line[i];
    }
    current.tags.emplace_back(line.substr(0, space), value);
    inGame = true;
  }

  void readToken() {
    const size_t start = p;
    while (p < s.size() && !std::isspace(static_cast<unsigned char>(s[p])) && s[p] != '{' && s[p] != '(' &&
           s[p] != ')' && s[p] != ';')
      ++p;
    if (p == start) {
      ++p;  // a stray ')' or other lone character
      return;
    }
    const std::string token = s.substr(start, p - start);
    inGame = true;
    if (isResult(token)) {
      current.result = token;
      finishGame();
      return;
    }
    if (token[0] == '$') return;  // a NAG
    const std::string move = withoutNumber(token);
    if (!move.empty() && move.find_first_not_of(".!?") != std::string::npos) current.moves.push_back(move);
  }

  void finishGame() {
    if (inGame) games.push_back(current);
    current = PgnGame();
    inGame = false;
  }

  const std::string& s;
  size_t p = 0;
  bool inGame = false;
  PgnGame current;
  std::vector<PgnGame> games;
};

}  // namespace

std::string PgnGame::tag(const std::string& name) const {
  for (const auto& t : tags)
    if (t.first == name) return t.second;
  return "";
}

bool PgnGame::fromStandardStart() const {
  std::string variant = tag("Variant");
  for (char& c : variant) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const bool standard = variant.empty() || variant == "standard" || variant == "normal" || variant == "chess";
  return standard && tag("FEN").empty() && (tag("SetUp").empty() || tag("SetUp") == "0");
}

std::vector<PgnGame> readPgnText(const std::string& text) { return Reader(text).run(); }

bool readPgnFile(const std::string& path, std::vector<PgnGame>* games) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::stringstream text;
  text << in.rdbuf();
  *games = readPgnText(text.str());
  return true;
}
