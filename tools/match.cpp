// braxen-tool match: the command line, the openings, the series of games
// with colours swapped per opening, restarting engines after a fault, the
// game file and the closing summary.
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/match.h"
#include "tools/tools.h"

using namespace match;

namespace {

struct MatchOptions {
  MatchSettings settings;
  std::string names[2];       // given with --name1/--name2, else "id name"
  std::string tcText = "10+0.1";
  std::string openingsFile;
  std::string pgnFile;
  int games = 2;
  int firstOpening = 1;       // 1-based line among the openings
};

// Faults per engine over the match.
struct FaultCounts {
  int timeLosses = 0, illegalMoves = 0, crashes = 0, kills = 0, restarts = 0;
};

// Process groups of the running engines, for the interrupt handler.
volatile sig_atomic_t enginePgids[2] = {0, 0};

void onInterrupt(int sig) {
  for (int i = 0; i < 2; ++i)
    if (enginePgids[i] > 0) kill(-enginePgids[i], SIGKILL);
  signal(sig, SIG_DFL);
  raise(sig);
}

void printMatchUsage() {
  std::fprintf(stderr,
               "usage: braxen-tool match --engine1 CMD --engine2 CMD [options]\n"
               "  --engine1 CMD, --engine2 CMD   engine command lines (split at blanks)\n"
               "  --option1 N=V, --option2 N=V   UCI option for engine 1/2 (repeatable); an engine\n"
               "                                 with a Ponder option gets Ponder=false unless set here\n"
               "  --name1 S, --name2 S           names in the output and game file\n"
               "  --tc [MOVES/]SEC[+INC]         time control in seconds (default 10+0.1)\n"
               "  --games N                      games to play (default 2)\n"
               "  --openings FILE                EPD or FEN lines, each played twice\n"
               "  --start N                      first opening line to use (default 1); past the\n"
               "                                 last line the count goes on from the first\n"
               "  --pgn FILE                     append the games to FILE\n"
               "  --margin MS                    allowance before a flag falls (default 5)\n"
               "  --maxmoves N                   draw after N moves each (default none)\n"
               "  --uci-timeout MS               wait for uciok and readyok (default 10000)\n");
}

bool parseCount(const char* text, int low, int high, int& out) {
  char* end;
  long v = std::strtol(text, &end, 10);
  if (end == text || *end || v < low || v > high) return false;
  out = static_cast<int>(v);
  return true;
}

bool addOption(EngineSetup& setup, const char* text) {
  const char* eq = std::strchr(text, '=');
  if (!eq || eq == text) return false;
  setup.optionNames.emplace_back(text, eq - text);
  setup.optionValues.emplace_back(eq + 1);
  return true;
}

// Returns 0 when the options are complete, 2 on a usage error.
int parseArguments(int argc, char** argv, MatchOptions& o) {
  MatchSettings& s = o.settings;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (!std::strcmp(a, "--help") || !std::strcmp(a, "-h")) {
      printMatchUsage();
      return 2;
    }
    const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
    if (!v) {
      std::fprintf(stderr, "braxen-tool match: %s needs a value\n", a);
      return 2;
    }
    ++i;
    int ms = 0, moves = 0;
    bool ok = true;
    if (!std::strcmp(a, "--engine1")) {
      s.setup[0].command = v;
    } else if (!std::strcmp(a, "--engine2")) {
      s.setup[1].command = v;
    } else if (!std::strcmp(a, "--option1")) {
      ok = addOption(s.setup[0], v);
    } else if (!std::strcmp(a, "--option2")) {
      ok = addOption(s.setup[1], v);
    } else if (!std::strcmp(a, "--name1")) {
      o.names[0] = v;
    } else if (!std::strcmp(a, "--name2")) {
      o.names[1] = v;
    } else if (!std::strcmp(a, "--tc")) {
      ok = parseTimeControl(v, s.tc);
      o.tcText = v;
    } else if (!std::strcmp(a, "--games")) {
      ok = parseCount(v, 1, 1000000, o.games);
    } else if (!std::strcmp(a, "--openings")) {
      o.openingsFile = v;
    } else if (!std::strcmp(a, "--start")) {
      ok = parseCount(v, 1, 100000000, o.firstOpening);
    } else if (!std::strcmp(a, "--pgn")) {
      o.pgnFile = v;
    } else if (!std::strcmp(a, "--margin")) {
      ok = parseCount(v, 0, 60000, ms);
      s.marginMicros = ms * 1000LL;
    } else if (!std::strcmp(a, "--uci-timeout")) {
      ok = parseCount(v, 1, 600000, s.readyTimeoutMs);
    } else if (!std::strcmp(a, "--maxmoves")) {
      ok = parseCount(v, 0, 100000, moves);
      s.maxPlies = 2 * moves;
    } else {
      std::fprintf(stderr, "braxen-tool match: unknown option %s\n", a);
      return 2;
    }
    if (!ok) {
      std::fprintf(stderr, "braxen-tool match: bad value for %s: %s\n", a, v);
      return 2;
    }
  }
  if (s.setup[0].command.empty() || s.setup[1].command.empty()) {
    printMatchUsage();
    return 2;
  }
  return 0;
}

