// The game record: one GameRecord per half-move of the game, kept in step
// with the board by playGameMove and takeBackGameMove, and compacted so that
// games of any length fit.
#include "board/history.h"

#include <cstring>

#include "board/makemove.h"
#include "board/movegen.h"

GameRecord gameHistory[GameHistorySize];
GameRecord* gameTop = &gameHistory[1];
int gameHistoryFloor = 1;
Move gameMoves[GameMoveListSize];
int gameMoveTotal = 0;
int gameMovesPlayed = 0;
GameRecord gameLog[GameMoveListSize];
uint32_t gameRecordSerial = 0;
uint32_t gameRecordNumber = 0;

namespace {

// Bytes 0..19 of a ply record become a game record and back.
void recordFromPly(GameRecord& g, const PlyRecord& r) {
  std::memset(&g, 0, sizeof g);
  const bool check = (r.flags & 0x8000) != 0;
  g.move = static_cast<Move>(r.move | (check ? CheckMark : 0));
  g.capturedSlot = r.capturedSlot;
  g.capturedType = r.capturedType;
  g.mover = r.mover;
  g.oldMoveCount = r.oldMoveCount;
  g.oldEpSquare = r.oldEpSquare;
  g.oldIrreversible = r.oldIrreversible;
  g.flags = check ? 0x8000 : 0;
  g.keyLo = r.keyLo;
  g.keyHi = r.keyHi;
}

void plyFromRecord(PlyRecord& r, const GameRecord& g) {
  std::memset(&r, 0, sizeof r);
  r.move = static_cast<Move>(g.move & ~CheckMark);
  r.capturedSlot = g.capturedSlot;
  r.capturedType = g.capturedType;
  r.mover = g.mover;
  r.oldMoveCount = g.oldMoveCount;
  r.oldEpSquare = g.oldEpSquare;
  r.oldIrreversible = g.oldIrreversible;
  r.keyLo = g.keyLo;
  r.keyHi = g.keyHi;
  r.flags = g.flags & 0x8000;
}

}  // namespace

void startGameRecord() {
  pos.plyCount = pos.lastIrreversiblePly = 1;
  pos.plyTop = &pos.plyStack[0];
  settleTables();
  std::memset(&pos.plyStack[0], 0, sizeof(PlyRecord));
  const bool check = pos.attackTable[pos.sideToMove ^ 1].sq[kingSquare(pos.sideToMove)].directCounts != 0;
  pos.plyStack[0].flags = check ? 0x8000 : 0;
  std::memset(gameHistory, 0, sizeof(GameRecord) * 2);
  gameHistory[1].keyLo = static_cast<uint32_t>(pos.hashKey);
  gameHistory[1].keyHi = static_cast<uint32_t>(pos.hashKey >> 32);
  gameHistory[1].flags = check ? 0x8000 : 0;
  gameTop = &gameHistory[1];
  gameHistoryFloor = 1;
  gameMoveTotal = 0;
  gameMovesPlayed = 0;
  gameRecordSerial++;
  gameRecordNumber++;
  rootPly = 1;
}

GameRecord* gameMoveRecord(int k) {
  if (k < 0 || k >= gameMovesPlayed) return nullptr;
  const int i = static_cast<int>(gameTop - gameHistory) - (gameMovesPlayed - 1 - k);
  if (i > gameHistoryFloor) return &gameHistory[i];
  return k < GameMoveListSize ? &gameLog[k] : nullptr;
}

bool playGameMove(Move m) {
  if (pos.plyCount >= static_cast<uint32_t>(CompactionPly)) compactGameHistory();
  const int mover = pos.sideToMove;
  const uint8_t style = sanDisambiguation(m);
  makeMove(m);
  if (pos.attacksUs->sq[kingSquare(mover)].directCounts != 0) {
    unmakeMove();
    return false;
  }
  GameRecord& g = gameHistory[pos.plyCount];
  recordFromPly(g, *pos.plyTop);
  g.styleDepth = style;
  gameTop = &g;
  pos.plyStack[0] = *pos.plyTop;
  pos.plyTop = &pos.plyStack[0];
  settleTables();
  if (gameMoveTotal < GameMoveListSize) gameMoves[gameMoveTotal++] = m;
  gameMovesPlayed++;
  gameRecordSerial++;
  rootPly = pos.plyCount;
  if (pos.plyCount >= static_cast<uint32_t>(CompactionPly)) compactGameHistory();
  return true;
}

bool takeBackGameMove() {
  const int top = static_cast<int>(gameTop - gameHistory);
  if (top <= gameHistoryFloor || pos.plyTop != &pos.plyStack[0]) return false;
  plyFromRecord(pos.plyStack[1], *gameTop);
  pos.plyTop = &pos.plyStack[1];
  unmakeMoveRetraced();
  --gameTop;
  plyFromRecord(pos.plyStack[0], *gameTop);
  pos.lastTo = top - 1 > gameHistoryFloor ? moveTo(pos.plyStack[0].move) : 0;
  if (gameMovesPlayed-- <= GameMoveListSize && gameMoveTotal > 0) --gameMoveTotal;
  gameRecordSerial++;
  rootPly = pos.plyCount;
  return true;
}

void compactGameHistory() {
  const int top = static_cast<int>(pos.plyCount);
  const int irreversible = static_cast<int>(pos.lastIrreversiblePly);
  // Keep from two records before the last irreversible move (never before
  // the array), but never more than CompactionKeep records.
  int start = irreversible - 2;
  if (top - start > CompactionKeep) start = top - CompactionKeep;
  if (start <= 0 || top >= GameHistorySize) return;
  // Every game move still recorded goes to the log first: the records
  // below the new floor are gone after the move.
  for (int i = gameHistoryFloor + 1; i <= top; ++i) {
    const int k = gameMovesPlayed - 1 - (top - i);
    if (k >= 0 && k < GameMoveListSize) gameLog[k] = gameHistory[i];
  }
  std::memmove(gameHistory, gameHistory + start, sizeof(GameRecord) * (top - start + 1));
  auto shifted = [start](int value) { return value - start >= 1 ? value - start : 1; };
  for (int i = 0; i <= top - start; ++i)
    gameHistory[i].oldIrreversible = static_cast<uint16_t>(shifted(gameHistory[i].oldIrreversible));
  pos.plyStack[0].oldIrreversible = gameHistory[top - start].oldIrreversible;
  pos.plyCount = static_cast<uint32_t>(top - start);
  pos.lastIrreversiblePly = static_cast<uint32_t>(shifted(irreversible));
  gameHistoryFloor = shifted(gameHistoryFloor);
  gameTop = &gameHistory[pos.plyCount];
  rootPly = pos.plyCount;
}
