// Storage of the one board and its tables, the node counter, the move
// buffer and the option words.
#include "board/position.h"
#include "board/types.h"

BoardTables boardTables[MaxPly];
Position pos;
uint64_t nodeCount = 0;
ScoredMove moveBuffer[MoveBufferSize];
ScoredMove* moveListStart[MaxPly + 1];

uint32_t optionFlags = 0;
uint32_t searchFlags = 0;

void settleTables() {
  BoardTables* home = &boardTables[pos.plyTop - pos.plyStack];
  if (pos.tables == home) return;
  *home = *pos.tables;
  useTables(home);
}
