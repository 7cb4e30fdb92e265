// Keyword matching and number reading on command-line text.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "engine/uci.h"

namespace {

// Runs MatchKeyword on a private copy; returns the match and the rest of
// the line after the cursor.
bool match(const char* keyword, const char* text, std::string* rest = nullptr) {
  static char buffer[256];
  strcpy(buffer, text);
  char* cursor = buffer;
  bool ok = MatchKeyword(keyword, cursor);
  if (!ok) {
    EXPECT_EQ(cursor, buffer) << "a failed match must leave the cursor";
  }
  if (rest != nullptr) *rest = cursor;
  return ok;
}

TEST(MatchKeyword, WholeWordsOnlyAnyCase) {
  EXPECT_TRUE(match("uci", "uci"));
  EXPECT_TRUE(match("uci", "UCI"));
  EXPECT_TRUE(match("uci", "Uci"));
  EXPECT_TRUE(match("UCI", "uci"));
  EXPECT_FALSE(match("uci", "ucinewgame"));
  EXPECT_FALSE(match("ucinewgame", "uci"));
  EXPECT_FALSE(match("uci", "uc"));
  EXPECT_FALSE(match("uci", ""));
  EXPECT_FALSE(match("uci", " uci")) << "leading blanks are the caller's business";
  EXPECT_FALSE(match("go", "goo"));
}

TEST(MatchKeyword, CursorSkipsFollowingSpacesOnly) {
  std::string rest;
  ASSERT_TRUE(match("position", "position   startpos moves e2e4", &rest));
  EXPECT_EQ(rest, "startpos moves e2e4");
  ASSERT_TRUE(match("go", "go", &rest));
  EXPECT_EQ(rest, "");
  // A tab ends the word but is not skipped: only spaces are.
  ASSERT_TRUE(match("go", "go\tinfinite", &rest));
  EXPECT_EQ(rest, "\tinfinite");
}

TEST(MatchKeyword, MultiWordKeywordsIncludeTheirInnerSpace) {
  std::string rest;
  ASSERT_TRUE(match("Playing Style", "playing style value Solid", &rest));
  EXPECT_EQ(rest, "value Solid");
  EXPECT_FALSE(match("Playing Style", "playing  style value Solid"));
  EXPECT_FALSE(match("Playing Style", "Playing Styles"));
}

TEST(MatchKeyword, NullCursorFails) {
  char* cursor = nullptr;
  EXPECT_FALSE(MatchKeyword("moves", cursor));
  EXPECT_EQ(cursor, nullptr);
}

long number(const char* text, std::string* rest = nullptr) {
  static char buffer[256];
  strcpy(buffer, text);
  char* cursor = buffer;
  long v = ReadNumber(cursor);
  if (rest != nullptr) *rest = cursor;
  return v;
}

TEST(ReadNumber, SignsBlanksAndStopAtNonDigit) {
  std::string rest;
  EXPECT_EQ(number("60000 btime 1", &rest), 60000);
  EXPECT_EQ(rest, "btime 1");
  EXPECT_EQ(number("  -50 x", &rest), -50);
  EXPECT_EQ(rest, "x");
  EXPECT_EQ(number("+7"), 7);
  // Reading stops at the first non-digit, the cursor still goes to the next word.
  EXPECT_EQ(number("12abc   next", &rest), 12);
  EXPECT_EQ(rest, "next");
  EXPECT_EQ(number("abc next", &rest), 0);
  EXPECT_EQ(rest, "next");
  EXPECT_EQ(number("", &rest), 0);
  EXPECT_EQ(rest, "");
  EXPECT_EQ(number("-"), 0);
}

TEST(ReadNumber, HugeValuesSaturateInsteadOfWrapping) {
  EXPECT_EQ(number("99999999999999999999999999 rest"), LONG_MAX);
  EXPECT_EQ(number("-99999999999999999999999999"), -LONG_MAX);
  EXPECT_EQ(number("9223372036854775807"), LONG_MAX);
  EXPECT_EQ(number("2147483648"), 2147483648L);
}

TEST(ReadNumber, NullCursorReadsZero) {
  char* cursor = nullptr;
  EXPECT_EQ(ReadNumber(cursor), 0);
}

}  // namespace
