// Storage of the one board, the node counter, the move buffer and the
// option words.
#include "board/position.h"
#include "board/types.h"

Position pos;
uint64_t nodeCount = 0;
ScoredMove moveBuffer[MoveBufferSize];
ScoredMove* moveListStart[MaxPly + 1];

uint32_t optionFlags = 0;
uint32_t searchFlags = 0;
