// Start-up and shutdown of the engine, and the main loop between them.
#include <cstdio>
#include <cstring>

#include "board/position.h"
#include "board/setup.h"
#include "book/bookfile.h"
#include "book/poslearn.h"
#include "engine/edition.h"
#include "engine/options.h"
#include "engine/uci.h"
#include "search/think.h"
#include "search/tt.h"
#include "tablebase/tablebase.h"

char dataFolder[PathBufferSize];
char engineFolder[PathBufferSize];
char engineFileName[PathBufferSize];

namespace {

constexpr uint32_t StartupHashKb = 16384;

// A table the engine cannot work without is missing: say so and give up
// before any command is read.
int StartupFailure(const char* what) {
  fprintf(stderr, "%s: cannot allocate %s\n", editionName, what);
  fflush(stdout);
  return 1;
}

}  // namespace

int EngineMain() {
  // Whole lines go out at once (the stream's buffering can only be chosen
  // before its first use). Input is read by the platform line reader
  // straight from the descriptor, never through stdin's buffer. A vanished
  // reader of the output must show up as a write error, not a signal.
  setvbuf(stdout, nullptr, _IOLBF, 0);
  inputMode = platformInputMode();
  platformIgnoreSigpipe();
  printf("BRAXEN by %s\n%s\n", authorName, makerNotice);
  fflush(stdout);
  snprintf(engineName, sizeof engineName, "%s", editionName);

  // Every relative file name (game file, book, learning file) is taken in
  // the data folder; if it cannot be entered the current directory stays.
  platformDataFolder(dataFolder, sizeof dataFolder);
  platformEnterFolder(dataFolder);
  platformEngineLocation(engineFolder, sizeof engineFolder, engineFileName, sizeof engineFileName);

  if (!initSearchMemory()) return StartupFailure("the search work memory");
  InitTablebases(true);
  randomState = platformTick();
  SetDefaultOptions();
  if (!ttAllocate(StartupHashKb)) return StartupFailure("the hash tables");
  newGame();
  gamePlyCount = 1;
  // The calibration search measures the node rate; it reads no input. It
  // ends with the tables cleared, so the learned positions are loaded
  // after it: they must be in the table at the first real search.
  runCalibration();
  if (optionFlags & OptPositionLearning) learnLoad();
  // The book's status and record count go into the "uci" reply.
  bookOpen();

  while (quitRequested == 0) {
    searchState = 0;
    PollInput();
  }
  Shutdown();
  return 0;
}

void Shutdown() {
  if ((optionFlags & OptPositionLearning) && learningDirty) learnSave();
  bookClose();
  releaseTablebases();
  fflush(stdout);
}
