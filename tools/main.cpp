// braxen-tool: utilities for users and testers of the engine.
#include <cstdio>
#include <cstring>

#include "engine/bench.h"
#include "tools/tools.h"

namespace {

struct ToolCommand {
  const char* name;
  int (*run)(int argc, char** argv);  // argv[0] is the subcommand name
  const char* usage;
};

// Subcommands in the order the help text lists them.
constexpr ToolCommand toolCommands[] = {
    {"perft", perftCommand, "perft DEPTH [FEN]    count leaf nodes, one line per root move"},
    {"bench", BenchCommand, "bench [DEPTH] [--stats] [--fens FILE]  fixed-depth search of a position set; node signature\n"
     "                       (--stats: tree statistics, in a -DBRAXEN_STATS=ON build; --fens: other positions)"},
    {"book", bookCommand, "book build OUT.bxk PGN... | info FILE | probe FEN|startpos [MOVES]  opening book"},
    {"epd", epdCommand, "epd FILE [--ms N] [--depth D]  EPD test suite (bm/am) through the engine's search"},
    {"match", matchCommand, "match --engine1 CMD --engine2 CMD ...  games between two UCI engines"},
    {"tb", tbCommand, "tb probe|verify|info|compress|decode ...  endgame tables (tb alone lists them)"},
};

void printUsage() {
  std::printf("usage: braxen-tool COMMAND [ARGS]\n");
  for (const ToolCommand& c : toolCommands) std::printf("  %s\n", c.usage);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    printUsage();
    return 2;
  }
  for (const ToolCommand& c : toolCommands)
    if (std::strcmp(argv[1], c.name) == 0) return c.run(argc - 1, argv + 1);
  std::fprintf(stderr, "braxen-tool: unknown command '%s'\n", argv[1]);
  printUsage();
  return 2;
}
