// What the engine keeps from one run to the next: the learning file and the
// game file, seen through the real program.
#include <unistd.h>

#include <fstream>
#include <random>
#include <regex>
#include <sstream>

#include "e2e/engine_process.h"

namespace {

// The last "info" line with a pv, without its time and node rate, and the
// "bestmove" line: what a search found and how many nodes it took.
std::string searchResult(const GoReply& r) {
  std::string last;
  for (const std::string& line : r.infoLines)
    if (line.find(" pv ") != std::string::npos) last = line;
  last = std::regex_replace(last, std::regex(" (time|nps) [0-9]+"), "");
  return last + " / " + r.bestLine;
}

// Sends the lines, then searches the position to the depth.
std::string searchAfter(EngineProcess& e, const std::vector<std::string>& lines, const std::string& position,
                        int depth) {
  for (const std::string& line : lines) EXPECT_TRUE(e.send(line));
  EXPECT_TRUE(e.send("position " + position));
  return searchResult(go(e, "go depth " + std::to_string(depth)));
}

// The black rook's move h5h4 leads to a position whose score swings from
// depth 3 on, so a search of it to depth 8 learns it. A search of the
// parent to depth 4 meets the learned child at its second ply. Switching
// learning off before the parent is searched keeps the parent itself out
// of the file (it saves what was learned so far) and makes both runs
// search it alike.
TEST(Learning, AnEntryLearnedInOneRunGuidesTheNextRunsFirstSearch) {
  const std::string parent = "fen 5rk1/1ppb3p/p1pb4/6qr/3P1p2/2P1R2P/PP1BQ1P1/5RKN b - - 0 1";
  const std::vector<std::string> learningOff = {"setoption name Position Learning value false", "ucinewgame"};

  EngineProcess fresh;
  ASSERT_TRUE(fresh.start() && fresh.handshake());
  const std::string unlearned = searchAfter(fresh, learningOff, parent, 4);
  EXPECT_EQ(fresh.quit(), 0);

  EngineProcess first;
  ASSERT_TRUE(first.start() && first.handshake());
  ASSERT_TRUE(first.send("position " + parent + " moves h5h4"));
  go(first, "go depth 8");
  const std::string learned = searchAfter(first, learningOff, parent, 4);
  ASSERT_EQ(first.quit(), 0);
  ASSERT_EQ(first.readFile("BRAXEN12SP.lrn").size(), 4u + 16u) << "one position learned";
  EXPECT_NE(learned, unlearned) << "the learned entry changes the parent's search";

  EngineProcess second;
  EngineLaunch sameFolder;
  sameFolder.env = {"APPDATA=" + first.folder()};
  ASSERT_TRUE(second.start(sameFolder) && second.handshake());
  EXPECT_EQ(searchAfter(second, learningOff, parent, 4), learned)
      << "the next run searches with what the first one learned";
  EXPECT_EQ(second.quit(), 0);
}

// ---- The game file under random sessions ------------------------------------

constexpr const char* PgnReaderPath = "/usr/games/pgn-extract";

// Start positions of the sessions' games: what the engine is sent, and the
// same position in plain FEN for the oracle. Some texts are odd but
// accepted (other separators, castling letters without rooks, an
// en-passant square no pawn can use); several lead to promotions soon.
const struct { const char* engine; const char* oracle; } gameStarts[] = {
    {"startpos", "startpos"},
    {"fen 4k3/PPP5/8/8/8/8/5ppp/4K3 w - - 0 1", "fen 4k3/PPP5/8/8/8/8/5ppp/4K3 w - - 0 1"},
    {"fen 4k3/PPP5/8/8/8/8/5ppp/3K4,b,KQkq,e3,0,40", "fen 4k3/PPP5/8/8/8/8/5ppp/3K4 b - - 0 40"},
    {"fen r3k2r/1P4pp/8/8/8/8/1p4PP/R3K2R w KQkq - 3 20", "fen r3k2r/1P4pp/8/8/8/8/1p4PP/R3K2R w KQkq - 3 20"},
    {"fen rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6 0 2",
     "fen rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 0 2"},
};

// A GUI that plays random games with the engine and does odd things between
// them: bare "position" commands, refused FENs, searches after the end of a
// game, "ucinewgame" at any time, and an end by "quit" or by a lost pipe.
class RandomSessions {
 public:
  RandomSessions(Oracle& o, std::mt19937& r) : oracle(o), random(r) {}

  void run(EngineProcess& e, int steps) {
    engine = &e;
    inGame = false;
    for (int i = 0; i < steps; ++i) step();
    if (random() % 2 == 0) {
      engine->send("quit");
    } else {
      engine->closeInput();
    }
    EXPECT_EQ(engine->waitExit(), 0) << engine->transcript();
  }

 private:
  int pick(int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); }
  std::string oraclePosition() const { return after(gameStarts[start].oracle, moves); }
  void sendPosition() { engine->send("position " + after(gameStarts[start].engine, moves)); }

  // Appends up to n random legal moves; false when the game is over.
  bool randomMoves(int n) {
    for (int i = 0; i < n; ++i) {
      const std::set<std::string> legal = oracle.legalMoves(oraclePosition());
      if (legal.empty()) return false;
      auto it = legal.begin();
      std::advance(it, pick(static_cast<int>(legal.size())));
      moves.push_back(*it);
    }
    return true;
  }

  // A new game: six random plies from a random start, so that no two games
  // of the test begin alike.
  void newGame() {
    start = pick(static_cast<int>(std::size(gameStarts)));
    moves.clear();
    inGame = randomMoves(6);
    sendPosition();
  }

