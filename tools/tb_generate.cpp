// braxen-tool tb generate: makes endgame tables of up to five men with the
// engine's own move generator, the smaller classes first, and writes them
// in the engine's table layout.
#include <sys/resource.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tablebase/tbgen.h"
#include "tablebase/tbgen_file.h"
#include "tools/tools.h"

namespace {

const char* outputDir = nullptr;
bool compressTables = false;  // --compress: a compressed copy of every file

long peakRssMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
}

bool onDisk(const char* name) { return genFileComplete(outputDir, name); }

bool finished(const GenTable& table, const GenStats& stats) {
  std::printf("%-6s %12llu positions  W %llu/%llu  B %llu/%llu  longest mate %d plies  %.1f s  peak %ld MB\n",
              table.mat.name, static_cast<unsigned long long>(stats.nodes[0] + stats.nodes[1]),
              static_cast<unsigned long long>(stats.wins[0]), static_cast<unsigned long long>(stats.losses[0]),
              static_cast<unsigned long long>(stats.wins[1]), static_cast<unsigned long long>(stats.losses[1]),
              stats.longestPlies, stats.seconds, peakRssMb());
  std::fflush(stdout);
  if (!genWriteFiles(outputDir, table)) {
    std::fprintf(stderr, "tb generate: cannot write %s in %s\n", table.mat.name, outputDir);
    return false;
  }
  if (compressTables && !tbCompressClassFiles(outputDir, table.mat.name, true)) {
    std::fprintf(stderr, "tb generate: cannot compress %s in %s\n", table.mat.name, outputDir);
    return false;
  }
  // Five-men classes are large: later classes read them from their files.
  if (table.mat.men >= 3) genForget(table.mat.name);
  return true;
}

void usage() {
  std::fprintf(stderr,
               "usage: braxen-tool tb generate CLASS... --dir DIR [--compress] | tb generate --men N --dir DIR "
               "[--compress]\n");
}

}  // namespace

int tbGenerateCommand(int argc, char** argv) {
  std::vector<std::string> classes;
  int men = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--dir") == 0 && i + 1 < argc) {
      outputDir = argv[++i];
    } else if (std::strcmp(argv[i], "--compress") == 0) {
      compressTables = true;
    } else if (std::strcmp(argv[i], "--men") == 0 && i + 1 < argc) {
      men = std::atoi(argv[++i]);
      if (men < 3 || men > 5) {
        std::fprintf(stderr, "tb generate: --men takes 3, 4 or 5\n");
        return 2;
      }
    } else {
      char storage[8];
      if (!genStorageNameOf(argv[i], storage)) {
        std::fprintf(stderr, "tb generate: not a class of three to five men: %s\n", argv[i]);
        return 2;
      }
      classes.push_back(storage);
    }
  }
  if (!outputDir || (classes.empty() && men == 0)) {
    usage();
    return 2;
  }
  mkdir(outputDir, 0777);
  struct stat st{};
  if (stat(outputDir, &st) != 0 || !S_ISDIR(st.st_mode)) {
    std::fprintf(stderr, "tb generate: no folder %s\n", outputDir);
    return 1;
  }
  for (const std::string& name : genClassesUpTo(men)) classes.push_back(name);
  genSetExternalLookup(genFileLookup);
  genSetFileFolder(outputDir);
  const GenHooks hooks{onDisk, finished};
  for (const std::string& name : classes) {
    // A class already on disk still gets its compressed files when they are missing.
    if (genFileComplete(outputDir, name.c_str())) {
      if (compressTables && !tbCompressClassFiles(outputDir, name.c_str(), false)) return 1;
      continue;
    }
    if (!genWithDependencies(name.c_str(), hooks)) {
      std::fprintf(stderr, "tb generate: %s failed\n", name.c_str());
      return 1;
    }
  }
  std::printf("peak memory %ld MB\n", peakRssMb());
  return 0;
}
