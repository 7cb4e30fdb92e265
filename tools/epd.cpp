// braxen-tool epd FILE [--ms N] [--depth D] [--hash MB]: an EPD test suite
// through the engine's own search, one line per position and the count of
// solved positions.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/bench.h"
#include "tools/epd_suite.h"
#include "tools/tools.h"

namespace {

constexpr int DefaultEpdMs = 1000;
constexpr int DefaultEpdHashMb = 64;

bool readValue(const char* text, int low, int high, int* out) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || v < low || v > high) return false;
  *out = static_cast<int>(v);
  return true;
}

std::string joined(const std::vector<std::string>& moves) {
  std::string text;
  for (const std::string& m : moves) text += (text.empty() ? "" : " ") + m;
  return text;
}

}  // namespace

int epdCommand(int argc, char** argv) {
  std::string file;
  int ms = 0, depth = 0, hashMb = DefaultEpdHashMb;
  for (int i = 1; i < argc; ++i) {
    const bool hasValue = i + 1 < argc;
    if (std::strcmp(argv[i], "--ms") == 0 && hasValue) {
      if (!readValue(argv[++i], 1, 3600000, &ms)) return std::fprintf(stderr, "epd: --ms 1..3600000\n"), 2;
    } else if (std::strcmp(argv[i], "--depth") == 0 && hasValue) {
      if (!readValue(argv[++i], 1, 99, &depth)) return std::fprintf(stderr, "epd: --depth 1..99\n"), 2;
    } else if (std::strcmp(argv[i], "--hash") == 0 && hasValue) {
      if (!readValue(argv[++i], 1, 2048, &hashMb)) return std::fprintf(stderr, "epd: --hash 1..2048\n"), 2;
    } else if (file.empty() && argv[i][0] != '-') {
      file = argv[i];
    } else {
      file.clear();
      break;
    }
  }
  if (file.empty()) {
    std::fprintf(stderr, "usage: braxen-tool epd FILE [--ms N] [--depth D] [--hash MB]\n"
                         "  each position searched for N ms (default %d) or to depth D, or both\n", DefaultEpdMs);
    return 2;
  }
  if (ms == 0 && depth == 0) ms = DefaultEpdMs;
  std::vector<EpdCase> cases;
  if (!readEpdFile(file, &cases)) return std::fprintf(stderr, "epd: cannot read %s\n", file.c_str()), 1;
  if (cases.empty()) return std::fprintf(stderr, "epd: %s has no position with bm or am\n", file.c_str()), 1;
  FILE* out = QuietEngineIo();
  if (out == nullptr || !epdEngineSetUp(hashMb)) return std::fprintf(stderr, "epd: cannot set the engine up\n"), 1;
  const std::string go = epdGoCommand(ms, depth);
  int solved = 0, unreadable = 0;
  for (const EpdCase& c : cases) {
    const EpdResult r = runEpdCase(c, go);
    if (!r.readable) {
      ++unreadable;
      std::fprintf(out, "%-10s unreadable position or moves\n", c.id.c_str());
    } else {
      solved += r.solved;
      std::string wanted = c.best.empty() ? "" : "bm " + joined(c.best);
      if (!c.avoid.empty()) wanted += (wanted.empty() ? "am " : ", am ") + joined(c.avoid);
      std::fprintf(out, "%-10s %-8s %-24s played %s\n", c.id.c_str(), r.solved ? "solved" : "missed",
                   wanted.c_str(), r.played.c_str());
    }
    std::fflush(out);
  }
  const int total = static_cast<int>(cases.size()) - unreadable;
  std::fprintf(out, "solved %d of %d (%s)%s\n", solved, total, go.c_str() + 3,
               unreadable ? (", " + std::to_string(unreadable) + " unreadable").c_str() : "");
  std::fclose(out);
  return 0;
}