  // The engine moves; its move joins the game as a GUI would record it.
  void engineMoves() {
    const GoReply r = go(*engine, "go depth " + std::to_string(1 + pick(2)));
    if (!r.best.empty() && r.best != "0000") moves.push_back(r.best);
  }

  void step() {
    if (!inGame) return newGame();
    switch (pick(10)) {
      case 0: case 1: case 2:  // the GUI's move
        inGame = randomMoves(1);
        sendPosition();
        break;
      case 3: case 4:  // the engine's move
        engineMoves();
        sendPosition();
        break;
      case 5:
        engine->send("ucinewgame");
        newGame();
        break;
      case 6:  // another game without "ucinewgame"
        newGame();
        break;
      case 7:  // a bare "position", or moves on the current board
        if (pick(2) == 0) {
          engine->send(pick(2) == 0 ? "position" : "position moves");
        } else if (randomMoves(1)) {
          engine->send("position moves " + moves.back());
        }
        break;
      case 8:  // a refused FEN, perhaps after "ucinewgame" and with a search
        if (pick(2) == 0) engine->send("ucinewgame");
        engine->send("position fen 8/8/8/8/8/8/8/8 w - - 0 1");
        if (pick(2) == 0) go(*engine, "go depth 1");
        newGame();
        break;
      default:
        EXPECT_TRUE(engine->synced());
    }
  }

  Oracle& oracle;
  std::mt19937& random;
  EngineProcess* engine = nullptr;
  int start = 0;
  std::vector<std::string> moves;
  bool inGame = false;
};

struct ReadGame { std::string fen; std::vector<std::string> moves; };

// The games as an independent PGN reader sees them (moves in UCI form);
// what it complained about goes to problems.
std::vector<ReadGame> readWithPgnTool(const std::string& folder, const std::string& file, std::string* problems) {
  const std::string out = folder + "/read.pgn", log = folder + "/read.log";
  const std::string command = std::string(PgnReaderPath) + " -s -C -Wuci -l'" + log + "' -o'" + out + "' '" + file +
                              "' > /dev/null 2>&1";
  std::vector<ReadGame> games;
  if (std::system(command.c_str()) != 0) *problems += "the reader failed\n";
  *problems += fileText(log);
  std::ifstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("[Event ", 0) == 0) games.emplace_back();
    if (games.empty() || line.empty()) continue;
    if (line.rfind("[FEN \"", 0) == 0) games.back().fen = line.substr(6, line.size() - 8);
    if (line[0] == '[') continue;
    for (const std::string& w : words(line))
      if (w != "*" && w != "1-0" && w != "0-1" && w != "1/2-1/2") games.back().moves.push_back(w);
  }
  return games;
}

// Every game in the file after many random sessions is read whole by an
// independent PGN reader (each move the engine wrote, one comment per move,
// is a move the reader could play), no game is written twice, and the
// promotions carry their "=".
TEST(GameFile, RandomSessionsLeaveAFileOfValidDistinctGames) {
  ASSERT_EQ(access(PgnReaderPath, X_OK), 0) << PgnReaderPath << " (Debian package pgn-extract) reads the games";
  Oracle oracle;
  ASSERT_TRUE(oracle.start()) << OraclePath << " is needed to choose legal moves";
  std::mt19937 random(2026);
  RandomSessions sessions(oracle, random);

  EngineProcess first;
  EngineLaunch sameFolder;
  for (int session = 0; session < 8; ++session) {
    EngineProcess later;
    EngineProcess& e = session == 0 ? first : later;
    if (session == 1) sameFolder.env = {"APPDATA=" + first.folder()};
    ASSERT_TRUE(e.start(sameFolder) && e.handshake());
    sessions.run(e, 40);
  }

  const std::string file = first.folder() + "/BRAXEN Chess/B12SP.pgn";
  const std::string text = first.readFile("B12SP.pgn");
  std::string problems;
  const std::vector<ReadGame> games = readWithPgnTool(first.folder(), file, &problems);
  EXPECT_TRUE(problems.empty()) << "the PGN reader says:\n" << problems.substr(0, 3000);

  // The games as written: each one's text from its Event tag on.
  std::vector<std::string> written;
  for (size_t at = text.find("[Event "); at != std::string::npos;) {
    const size_t next = text.find("[Event ", at + 1);
    written.push_back(text.substr(at, next == std::string::npos ? std::string::npos : next - at));
    at = next;
  }
  ASSERT_GE(written.size(), 20u) << "the sessions play many games";
  ASSERT_EQ(games.size(), written.size()) << "text between games is read as a game of its own";
  std::set<std::string> openings;
  for (size_t i = 0; i < games.size(); ++i) {
    // One comment per move, after the settings comment.
    EXPECT_EQ(games[i].moves.size() + 1, static_cast<size_t>(countOccurrences(written[i], "{"))) << written[i];
    std::string opening = games[i].fen;
    for (size_t k = 0; k < games[i].moves.size() && k < 6; ++k) opening += " " + games[i].moves[k];
    EXPECT_TRUE(openings.insert(opening).second) << "written twice:\n" << written[i];
  }
  EXPECT_FALSE(std::regex_search(text, std::regex("[ .][a-h](x[a-h])?[18][QRBN]"))) << "a promotion without \"=\"";
  EXPECT_TRUE(std::regex_search(text, std::regex("[a-h](x[a-h])?[18]=[QRBN]"))) << "the games hold promotions";
  EXPECT_GE(countOccurrences(text, "\n%FATAL ERROR: stdin pipe gone errno="), 1);
}

}  // namespace
