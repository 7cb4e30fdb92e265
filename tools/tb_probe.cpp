// braxen-tool tb probe / tb verify: a position's stored result and the
// engine's score for it, and a size check of the table files of a folder.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/position.h"
#include "board/setup.h"
#include "engine/options.h"
#include "eval/eval.h"
#include "platform/platform.h"
#include "search/think.h"
#include "tablebase/tablebase.h"
#include "tools/tools.h"

namespace {

const char* kindText(int kind) { return kind == TbWin ? "win" : kind == TbLoss ? "loss" : "draw"; }

bool setPath(const char* dirs) {
  if (strlen(dirs) >= sizeof tbPath) {
    fprintf(stderr, "tb: path too long\n");
    return false;
  }
  snprintf(tbPath, sizeof tbPath, "%s", dirs);
  return true;
}

// The evaluation of the position at the root, as a search would see it.
int engineScore(int side) {
  searchFlags = optionFlags;
  drawScoreFor[0] = drawScoreFor[1] = 0;
  prepareEvaluation();
  pos.plyTop = &pos.plyStack[0];
  settleTables();
  return evaluate(side, 1, EvalFullDepth, -2 * ScoreInfinite, 2 * ScoreInfinite);
}

// Probes the same position again and again: the rate of cache hits.
void measureProbes(int side, long repeat) {
  TbResult r;
  const uint32_t start = platformTick();
  long found = 0;
  for (long i = 0; i < repeat; ++i) found += probeTablebase(side, &r);
  const uint32_t ms = platformTick() - start;
  printf("probes: %ld in %u ms, %.0f per second\n", found, ms, found * 1000.0 / (ms ? ms : 1));
}

void printSize(const char* path, uint64_t expected, uint64_t found) {
  printf("%s %s %" PRIu64 " entries", expected == found ? "ok " : "BAD", path, found);
  if (expected != found) printf(" (expected %" PRIu64 ")", expected);
  printf("\n");
}

}  // namespace

int tbProbeCommand(int argc, char** argv) {
  const char* fen = nullptr;
  const char* dirs = "";
  long repeat = 0;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--path") == 0 && i + 1 < argc) dirs = argv[++i];
    else if (strcmp(argv[i], "--repeat") == 0 && i + 1 < argc) repeat = atol(argv[++i]);
    else fen = argv[i];
  }
  if (!fen) {
    fprintf(stderr, "usage: braxen-tool tb probe FEN [--path DIRS] [--repeat N]\n");
    return 2;
  }
  if (!initSearchMemory()) return 1;
  SetDefaultOptions();
  if (!setPath(dirs)) return 2;
  InitTablebases(true);
  newGame();
  if (!parseFen(fen)) {
    fprintf(stderr, "tb probe: not a legal position: %s\n", fen);
    return 2;
  }
  const int side = static_cast<int>(pos.sideToMove);
  printf("tables: %u files, up to %d men\n", tbFilesRegistered, tbMaxMen);
  TbResult r;
  tbLastProbe = TbProbeTrace{0, 0, 0, 0, TbUnknown};
  if (!probeTablebase(side, &r)) {
    printf("result: not found\n");
    return 1;
  }
  const TbClass& c = tbClasses[tbLastProbe.classNo];
  printf("class: %s%s, %s to move, index %" PRIu64 "\n", c.name, tbLastProbe.invert ? " (colours swapped)" : "",
         tbLastProbe.side == 0 ? "white" : "black", tbLastProbe.index);
  printf("stored: %d\n", tbLastProbe.score);
  if (r.kind == TbDraw) printf("result: draw\n");
  else printf("result: %s in %d\n", kindText(r.kind), r.distance);
  const int score = engineScore(side);
  printf("score: %d", score);
  if (score > ScoreMateThreshold) printf(" (mate %d)", (ScoreInfinite + 1 - score + 1) / 2);
  else if (score < -ScoreMateThreshold) printf(" (mate -%d)", (score + ScoreInfinite + 1) / 2);
  printf("\n");
  if (repeat > 0) measureProbes(side, repeat);
  return 0;
}

int tbVerifyCommand(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: braxen-tool tb verify DIR\n");
    return 2;
  }
  const int wrong = tbCheckFolder(argv[1], printSize);
  if (wrong < 0) {
    fprintf(stderr, "tb verify: cannot read folder %s\n", argv[1]);
    return 1;
  }
  if (wrong > 0) {
    printf("%d file(s) of the wrong size; the engine would refuse this folder\n", wrong);
    return 1;
  }
  if (!setPath(argv[1])) return 1;
  InitTablebases(true);
  printf("registered %u files, up to %d men\n", tbFilesRegistered, tbMaxMen);
  return 0;
}

int tbInfoCommand(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: braxen-tool tb info CLASS...\n");
    return 2;
  }
  initTbClasses();
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    const int n = tbClassByName(argv[i]);
    if (n == 0) {
      fprintf(stderr, "tb info: no class %s\n", argv[i]);
      status = 1;
      continue;
    }
    const TbClass& c = tbClasses[n];
    printf("%s %d flags %u positions %" PRIu64 " %" PRIu64 "\n", c.name, n, c.flags, c.positions[0], c.positions[1]);
  }
  return status;
}
