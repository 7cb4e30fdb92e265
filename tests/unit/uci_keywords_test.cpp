// Keyword matching and number reading on command-line text.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "engine/uci.h"

namespace {

TEST(MatchKeyword, WholeWordsAnyCaseCursorPastFollowingSpaces) {
  const struct { const char *keyword, *text; bool match; const char* rest; } cases[] = {
      {"uci", "uci", true, ""}, {"uci", "UCI", true, ""}, {"uci", "Uci", true, ""}, {"UCI", "uci", true, ""},
      {"uci", "ucinewgame", false, ""}, {"ucinewgame", "uci", false, ""}, {"uci", "uc", false, ""},
      {"uci", "", false, ""}, {"go", "goo", false, ""},
      {"uci", " uci", false, ""},  // leading blanks are the caller's business
      {"position", "position   startpos moves e2e4", true, "startpos moves e2e4"},
      {"go", "go\tinfinite", true, "\tinfinite"},  // a tab ends the word but only spaces are skipped
      {"Playing Style", "playing style value Solid", true, "value Solid"},
      {"Playing Style", "playing  style value Solid", false, ""}, {"Playing Style", "Playing Styles", false, ""}};
  for (const auto& c : cases) {
    char buffer[64];
    strcpy(buffer, c.text);
    char* cursor = buffer;
    EXPECT_EQ(MatchKeyword(c.keyword, cursor), c.match) << c.keyword << " | " << c.text;
    EXPECT_EQ(std::string(cursor), c.match ? c.rest : c.text) << "a failed match leaves the cursor";
  }
  char* none = nullptr;
  EXPECT_FALSE(MatchKeyword("moves", none));
  EXPECT_EQ(none, nullptr);
}

TEST(ReadNumber, SignsBlanksSaturationAndTheNextWord) {
  const struct { const char* text; long value; const char* rest; } cases[] = {
      {"60000 btime 1", 60000, "btime 1"}, {"  -50 x", -50, "x"}, {"+7", 7, ""},
      {"12abc   next", 12, "next"},  // stops at a non-digit, the cursor still goes to the next word
      {"abc next", 0, "next"}, {"", 0, ""}, {"-", 0, ""},
      {"99999999999999999999999999 rest", LONG_MAX, "rest"}, {"-99999999999999999999999999", -LONG_MAX, ""},
      {"9223372036854775807", LONG_MAX, ""}, {"2147483648", 2147483648L, ""}};
  for (const auto& c : cases) {
    char buffer[64];
    strcpy(buffer, c.text);
    char* cursor = buffer;
    EXPECT_EQ(ReadNumber(cursor), c.value) << c.text;
    EXPECT_EQ(std::string(cursor), c.rest) << c.text;
  }
  char* none = nullptr;
  EXPECT_EQ(ReadNumber(none), 0);
}

}  // namespace
