// Tactical test positions with known best moves, searched for a fixed time
// each through the same EPD runner as "braxen-tool epd". By default the
// first 30 positions at one second; BRAXEN_TACTICS_ALL=1 runs the whole
// file and BRAXEN_TACTICS_MS sets the time per position.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tools/epd_suite.h"

namespace {

TEST(SearchTactics, ClearMajorityIsSolved) {
  std::vector<EpdCase> cases;
  ASSERT_TRUE(readEpdFile(std::string(BRAXEN_DATA_DIR) + "/tactics/wac_001-150.epd", &cases));
  ASSERT_GE(cases.size(), 100u);
  ASSERT_TRUE(epdEngineSetUp(64));
  const char* every = getenv("BRAXEN_TACTICS_ALL");
  const char* msText = getenv("BRAXEN_TACTICS_MS");
  const size_t count = (every != nullptr && *every == '1') ? cases.size() : 30;
  const int ms = msText != nullptr ? atoi(msText) : 1000;
  int solved = 0;
  std::string missed;
  for (size_t i = 0; i < count; i++) {
    ::testing::internal::CaptureStdout();  // the engine's search output
    const EpdResult r = runEpdCase(cases[i], epdGoCommand(ms, 0));
    ::testing::internal::GetCapturedStdout();
    ASSERT_TRUE(r.readable) << cases[i].id;
    r.solved ? void(solved++) : void(missed += " " + cases[i].id);
  }
  std::printf("[ tactics ] %d of %zu solved at %d ms; missed:%s\n", solved, count, ms, missed.c_str());
  EXPECT_GE(solved * 10, static_cast<int>(count) * 6) << "a clear majority";
}

}  // namespace
