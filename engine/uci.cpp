// The command loop: line reading, keyword matching and the dispatcher.
#include "engine/uci.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "engine/edition.h"
#include "engine/gamefile.h"
#include "engine/options.h"
#include "engine/timecontrol.h"
#include "search/think.h"
#include "search/tt.h"

char lineBuffer[LineBufferSize];
bool linePending = false;
uint16_t quitRequested = 0;
bool uciActive = false;
bool newGameAnnounced = false;
int32_t gamePlyCount = 1;
int32_t inputMode = 2;
char engineName[64];
const char authorName[] = "Tamblewick";
const char makerNotice[] = "Single-threaded UCI chess engine; free to use for play and analysis";

namespace {

bool inputLost = false;   // standard input has ended; every later read is "quit"
bool outputLost = false;  // a write to standard output has failed

// Turns the loss of a standard stream into a "quit" in lineBuffer, noting
// it once in the game file so that a vanished GUI leaves a trace.
void QuitForLostStream(bool& lost, const char* what, int err) {
  if (!lost) {
    lost = true;
    // A line starting with "%" is PGN's escape line: readers skip it, so
    // the note never breaks the games around it.
    char text[96];
    snprintf(text, sizeof text, "%%FATAL ERROR: %s pipe gone errno=%d\n", what, err);
    AppendToGameFile(text);
  }
  strcpy(lineBuffer, "quit");
}

// Fills lineBuffer with the next command line (blocking).
void ReadCommandLine() {
  if (!outputLost && !inputLost && (fflush(stdout) != 0 || ferror(stdout))) {
    QuitForLostStream(outputLost, "stdout", errno != 0 ? errno : EPIPE);
    return;
  }
  if (inputLost || outputLost) {
    strcpy(lineBuffer, "quit");
    return;
  }
  int err = 0;
  if (platformReadLine(lineBuffer, &err) < 0) QuitForLostStream(inputLost, "stdin", err);
}

// The exact line "stop" (surrounding blanks aside) acts on the search
// without going through the dispatcher.
bool IsPlainStop(const char* line) {
  while (*line == ' ') line++;
  return strcmp(line, "stop") == 0;
}

}  // namespace

void AppendToGameFile(const char* text) {
  FILE* f = fopen(editionGameFile, "a+");
  if (f == nullptr) return;
  // The text must start a line of its own.
  const bool lineOpen = fseek(f, -1, SEEK_END) == 0 && fgetc(f) != '\n';
  fseek(f, 0, SEEK_END);
  if (lineOpen) fputc('\n', f);
  fputs(text, f);
  fclose(f);
}

void StopSearch() {
  if (searchState & 4) stopReason = 64;
}

int HandleUciCommand(char* line) {
  char* cursor = line;
  while (*cursor == ' ') cursor++;
  const bool busy = searchState >= 4;

  if (MatchKeyword("quit", cursor)) {
    if (busy) return 2;
    if (quitRequested == 0) SaveFinishedGame();
    quitRequested = 1;
    return 1;
  }
  if (MatchKeyword("uci", cursor)) {
    printf("id name %s\n", engineName);
    printf("id author %s\n", authorName);
    PrintOptions();
    printf("uciok\n");
    uciActive = true;
    return 1;
  }
  if (!uciActive) return 1;  // nothing but "uci" and "quit" is answered before "uci"

  if (MatchKeyword("position", cursor)) {
    if (busy) return 2;
    HandlePosition(cursor);
    return 1;
  }
  if (MatchKeyword("go", cursor)) {
    if (busy) return 2;
    HandleGo(cursor);
    return 1;
  }
  if (MatchKeyword("ponderhit", cursor)) {
    if (busy) OnPonderHit();  // a ponderhit with no search running has nothing to switch
    return 1;
  }
  if (MatchKeyword("isready", cursor)) {
    if (busy && stopReason != 0) return 2;  // answered once the stopping search is gone
    printf("readyok\n");
    return 1;
  }
  if (MatchKeyword("setoption", cursor) && MatchKeyword("name", cursor)) {
    if (busy) return 2;
    HandleSetOption(cursor);
    return 1;
  }
  if (MatchKeyword("ucinewgame", cursor)) {
    if (busy) return 2;
    SaveFinishedGame();
    newGameAnnounced = true;
    ttClear();
    return 1;
  }
  printf("info string unknown UCI <%s> command\n", cursor);
  return 0;
}

void PollInput() {
  // The start-up calibration runs before the command loop exists: input
  // waits until it is over.
  if (searchState == 7) return;
  for (;;) {
    if (linePending)
      linePending = false;
    else
      ReadCommandLine();
    if (IsPlainStop(lineBuffer)) {
      StopSearch();
    } else if (lineBuffer[strspn(lineBuffer, " ")] == '\0') {
      // A blank line is no command: nothing to answer.
    } else if (HandleUciCommand(lineBuffer) == 2) {
      StopSearch();
      linePending = true;
    }
    if (quitRequested != 0 || stopReason != 0 || linePending) return;
    if (!InputAvailable()) return;
  }
}
