// EPD test suites: reading the operations of a line ("bm", "am", "id",
// quoted operands; the judging is tested through braxen-tool epd), and the
// progress lines of long tool runs.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/epd_suite.h"
#include "tools/progress.h"

namespace {

TEST(EpdSuite, ReadsOperations) {
  struct Case {
    const char* line;
    bool usable;
    const char* fen;
    std::vector<std::string> best, avoid;
    const char* id;
  };
  const Case cases[] = {
      {"2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - bm Qg6; id \"WAC.001\";", true,
       "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - -", {"Qg6"}, {}, "WAC.001"},
      {"8/8/8/8/8/8/8/K1k5 b - - am Kd1 Kd2;bm Kc2; id \"a;b c\"; c0 \"x\";", true, "8/8/8/8/8/8/8/K1k5 b - -",
       {"Kc2"}, {"Kd1", "Kd2"}, "a;b c"},
      {"1k6/8/8/8/8/8/8/K7 w - - bm Ka2 Kb1 Kb2;", true, "1k6/8/8/8/8/8/8/K7 w - -", {"Ka2", "Kb1", "Kb2"}, {}, ""},
      {"1k6/8/8/8/8/8/8/K7 w - - id \"no moves\";", false, "", {}, {}, ""},
      {"1k6/8/8/8/8/8/8/K7 w - bm Ka2;", false, "", {}, {}, ""},  // three fields only
      {"# a comment bm e4;", false, "", {}, {}, ""},
      {"", false, "", {}, {}, ""},
  };
  for (const Case& c : cases) {
    EpdCase e;
    ASSERT_EQ(parseEpdLine(c.line, &e), c.usable) << c.line;
    if (!c.usable) continue;
    EXPECT_EQ(e.fen, c.fen);
    EXPECT_EQ(e.best, c.best) << c.line;
    EXPECT_EQ(e.avoid, c.avoid) << c.line;
    EXPECT_EQ(e.id, c.id);
  }
  EXPECT_EQ(epdGoCommand(1000, 0), "go movetime 1000");
  EXPECT_EQ(epdGoCommand(0, 7), "go depth 7");
  EXPECT_EQ(epdGoCommand(500, 7), "go depth 7 movetime 500");
}

TEST(Progress, EstimatesAndStaysQuietOffTerminal) {
  struct Case { uint64_t done, total; uint32_t ms; const char* text; };
  constexpr Case cases[] = {
      {1, 4, 3000, "25 %, 9 s left"}, {50, 100, 130000, "50 %, 2 min 10 s left"},
      {1, 100, 3600000, "1 %, 99 h 0 min left"}, {150, 100, 5000, "100 %, 0 s left"},
      {0, 100, 1000, ""}, {5, 0, 1000, ""},
  };
  char text[80];
  for (const Case& c : cases) {
    formatProgressEstimate(text, sizeof text, c.done, c.total, c.ms);
    EXPECT_STREQ(text, c.text) << c.done << "/" << c.total;
  }
  // Standard error of the tests is no terminal: nothing is printed.
  ASSERT_FALSE(isatty(STDERR_FILENO));
  ::testing::internal::CaptureStderr();
  ProgressMeter meter;
  progressBegin(&meter, 10);
  progressUpdate(&meter, 5, "games read %d", 5);
  progressEnd(&meter);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  // On a terminal the line is drawn in place and cleared at the end.
  ::testing::internal::CaptureStderr();
  meter.shown = true;
  progressUpdate(&meter, 5, "games read %d", 5);
  progressUpdate(&meter, 6, "games read %d", 6);  // within the redraw interval: skipped
  progressEnd(&meter);
  const std::string drawn = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(drawn.rfind("\rgames read 5: 50 %, ", 0), 0u) << drawn;
  EXPECT_EQ(drawn.find("games read 6"), std::string::npos);
  EXPECT_EQ(drawn.substr(drawn.size() - 4), "\r\033[K");
}

}  // namespace