// An EPD or FEN line as a FEN: the four board fields, then the counters of
// the line when it has them, else "0 1". Empty for a blank or comment line.
std::string openingFen(const std::string& line) {
  std::vector<std::string> fields;
  size_t i = 0;
  while (i < line.size() && fields.size() < 6) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != ';') ++i;
    if (i > start) fields.push_back(line.substr(start, i - start));
    else break;
  }
  if (fields.size() < 4 || fields[0][0] == '#') return "";
  std::string fen = fields[0] + " " + fields[1] + " " + fields[2] + " " + fields[3];
  auto number = [](const std::string& f) { return f.find_first_not_of("0123456789") == std::string::npos; };
  if (fields.size() >= 6 && number(fields[4]) && number(fields[5])) fen += " " + fields[4] + " " + fields[5];
  else fen += " 0 1";
  return fen;
}

bool loadOpenings(const std::string& file, std::vector<std::string>& out) {
  FILE* f = std::fopen(file.c_str(), "r");
  if (!f) return false;
  char buffer[1024];
  while (std::fgets(buffer, sizeof buffer, f)) {
    std::string line = buffer;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    std::string fen = openingFen(line);
    if (!fen.empty()) out.push_back(fen);
  }
  std::fclose(f);
  return true;
}

// The next opening from the cursor on (cycling) that the board accepts;
// refused lines are reported and passed over.
bool nextPlayableOpening(const std::vector<std::string>& openings, size_t& cursor, std::string& fen) {
  for (size_t tries = 0; tries < openings.size(); ++tries) {
    const std::string& candidate = openings[cursor++ % openings.size()];
    if (refereeSetUp(candidate)) {
      fen = candidate;
      return true;
    }
    std::fprintf(stderr, "braxen-tool match: skipping opening \"%s\": the board refuses it\n", candidate.c_str());
  }
  return false;
}

std::string todayUtc() {
  time_t now = time(nullptr);
  tm t;
  gmtime_r(&now, &t);
  char text[40];
  std::snprintf(text, sizeof text, "%04d.%02d.%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
  return text;
}

// Starts an engine and runs its handshake; prints the reason on failure.
bool launch(EngineProcess& e, const MatchSettings& s, int index) {
  std::string error;
  if (startEngine(e, s.setup[index], error) && handshakeEngine(e, s.setup[index], s.readyTimeoutMs, error)) {
    enginePgids[index] = e.pid;
    return true;
  }
  killEngine(e);
  enginePgids[index] = 0;
  std::fprintf(stderr, "braxen-tool match: engine %d (%s): %s\n", index + 1, s.setup[index].command.c_str(),
               error.c_str());
  return false;
}

// Before a game: a new game for a live engine, a restart for a dead or
// unresponsive one.
bool prepareEngine(EngineProcess& e, const MatchSettings& s, int index, FaultCounts& faults) {
  if (engineRunning(e) && !engineExited(e)) {
    int64_t deadline = monotonicMicros() + static_cast<int64_t>(s.readyTimeoutMs) * 1000;
    if (sendLine(e, "ucinewgame", deadline) && waitReady(e, s.readyTimeoutMs)) return true;
    std::fprintf(stderr, "braxen-tool match: engine %d does not answer isready; restarting it\n", index + 1);
  }
  killEngine(e);
  ++faults.restarts;
  return launch(e, s, index);
}

void countFault(const GameResult& g, FaultCounts faults[2]) {
  for (int i = 0; i < 2; ++i)
    if (g.engineKilled[i]) ++faults[i].kills;
  if (g.faultyEngine < 0) return;
  FaultCounts& f = faults[g.faultyEngine];
  if (g.termination == Termination::TimeForfeit) ++f.timeLosses;
  if (g.termination == Termination::IllegalMove) ++f.illegalMoves;
  if (g.termination == Termination::Crash) ++f.crashes;
}

void printSummary(const std::string names[2], const MatchStats& stats, const FaultCounts faults[2]) {
  EloEstimate e = estimateElo(stats);
  int games = stats.wins + stats.draws + stats.losses;
  char elo[64];
  if (!e.finite) std::snprintf(elo, sizeof elo, "Elo %s", games == 0 ? "n/a" : e.score > 0.5 ? "+inf" : "-inf");
  else if (std::isinf(e.margin)) std::snprintf(elo, sizeof elo, "Elo %+.1f +/- inf (95 %%)", e.elo);
  else std::snprintf(elo, sizeof elo, "Elo %+.1f +/- %.1f (95 %%)", e.elo, e.margin);
  std::printf("Result %s vs %s: %d games, +%d =%d -%d, score %.1f %%, %s, LOS %.1f %%\n", names[0].c_str(),
              names[1].c_str(), games, stats.wins, stats.draws, stats.losses, 100 * e.score, elo, 100 * e.los);
  for (int i = 0; i < 2; ++i)
    std::printf("Faults of %s: time losses %d, illegal moves %d, crashes %d, kills %d, restarts %d\n",
                names[i].c_str(), faults[i].timeLosses, faults[i].illegalMoves, faults[i].crashes, faults[i].kills,
                faults[i].restarts);
}

}  // namespace

