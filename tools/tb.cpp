// braxen-tool tb: endgame table utilities. Each subcommand is one line of
// the table below.
#include <cstdio>
#include <cstring>

#include "tools/tools.h"

namespace {

struct TbSubcommand {
  const char* name;
  int (*run)(int argc, char** argv);  // argv[0] is the subcommand name
  const char* usage;
};

constexpr TbSubcommand tbSubcommands[] = {
    {"probe", tbProbeCommand, "tb probe FEN [--path DIRS] [--repeat N]  stored result and the engine's score"},
    {"verify", tbVerifyCommand, "tb verify DIR                register a folder, check every file's size"},
    {"generate", tbGenerateCommand, "tb generate CLASS... --dir DIR | tb generate --men N --dir DIR  [--compress]  make tables"},
    {"info", tbInfoCommand, "tb info CLASS...             class number, flags and positions per side"},
    {"compress", tbCompressCommand, "tb compress IN OUT.emd       compress a table file"},
    {"bench", tbBenchCommand, "tb bench DIR [PROBES [CACHE_MB]]  probes per second at random indices"},
    {"decode", tbDecodeCommand, "tb decode FILE.emd [ORIGINAL [ROUNDS]]  decode every block, compare, time"},
};

void printTbUsage() {
  for (const TbSubcommand& c : tbSubcommands) fprintf(stderr, "usage: braxen-tool %s\n", c.usage);
}

}  // namespace

int tbCommand(int argc, char** argv) {
  if (argc >= 2)
    for (const TbSubcommand& c : tbSubcommands)
      if (strcmp(argv[1], c.name) == 0) return c.run(argc - 1, argv + 1);
  printTbUsage();
  return 2;
}
