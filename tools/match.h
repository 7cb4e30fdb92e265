// braxen-tool match: plays games between two UCI engines with clocks, judges
// them on the engine's own board and sums up the result. This header joins
// the files of the runner: engine processes (match_process.cpp), the referee
// (match_referee.cpp), the game loop (match_game.cpp), the game file
// (match_pgn.cpp), statistics (match_stats.cpp) and the command (match.cpp).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "board/types.h"

// Everything of the runner lives in namespace match, apart from the board it
// borrows and matchCommand (tools/tools.h).
namespace match {

// ---------------------------------------------------------------------------
// Engine processes

// How to start one engine: the command line (split at blanks, no shell) and
// the UCI options to set after "uciok", in the order given.
struct EngineSetup {
  std::string command;
  std::vector<std::string> optionNames;
  std::vector<std::string> optionValues;
};

struct EngineProcess {
  pid_t pid = -1;          // also the process group of the engine
  int toEngine = -1;       // write end of the engine's standard input
  int fromEngine = -1;     // read end of the engine's standard output
  std::string pending;     // bytes read but not yet returned as a line
  bool exited = false;     // reaped; exitStatus holds the wait status
  int exitStatus = 0;
  std::string name;        // "id name" of the engine, else the command
};

enum class ReadStatus { Line, Timeout, Closed };

// Monotonic clock in microseconds.
int64_t monotonicMicros();

// Starts the engine with pipes on its standard input and output (standard
// error goes to /dev/null). False, with a message in error, when the
// program cannot be run.
bool startEngine(EngineProcess& e, const EngineSetup& setup, std::string& error);
// Writes one line; false when the engine is gone or does not take input
// before the deadline.
bool sendLine(EngineProcess& e, const std::string& line, int64_t deadlineMicros);
// Reads one line (without its line end) or reports a timeout at the
// deadline or a closed pipe.
ReadStatus readLine(EngineProcess& e, std::string& line, int64_t deadlineMicros);
// "uci" .. "uciok", the options, "isready" .. "readyok".
bool handshakeEngine(EngineProcess& e, const EngineSetup& setup, int timeoutMs, std::string& error);
// "isready" .. "readyok" within the timeout.
bool waitReady(EngineProcess& e, int timeoutMs);
// Sends "quit", waits up to graceMs for the exit, then kills.
void stopEngine(EngineProcess& e, int graceMs);
// Kills the engine's process group and reaps it.
void killEngine(EngineProcess& e);
// Reaps the engine if it has exited; true when it is gone.
bool engineExited(EngineProcess& e);
bool engineRunning(const EngineProcess& e);
// "exited with status 3", "killed by signal 11", ...
std::string describeExit(const EngineProcess& e);

// ---------------------------------------------------------------------------
// Referee: the game position on the engine's board

enum class GameEnd {
  None,
  Checkmate,
  Stalemate,
  Repetition,
  FiftyMoves,
  InsufficientMaterial,
};

// Sets up the start position (empty text) or a FEN. False when the board
// refuses it.
bool refereeSetUp(const std::string& fen);
// Plays a move given in UCI coordinates. False, with the position
// unchanged, when the text is not a legal move of the position.
// sanOut receives the move in standard algebraic notation.
bool refereePlay(const std::string& uciMove, std::string* sanOut);
// The end of the game by the rules in the current position, if any.
GameEnd refereeGameEnd();
int refereeSideToMove();
int refereeLegalMoveCount();
// Half-moves since the last capture or pawn move.
int refereeHalfmoveClock();
// How often the current position has occurred in the game, this one included.
int refereeOccurrences();
// True when neither side can ever mate: no pawns, rooks or queens, and at
// most one minor piece in all or only bishops all on squares of one colour.
bool insufficientMaterial();
// UCI text of a move of the current position ("e2e4", "e7e8q").
std::string uciMoveText(Move m);

// ---------------------------------------------------------------------------
// One game

enum class Termination {
  Normal,         // mate, stalemate or a drawing rule
  TimeForfeit,
  IllegalMove,
  Crash,          // the engine exited or closed its output
  MoveLimit,      // the maximum game length was reached
  Aborted,        // not played: the board refused the opening
};

struct TimeControl {
  int64_t baseMicros = 10000000;
  int64_t incrementMicros = 100000;
  int movesPerPeriod = 0;  // 0: the whole game is one period
};

struct MatchSettings {
  EngineSetup setup[2];
  TimeControl tc;
  int64_t marginMicros = 5000;  // allowance before a flag falls
  int maxPlies = 0;             // 0: no length limit
  int readyTimeoutMs = 10000;   // for "uciok" and "readyok"
  int stopGraceMs = 1000;       // after a flag fall, before the kill
};

struct GameResult {
  int score = 1;               // for White: 2 win, 1 draw, 0 loss
  Termination termination = Termination::Normal;
  int faultyEngine = -1;       // engine index that lost by a fault
  std::string reason;          // "White mates", "Black loses on time", ...
  std::string fen;             // opening position, empty for the start position
  std::vector<std::string> sanMoves;
  std::vector<std::string> comments;  // per move: "+0.35/12 0.52s"
  int whiteEngine = 0;
  bool engineKilled[2] = {false, false};
};

// Plays one game; engines[whiteEngine] has White. A faulty engine is left
// killed or exited; the caller restarts it before the next game.
GameResult playGame(EngineProcess engines[2], const MatchSettings& settings,
                    const std::string& fen, int whiteEngine);
// Parses "base+inc" or "moves/base+inc" with seconds as decimals.
bool parseTimeControl(const char* text, TimeControl& tc);

// ---------------------------------------------------------------------------
// Game file

struct PgnHeader {
  std::string event;
  std::string date;          // "2026.12.07"
  int round = 1;
  std::string white, black;
  std::string timeControl;   // "5+0.05"
};

std::string resultText(int whiteScore);  // "1-0", "1/2-1/2", "0-1"
std::string formatPgnGame(const PgnHeader& header, const GameResult& game);

// ---------------------------------------------------------------------------
// Statistics

struct MatchStats {
  int wins = 0, draws = 0, losses = 0;  // for engine 1
};

struct EloEstimate {
  double score = 0;       // fraction of the points, 0..1
  double elo = 0;         // difference engine 1 minus engine 2
  double margin = 0;      // half width of the 95 % interval in Elo
  double los = 0;         // likelihood of superiority, 0..1
  bool finite = false;    // false at a score of 0 or 1 (no estimate)
};

EloEstimate estimateElo(const MatchStats& s);
// The Elo difference that gives the expected score (0 < score < 1).
double eloFromScore(double score);

}  // namespace match
