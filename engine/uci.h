// The command loop: reading lines, matching keywords, dispatching commands
// and deferring those that need an idle engine.
#pragma once

#include <cstdint>

extern char lineBuffer[];           // the current command line, newline removed
extern bool linePending;            // lineBuffer was deferred and is handled again first
extern uint16_t quitRequested;
extern bool uciActive;
extern bool newGameAnnounced;
extern int32_t gamePlyCount;
extern int32_t inputMode;           // 1 terminal, 2 pipe or file
extern char dataFolder[];
extern char engineFolder[];
extern char engineFileName[];
extern const char authorName[];     // "Tamblewick"
extern const char makerNotice[];    // banner notice line

int EngineMain();
void PollInput();
int HandleUciCommand(char* line);   // 1 handled, 0 unknown, 2 deferred (busy)
// Case-insensitive whole-word match at the cursor; on success moves the
// cursor past the keyword and following spaces.
bool MatchKeyword(const char* keyword, char*& cursor);
// Decimal integer at the cursor (leading blanks and sign allowed); the
// cursor then skips to the next space and past all spaces.
long ReadNumber(char*& cursor);
void StopSearch();
void Shutdown();
