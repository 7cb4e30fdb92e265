// The command loop: reading lines, matching keywords, dispatching commands
// and deferring those that need an idle engine.
#pragma once

#include <cstddef>
#include <cstdint>
#include "platform/platform.h"

// One command line: the longest line the reader hands out whole, plus NUL.
constexpr size_t LineBufferSize = PlatformLineMax + 1;
constexpr size_t PathBufferSize = 1024;

extern char lineBuffer[LineBufferSize];  // the current command line, newline removed
extern bool linePending;            // lineBuffer was deferred and is handled again first
extern uint16_t quitRequested;
extern bool uciActive;
extern bool newGameAnnounced;
extern int32_t gamePlyCount;
extern int32_t inputMode;           // 1 terminal, 2 pipe or file
extern char lastPositionText[LineBufferSize];  // previous "position" text after the keyword
extern char dataFolder[PathBufferSize];
extern char engineFolder[PathBufferSize];
extern char engineFileName[PathBufferSize];
extern char engineName[64];         // display name for "id name" and the game file
extern const char authorName[];     // "Tamblewick"
extern const char makerNotice[];    // banner notice line

int EngineMain();
void PollInput();
int HandleUciCommand(char* line);   // 1 handled, 0 unknown, 2 deferred (busy)
// Case-insensitive whole-word match at the cursor; on success moves the
// cursor past the keyword and following spaces.
bool MatchKeyword(const char* keyword, char*& cursor);
// Decimal integer at the cursor (leading blanks and sign allowed); the
// cursor then skips to the next space and past all spaces. Values beyond
// the range of long saturate.
long ReadNumber(char*& cursor);
void StopSearch();
void Shutdown();

// "position" (idle only): cursor just after the keyword and its spaces.
void HandlePosition(char* cursor);
// Appends one line of text to the edition's game file in the current
// directory; a file that cannot be opened is skipped.
void AppendToGameFile(const char* text);
