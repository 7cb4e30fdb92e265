// Tactical test positions with known best moves, searched for a fixed time
// each. By default the first 30 positions at one second; BRAXEN_TACTICS_ALL=1
// runs the whole file and BRAXEN_TACTICS_MS sets the time per position.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "board/movegen.h"
#include "board/position.h"
#include "board/setup.h"
#include "engine/options.h"
#include "engine/uci.h"
#include "search/think.h"
#include "search/tt.h"

namespace {

TEST(SearchTactics, ClearMajorityIsSolved) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  dup2(fds[0], STDIN_FILENO);  // an input that never delivers
  close(fds[0]);
  ASSERT_TRUE(initSearchMemory());
  SetDefaultOptions();
  ASSERT_TRUE(ttAllocate(65536));
  uciActive = true;
  quitRequested = 0;
  auto run = [](const std::string& text) {
    static char line[LineBufferSize];
    snprintf(line, sizeof line, "%s", text.c_str());
    ::testing::internal::CaptureStdout();
    HandleUciCommand(line);
    fflush(stdout);
    ::testing::internal::GetCapturedStdout();
  };
  std::vector<std::string> lines;
  std::ifstream in(std::string(BRAXEN_DATA_DIR) + "/tactics/wac_001-150.epd");
  for (std::string line; std::getline(in, line);)
    if (line.find(" bm ") != std::string::npos) lines.push_back(line);
  ASSERT_GE(lines.size(), 100u);
  const char* every = getenv("BRAXEN_TACTICS_ALL");
  const char* msText = getenv("BRAXEN_TACTICS_MS");
  const size_t count = (every != nullptr && *every == '1') ? lines.size() : 30;
  const int ms = msText != nullptr ? atoi(msText) : 1000;
  int solved = 0;
  std::string missed;
  for (size_t i = 0; i < count; i++) {
    const std::string& line = lines[i];
    const size_t bm = line.find(" bm "), semi = line.find(';', bm), id = line.find("id \"");
    const std::string name = id == std::string::npos ? "" : line.substr(id + 4, line.find('"', id + 4) - id - 4);
    run("ucinewgame");
    run("position fen " + line.substr(0, bm) + " 0 1");
    std::vector<Move> wanted;  // the best moves, given in SAN
    std::istringstream sans(line.substr(bm + 4, semi - bm - 4));
    for (std::string san; sans >> san;) {
      Move m = parseMoveText(san.c_str());
      if (m != 0 && completeMove(pos.sideToMove, &m)) wanted.push_back(m);
    }
    ASSERT_FALSE(wanted.empty()) << name;
    run("go movetime " + std::to_string(ms));
    const Move played = lastBestMove & ~CheckMark;
    bool ok = false;
    for (Move m : wanted) ok = ok || ((m ^ played) & 0x7FFF) == 0;
    ok ? void(solved++) : void(missed += " " + name);
  }
  std::printf("[ tactics ] %d of %zu solved at %d ms; missed:%s\n", solved, count, ms, missed.c_str());
  EXPECT_GE(solved * 10, static_cast<int>(count) * 6) << "a clear majority";
}

}  // namespace
