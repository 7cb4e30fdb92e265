// The "go" command: its limits, the clock it gives, and the start of the search.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "board/movegen.h"
#include "board/position.h"
#include "board/setup.h"
#include "engine/options.h"
#include "engine/report.h"
#include "engine/timecontrol.h"
#include "engine/uci.h"
#include "platform/platform.h"
#include "search/think.h"

namespace {

constexpr int MaxSearchMoves = 256;

// Parameters of one "go" line as read.
struct GoParameters {
  long time[2] = {-1, -1};  // -1: not given
  long increment[2] = {0, 0};
  long movesToGo = 0;
  bool ponder = false;
  bool infinite = false;
  bool fixedLimit = false;  // depth or movetime
  bool nodesGiven = false;
  bool mateGiven = false;
  long mateMoves = 0;
};

// Moves to the end of the line; each legal one joins the list once. A
// promotion names its piece; other moves match by their squares.
void ReadSearchMoves(char* cursor) {
  Move legal[MaxRootMoves];
  const int legalCount = generateLegalMoves(legal);
  searchMovesCount = 0;
  while (*cursor != '\0') {
    char token[16];
    size_t n = 0;
    while (cursor[n] != '\0' && cursor[n] != ' ') n++;
    if (n < sizeof token) {
      memcpy(token, cursor, n);
      token[n] = '\0';
      Move m = parseMoveText(token);
      for (int i = 0; m != 0 && i < legalCount; i++) {
        bool same = (legal[i] & FromToMask) == (m & FromToMask) &&
                    (!isPromotion(legal[i]) || (legal[i] & KindMask) == (m & KindMask));
        if (!same) continue;
        bool listed = false;
        for (int j = 0; j < searchMovesCount; j++) listed |= searchMovesList[j] == legal[i];
        if (!listed && searchMovesCount < MaxSearchMoves) searchMovesList[searchMovesCount++] = legal[i];
      }
    }
    cursor += n;
    while (*cursor == ' ') cursor++;
  }
}

void SkipToken(char*& cursor) {
  while (*cursor != '\0' && *cursor != ' ') cursor++;
  while (*cursor == ' ') cursor++;
}

void ReadParameters(char* cursor, GoParameters& go) {
  while (*cursor != '\0') {
    if (MatchKeyword("searchmoves", cursor)) {
      ReadSearchMoves(cursor);
      return;
    }
    if (MatchKeyword("ponder", cursor)) {
      go.ponder = true;
    } else if (MatchKeyword("wtime", cursor)) {
      go.time[White] = std::max(ReadNumber(cursor), 1L);
    } else if (MatchKeyword("btime", cursor)) {
      go.time[Black] = std::max(ReadNumber(cursor), 1L);
    } else if (MatchKeyword("winc", cursor)) {
      go.increment[White] = ReadNumber(cursor);
    } else if (MatchKeyword("binc", cursor)) {
      go.increment[Black] = ReadNumber(cursor);
    } else if (MatchKeyword("movestogo", cursor)) {
      go.movesToGo = ReadNumber(cursor);
    } else if (MatchKeyword("depth", cursor)) {
      long depth = ReadNumber(cursor);
      maxDepth = static_cast<int32_t>(depth < 1 ? 1 : depth > DefaultMaxDepth ? DefaultMaxDepth : depth);
      go.fixedLimit = true;
    } else if (MatchKeyword("nodes", cursor)) {
      long nodes = ReadNumber(cursor);
      nodeLimit = static_cast<uint64_t>(nodes < 1 ? 1 : nodes);
      go.nodesGiven = true;
    } else if (MatchKeyword("mate", cursor)) {
      go.mateMoves = ReadNumber(cursor);
      go.mateGiven = true;
    } else if (MatchKeyword("movetime", cursor)) {
      long ms = ReadNumber(cursor);
      moveTimeLimit = static_cast<int32_t>(ms < 1 ? 1 : ms > NoTimeLimit ? NoTimeLimit : ms);
      go.fixedLimit = true;
    } else if (MatchKeyword("infinite", cursor)) {
      go.infinite = true;
    } else {
      char text[LineBufferSize + 64];
      int n = snprintf(text, sizeof text, "info string unknown UCI go <%s> command\n", cursor);
      if (n > 0) WriteOutput(text, strlen(text));
      SkipToken(cursor);
    }
  }
}

int32_t ClampMs(long v) { return static_cast<int32_t>(std::clamp<long>(v, -NoTimeLimit, NoTimeLimit)); }

}  // namespace

void HandleGo(char* cursor) {
  moveTimeLimit = NoTimeLimit;
  maxDepth = DefaultMaxDepth;
  nodeLimit = 0;
  searchMovesCount = 0;
  GoParameters go;
  ReadParameters(cursor, go);

  const int side = static_cast<int>(pos.sideToMove & 1);
  if (go.time[side] >= 0) {
    SetClockLevel(ClampMs(go.time[side]), ClampMs(go.increment[side]), ClampMs(go.movesToGo));
    searchMode = 4;
    ComputeClocks();
  } else if (go.fixedLimit || go.infinite || go.nodesGiven || go.mateGiven) {
    // Fixed limits. "nodes" and "mate" alone never fall back on an
    // earlier clock or an unbounded search: the node count bounds the
    // one, a depth of two plies per move (and one more) the other.
    SetSearchMode(false, 3);
    if (go.mateGiven && !go.fixedLimit && !go.infinite) {
      long plies = 2 * (go.mateMoves < 0 ? 0 : go.mateMoves > DefaultMaxDepth ? DefaultMaxDepth : go.mateMoves) + 1;
      maxDepth = static_cast<int32_t>(plies > DefaultMaxDepth ? DefaultMaxDepth : plies);
    }
  }
  infiniteSearch = go.infinite;
  StartSearch(side, go.ponder || go.infinite ? 6 : 4);
  infiniteSearch = false;
}

int StartSearch(int side, int state) {
  startTick = platformTick();
  timeOffset = 0;  // no ponder hit recorded yet
  int result = think(side, state, sideMovesToGo[side], sideTimeLeft[side], sideIncrement);
  optionFlags &= ~OptOneShot17;
  return result;
}
