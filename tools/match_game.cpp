// One game of the match runner: the position and "go" commands with both
// clocks, the wait for "bestmove" against the mover's clock, and the verdict
// on a flag fall, an illegal move, a crash or the end by the rules.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/match.h"

namespace match {

namespace {

const char* const sideName[2] = {"White", "Black"};

// Time to deliver a command to an engine that is waiting for input.
constexpr int64_t WriteAllowanceMicros = 1000000;

struct SearchInfo {
  bool haveScore = false;
  bool mate = false;
  int value = 0;  // centipawns or moves to mate, mover's view
  int depth = 0;
};

// Reads depth and score from an "info" line; other lines keep the values.
void readInfo(const std::string& line, SearchInfo& info) {
  const char* s = line.c_str();
  if (std::strncmp(s, "info string", 11) == 0) return;
  const char* depth = std::strstr(s, " depth ");
  if (depth) info.depth = std::atoi(depth + 7);
  const char* score = std::strstr(s, " score ");
  if (!score) return;
  score += 7;
  if (std::strncmp(score, "cp ", 3) == 0) {
    info.haveScore = true;
    info.mate = false;
    info.value = std::atoi(score + 3);
  } else if (std::strncmp(score, "mate ", 5) == 0) {
    info.haveScore = true;
    info.mate = true;
    info.value = std::atoi(score + 5);
  }
}

std::string moveComment(const SearchInfo& info, int64_t elapsedMicros) {
  char text[64];
  char score[24] = "";
  if (info.haveScore && info.mate)
    std::snprintf(score, sizeof score, "%sM%d/%d ", info.value < 0 ? "-" : "+", std::abs(info.value), info.depth);
  else if (info.haveScore)
    std::snprintf(score, sizeof score, "%+.2f/%d ", info.value / 100.0, info.depth);
  std::snprintf(text, sizeof text, "%s%.3fs", score, elapsedMicros / 1e6);
  return text;
}

std::string goCommand(const int64_t clock[2], const TimeControl& tc, int movesToGo) {
  auto ms = [](int64_t micros) { return micros < 1000 ? int64_t{1} : micros / 1000; };
  char text[160];
  std::snprintf(text, sizeof text, "go wtime %lld btime %lld winc %lld binc %lld",
                static_cast<long long>(ms(clock[White])), static_cast<long long>(ms(clock[Black])),
                static_cast<long long>(tc.incrementMicros / 1000), static_cast<long long>(tc.incrementMicros / 1000));
  std::string go = text;
  if (movesToGo > 0) go += " movestogo " + std::to_string(movesToGo);
  return go;
}

// True when the side has nothing but its king: it cannot win on the
// opponent's flag.
bool bareKing(int side) {
  for (int sq = 0; sq < 64; ++sq)
    if (pos.colourOn[sq] == side && pos.pieceOn[sq] != King) return false;
  return true;
}

void endByFault(GameResult& g, int mover, int engine, Termination t, const std::string& why) {
  g.termination = t;
  g.faultyEngine = engine;
  g.score = mover == White ? 0 : 2;
  g.reason = std::string(sideName[mover]) + " " + why;
}

// After a flag fall: ask the engine to stop and kill it when it does not
// answer within the grace period.
void recoverFromFlagFall(EngineProcess& e, const MatchSettings& s, GameResult& g, int engine) {
  int64_t deadline = monotonicMicros() + static_cast<int64_t>(s.stopGraceMs) * 1000;
  std::string line;
  if (sendLine(e, "stop", deadline)) {
    ReadStatus r;
    while ((r = readLine(e, line, deadline)) == ReadStatus::Line)
      if (line.compare(0, 9, "bestmove ") == 0 || line == "bestmove") return;
  }
  killEngine(e);
  g.engineKilled[engine] = true;
}

void endByCrash(EngineProcess& e, GameResult& g, int mover, int engine) {
  // Give the process a moment to finish exiting so that its status is known.
  for (int i = 0; i < 50 && !engineExited(e); ++i) usleep(2000);
  std::string how = engineExited(e) ? describeExit(e) : "closed its output";
  killEngine(e);
  endByFault(g, mover, engine, Termination::Crash, "engine crashed (" + how + ")");
}

bool endByRules(GameResult& g, int plies, int maxPlies) {
  int mover = refereeSideToMove();
  switch (refereeGameEnd()) {
    case GameEnd::Checkmate:
      g.score = mover == White ? 0 : 2;
      g.reason = std::string(sideName[mover ^ 1]) + " mates";
      return true;
    case GameEnd::Stalemate: g.reason = "stalemate"; break;
    case GameEnd::Repetition: g.reason = "threefold repetition"; break;
    case GameEnd::FiftyMoves: g.reason = "fifty-move rule"; break;
    case GameEnd::InsufficientMaterial: g.reason = "insufficient material"; break;
    case GameEnd::None:
      if (maxPlies <= 0 || plies < maxPlies) return false;
      g.termination = Termination::MoveLimit;
      g.reason = "game length limit";
      break;
  }
  g.score = 1;
  return true;
}

}  // namespace

namespace {

// Seconds as an unsigned decimal ("5", "0.05", ".5"); no sign, no exponent.
bool readSeconds(const char*& p, double& out) {
  const char* start = p;
  while ((*p >= '0' && *p <= '9') || *p == '.') ++p;
  if (p == start) return false;
  char* end;
  out = std::strtod(start, &end);
  return end == p;
}

}  // namespace

bool parseTimeControl(const char* text, TimeControl& tc) {
  TimeControl t;
  const char* p = text;
  const char* slash = std::strchr(text, '/');
  char* end;
  if (slash) {
    if (*p < '0' || *p > '9') return false;
    long moves = std::strtol(p, &end, 10);
    if (end != slash || moves <= 0 || moves > 1000) return false;
    t.movesPerPeriod = static_cast<int>(moves);
    p = slash + 1;
  }
  double base = 0, inc = 0;
  if (!readSeconds(p, base) || !(base > 0) || base > 1e6) return false;
  if (*p == '+') {
    ++p;
    if (!readSeconds(p, inc) || inc > 1e5) return false;
  }
  if (*p) return false;
  t.baseMicros = std::llround(base * 1e6);
  t.incrementMicros = std::llround(inc * 1e6);
  tc = t;
  return true;
}

GameResult playGame(EngineProcess engines[2], const MatchSettings& s, const std::string& fen,
                    int whiteEngine) {
  GameResult g;
  g.fen = fen;
  g.whiteEngine = whiteEngine;
  if (!refereeSetUp(fen)) {
    g.reason = "opening rejected by the board";
    g.termination = Termination::Aborted;
    return g;
  }
  int64_t clock[2] = {s.tc.baseMicros, s.tc.baseMicros};
  int movesMade[2] = {0, 0};
  std::string position = fen.empty() ? "position startpos" : "position fen " + fen;
  std::string moveList;
  for (int plies = 0;; ++plies) {
    if (endByRules(g, plies, s.maxPlies)) return g;
    int mover = refereeSideToMove();
    int engine = mover == White ? whiteEngine : whiteEngine ^ 1;
    EngineProcess& e = engines[engine];
    int movesToGo = s.tc.movesPerPeriod > 0 ? s.tc.movesPerPeriod - movesMade[mover] % s.tc.movesPerPeriod : 0;

    int64_t writeDeadline = monotonicMicros() + WriteAllowanceMicros;
    bool sent = sendLine(e, moveList.empty() ? position : position + " moves" + moveList, writeDeadline) &&
                sendLine(e, goCommand(clock, s.tc, movesToGo), writeDeadline);
    int64_t start = monotonicMicros();
    if (!sent) {
      // A write fails on a dead engine (broken pipe) or a full pipe.
      for (int i = 0; i < 50 && !engineExited(e); ++i) usleep(2000);
      if (engineExited(e)) {
        endByCrash(e, g, mover, engine);
      } else {
        killEngine(e);
        g.engineKilled[engine] = true;
        endByFault(g, mover, engine, Termination::TimeForfeit, "loses on time (does not read its input)");
      }
      return g;
    }

    // Wait for "bestmove" until the flag falls.
    int64_t deadline = start + clock[mover] + s.marginMicros;
    SearchInfo info;
    std::string line, bestMove;
    ReadStatus status;
    while ((status = readLine(e, line, deadline)) == ReadStatus::Line) {
      if (line.compare(0, 5, "info ") == 0) {
        readInfo(line, info);
      } else if (line.compare(0, 8, "bestmove") == 0 && (line.size() == 8 || line[8] == ' ')) {
        size_t at = line.find_first_not_of(' ', 8);
        bestMove = at == std::string::npos ? "" : line.substr(at, line.find(' ', at) - at);
        break;
      }
    }
    int64_t elapsed = monotonicMicros() - start;
    if (status == ReadStatus::Closed) {
      endByCrash(e, g, mover, engine);
      return g;
    }
    if (status == ReadStatus::Timeout || elapsed > clock[mover] + s.marginMicros) {
      if (status == ReadStatus::Timeout) recoverFromFlagFall(e, s, g, engine);
      char why[96];
      std::snprintf(why, sizeof why, "loses on time (%.3f s used, %.3f s left)", elapsed / 1e6,
                    clock[mover] / 1e6);
      endByFault(g, mover, engine, Termination::TimeForfeit, why);
      if (bareKing(mover ^ 1)) {
        g.score = 1;
        g.reason += "; draw, the opponent has a bare king";
      }
      return g;
    }
    std::string san;
    if (bestMove.empty() || !refereePlay(bestMove, &san)) {
      endByFault(g, mover, engine, Termination::IllegalMove,
                 "plays an illegal move \"" + (bestMove.empty() ? std::string("(none)") : bestMove) + "\"");
      return g;
    }
    clock[mover] -= elapsed;
    clock[mover] += s.tc.incrementMicros;
    ++movesMade[mover];
    if (s.tc.movesPerPeriod > 0 && movesMade[mover] % s.tc.movesPerPeriod == 0) clock[mover] += s.tc.baseMicros;
    moveList += " " + bestMove;
    g.sanMoves.push_back(san);
    g.comments.push_back(moveComment(info, elapsed));
  }
}

}  // namespace match