int matchCommand(int argc, char** argv) {
  MatchOptions o;
  if (int rc = parseArguments(argc, argv, o)) return rc;
  const MatchSettings& s = o.settings;
  std::vector<std::string> openings;
  if (!o.openingsFile.empty() && (!loadOpenings(o.openingsFile, openings) || openings.empty())) {
    std::fprintf(stderr, "braxen-tool match: no openings in %s\n", o.openingsFile.c_str());
    return 1;
  }
  FILE* pgn = nullptr;
  if (!o.pgnFile.empty() && !(pgn = std::fopen(o.pgnFile.c_str(), "a"))) {
    std::fprintf(stderr, "braxen-tool match: cannot open %s\n", o.pgnFile.c_str());
    return 1;
  }
  signal(SIGPIPE, SIG_IGN);  // a dead engine shows as a write error instead
  signal(SIGINT, onInterrupt);
  signal(SIGTERM, onInterrupt);

  EngineProcess engines[2];
  if (!launch(engines[0], s, 0) || !launch(engines[1], s, 1)) {
    killEngine(engines[0]);
    if (pgn) std::fclose(pgn);
    return 1;
  }
  std::string names[2];
  for (int i = 0; i < 2; ++i) names[i] = o.names[i].empty() ? engines[i].name : o.names[i];
  if (names[0] == names[1]) names[0] += " (1)", names[1] += " (2)";

  MatchStats stats;
  FaultCounts faults[2];
  PgnHeader header;
  header.event = "braxen-tool match";
  header.date = todayUtc();
  header.timeControl = o.tcText;
  size_t nextOpening = static_cast<size_t>(o.firstOpening - 1);
  std::string fen;
  int status = 0;
  for (int game = 0; game < o.games; ++game) {
    if (game % 2 == 0 && !openings.empty() && !nextPlayableOpening(openings, nextOpening, fen)) {
      std::fprintf(stderr, "braxen-tool match: the board accepts none of the openings\n");
      status = 1;
      break;
    }
    int white = game % 2;  // engine 1 has White in the first game of each opening
    if (!prepareEngine(engines[0], s, 0, faults[0]) || !prepareEngine(engines[1], s, 1, faults[1])) {
      std::fprintf(stderr, "braxen-tool match: stopped after %d games\n", game);
      status = 1;
      break;
    }
    GameResult g = playGame(engines, s, fen, white);
    if (g.termination == Termination::Aborted) {
      std::fprintf(stderr, "braxen-tool match: game %d not played: %s\n", game + 1, g.reason.c_str());
      continue;
    }
    int score1 = white == 0 ? g.score : 2 - g.score;
    (score1 == 2 ? stats.wins : score1 == 1 ? stats.draws : stats.losses)++;
    countFault(g, faults);
    std::printf("Game %d: %s - %s %s (%s), %zu plies; %s %+d =%d -%d\n", game + 1, names[white].c_str(),
                names[white ^ 1].c_str(), resultText(g.score).c_str(), g.reason.c_str(), g.sanMoves.size(),
                names[0].c_str(), stats.wins, stats.draws, stats.losses);
    std::fflush(stdout);
    if (pgn) {
      header.round = game + 1;
      header.white = names[white];
      header.black = names[white ^ 1];
      std::fputs(formatPgnGame(header, g).c_str(), pgn);
      std::fflush(pgn);
    }
  }
  for (int i = 0; i < 2; ++i) {
    stopEngine(engines[i], 500);
    enginePgids[i] = 0;
  }
  if (pgn) std::fclose(pgn);
  printSummary(names, stats, faults);
  return status;
}
