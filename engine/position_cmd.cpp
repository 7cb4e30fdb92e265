// The "position" command: game continuation, set-up and the move list,
// keeping the game record in step with what the GUI sends.
#include <cstdio>
#include <cstring>

#include "board/history.h"
#include "board/movegen.h"
#include "board/setup.h"
#include "engine/gamefile.h"
#include "engine/uci.h"
#include "search/think.h"

char lastPositionText[LineBufferSize];

namespace {

size_t CommonPrefix(const char* a, const char* b) {
  size_t n = 0;
  while (a[n] != '\0' && a[n] == b[n]) n++;
  return n;
}

// The previous game is over unless the new text repeats most of the old
// one (at least two thirds of it as a common prefix). A new game consults
// the book afresh. True when a new game begins.
bool CheckGameContinues(const char* text) {
  if (newGameAnnounced) {
    lastBookPly = -1;
    return true;
  }
  if (gamePlyCount < 3) return false;
  size_t n = CommonPrefix(text, lastPositionText);
  if (3 * n / 2 >= strlen(lastPositionText)) return false;
  SaveFinishedGame();
  lastBookPly = -1;
  return true;
}

// Puts back what the engine's search stored with a game move (score,
// search marks, style and depth, thinking time) after the move has been
// recorded again; the in-check bit belongs to the new record.
void RestoreSearchData(GameRecord* r, const GameRecord& stored) {
  r->score = stored.score;
  r->flags = static_cast<uint16_t>((r->flags & 0x8000) | (stored.flags & ~0x8000));
  r->styleDepth = stored.styleDepth;
  r->thinkTime = stored.thinkTime;
}

// Plays the space-separated move texts at cursor; rejected tokens are
// skipped.
void PlayMoveList(char* cursor) {
  bool followsStoredGame = true;
  while (*cursor != '\0') {
    char* token = cursor;
    while (*cursor != '\0' && *cursor != ' ') cursor++;
    if (*cursor == ' ') *cursor++ = '\0';
    while (*cursor == ' ') cursor++;

    Move m = parseMoveText(token);
    if (m == 0 || !completeMove(pos.sideToMove, &m)) continue;

    // The record after gameTop holds the move with which the stored game
    // went on. While the list follows it, its search data survive the
    // move being recorded afresh; from the first difference on, every
    // record is written new (and so loses its search data).
    bool keep = false;
    GameRecord stored{};
    GameRecord* next = gameTop + 1;
    if (followsStoredGame && next < gameHistory + GameHistorySize && ((next->move ^ m) & FromToMask) == 0) {
      keep = true;
      stored = *next;
      if (stored.flags & RecordBookMove) lastBookPly = static_cast<int32_t>(pos.plyCount) + 1;
    } else {
      followsStoredGame = false;
    }
    if (!playGameMove(m)) continue;
    if (keep) RestoreSearchData(gameTop, stored);
    gameSideToMove ^= 1;
    gamePlyCount = static_cast<int32_t>(pos.plyCount);
  }
}

}  // namespace

void HandlePosition(char* cursor) {
  // Without "startpos" or "fen" the moves (if any) go on from the current
  // position: the game neither ends nor begins, and the text is no model
  // for the next continuation test.
  char* setUp = cursor;
  if (!MatchKeyword("startpos", setUp) && !MatchKeyword("fen", setUp)) {
    if (MatchKeyword("moves", cursor)) PlayMoveList(cursor);
    return;
  }
  const bool newGameBegins = CheckGameContinues(cursor);
  newGameAnnounced = false;
  strcpy(lastPositionText, cursor);  // both buffers hold one command line

  if (MatchKeyword("startpos", cursor)) {
    newGame();
    gamePlyCount = 1;
  } else if (MatchKeyword("fen", cursor)) {
    // parseFen sees only the FEN: the text up to the "moves" keyword.
    static char fenText[LineBufferSize];
    char* moves = strstr(cursor, "moves");
    size_t length = moves != nullptr ? static_cast<size_t>(moves - cursor) : strlen(cursor);
    while (length > 0 && cursor[length - 1] == ' ') length--;
    memcpy(fenText, cursor, length);
    fenText[length] = '\0';
    // A rejected FEN leaves the old position; its moves belong to the
    // position that was refused and are not played. The GUI's log shows why.
    if (parseFen(fenText) == 0) {
      printf("info string FEN rejected: %s; the previous position stays\n",
             fenRejection != nullptr ? fenRejection : "not a position");
      return;
    }
    gamePlyCount = 1;
    cursor = moves;
  }
  // The records of the game before a new one never lend their search data
  // to it, however its moves begin.
  if (newGameBegins) memset(gameHistory + 2, 0, sizeof(GameRecord) * (GameHistorySize - 2));
  if (MatchKeyword("moves", cursor)) PlayMoveList(cursor);
}
