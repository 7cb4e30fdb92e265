// Program entry of both editions. Without arguments the engine is the UCI
// program a GUI drives; "bench [DEPTH]" runs the search signature instead,
// the way distributed testing frameworks measure an engine.
#include <cstring>

#include "engine/bench.h"
#include "engine/uci.h"

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "bench") == 0) return BenchCommand(argc - 1, argv + 1);
  return EngineMain();
}
