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

struct Tactic {
  std::string fen;
  std::vector<std::string> best;  // SAN
  std::string id;
};

std::vector<Tactic> loadTactics(const std::string& path) {
  std::vector<Tactic> out;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    const size_t bm = line.find(" bm ");
    if (bm == std::string::npos) continue;
    Tactic t;
    t.fen = line.substr(0, bm) + " 0 1";
    const size_t semi = line.find(';', bm);
    std::istringstream moves(line.substr(bm + 4, semi - bm - 4));
    for (std::string m; moves >> m;) t.best.push_back(m);
    const size_t id = line.find("id \"");
    if (id != std::string::npos) t.id = line.substr(id + 4, line.find('"', id + 4) - id - 4);
    out.push_back(t);
  }
  return out;
}

std::string run(const std::string& text) {
  static char line[LineBufferSize];
  snprintf(line, sizeof line, "%s", text.c_str());
  ::testing::internal::CaptureStdout();
  HandleUciCommand(line);
  fflush(stdout);
  return ::testing::internal::GetCapturedStdout();
}

TEST(SearchTactics, ClearMajorityIsSolved) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  dup2(fds[0], STDIN_FILENO);
  close(fds[0]);
  ASSERT_TRUE(initSearchMemory());
  SetDefaultOptions();
  ASSERT_TRUE(ttAllocate(65536));
  uciActive = true;
  quitRequested = 0;

  std::vector<Tactic> all = loadTactics(std::string(BRAXEN_DATA_DIR) + "/tactics/wac_001-150.epd");
  ASSERT_GE(all.size(), 100u);
  const char* every = getenv("BRAXEN_TACTICS_ALL");
  const char* msText = getenv("BRAXEN_TACTICS_MS");
  const size_t count = (every != nullptr && *every == '1') ? all.size() : 30;
  const int ms = msText != nullptr ? atoi(msText) : 1000;
  int solved = 0;
  std::string missed;
  for (size_t i = 0; i < count; i++) {
    const Tactic& t = all[i];
    run("ucinewgame");
    run("position fen " + t.fen);
    ASSERT_EQ(rootSide = static_cast<uint8_t>(pos.sideToMove), pos.sideToMove);
    std::vector<Move> wanted;
    for (const std::string& san : t.best) {
      Move m = parseMoveText(san.c_str());
      if (m != 0 && completeMove(pos.sideToMove, &m)) wanted.push_back(m);
    }
    ASSERT_FALSE(wanted.empty()) << t.id << " " << t.best[0];
    run("go movetime " + std::to_string(ms));
    const Move played = lastBestMove & ~CheckMark;
    bool ok = false;
    for (Move m : wanted) ok = ok || ((m ^ played) & 0x7FFF) == 0;
    if (ok)
      solved++;
    else
      missed += " " + t.id;
  }
  std::printf("[ tactics ] %d of %zu solved at %d ms; missed:%s\n", solved, count, ms, missed.c_str());
  EXPECT_GE(solved * 10, static_cast<int>(count) * 6) << "a clear majority";
}

}  // namespace
