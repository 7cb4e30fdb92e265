// braxen-tool tb probe / tb verify: a position's stored result and the
// engine's score for it, and a size check of the table files of a folder.
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "board/position.h"
#include "board/setup.h"
#include "engine/options.h"
#include "eval/eval.h"
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
  return evaluate(side, 1, EvalFullDepth, -2 * ScoreInfinite, 2 * ScoreInfinite);
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
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--path") == 0 && i + 1 < argc) dirs = argv[++i];
    else fen = argv[i];
  }
  if (!fen) {
    fprintf(stderr, "usage: braxen-tool tb probe FEN [--path DIRS]\n");
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
