// The option list of the "uci" reply, "setoption" and the Elo conversions.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "board/position.h"
#include "engine/edition.h"
#include "engine/options.h"
#include "engine/uci.h"
#include "test_support.h"

namespace {

// The lines of PrintOptions; a last line without its newline is marked.
std::vector<std::string> OptionLines() {
  testing::internal::CaptureStdout();
  PrintOptions();
  const std::string text = testing::internal::GetCapturedStdout();
  std::vector<std::string> lines = testsupport::linesOf(text);
  if (!text.empty() && text.back() != '\n') lines.back() += "<no newline>";
  return lines;
}

// Runs "setoption name <text>" as the dispatcher hands it over.
void Set(std::string text) { EXPECT_EQ(HandleSetOption(text.data()), 1); }

// The line of the named option in the current list ("" when absent).
std::string Listed(const std::string& name) {
  for (const std::string& l : OptionLines())
    if (l.rfind("option name " + name + " type", 0) == 0) return l;
  return "";
}

class OptionsTest : public testing::Test {
 protected:
  void SetUp() override { SetDefaultOptions(); }
  void TearDown() override { SetDefaultOptions(); }
};

// The whole list of both editions is compared end to end; here the lines
// that depend on the edition and on the missing calibration.
TEST_F(OptionsTest, EditionDefaults) {
  EXPECT_EQ(optionFlags, 0xBB24FC93u);
  EXPECT_EQ(OptionLines().size(), 36u);
  EXPECT_EQ(Listed("UCI_Elo"), "option name UCI_Elo type spin min 1250 max 2799 default 2285");
  EXPECT_EQ(Listed("UCI_EngineAbout"),
            std::string("option name UCI_EngineAbout type string default ") + editionName + " " + makerNotice);
  Set("Sharpen PV value true");
  EXPECT_NE(optionFlags & OptSharpenPv, 0u);
  SetDefaultOptionsFor(0xBA24FC83, false);
  EXPECT_EQ(OptionLines().size(), 35u);
  EXPECT_EQ(Listed("Sharpen PV"), "");
  EXPECT_EQ(Listed("Optimistic Search"), "option name Optimistic Search type check default false");
  Set("Sharpen PV value true");
  EXPECT_EQ(optionFlags, 0xBA24FC83u) << "the second edition ignores Sharpen PV";
}

TEST_F(OptionsTest, DrawValueRoundTrips) {
  const struct { const char* value; int stored; const char* listed; } cases[] = {
      {"50", -64, "50"}, {"100", -128, "100"}, {"-100", 128, "-100"}, {"128", -163, "127"}, {"0", 0, "0"}};
  for (const auto& c : cases) {
    Set(std::string("Braxen Draw Value value ") + c.value);
    EXPECT_EQ(drawScore, c.stored) << c.value;
    EXPECT_EQ(Listed("Braxen Draw Value"),
              std::string("option name Braxen Draw Value type spin min -100 max 100 default ") + c.listed);
  }
  Set("Braxen Draw Value value 129");
  Set("Braxen Draw Value value -129");
  EXPECT_EQ(drawScore, 0);
}

TEST_F(OptionsTest, SpinValuesOutsideTheirRangeOrNotNumbersAreIgnored) {
  auto values = [] {
    return std::vector<int64_t>{hashSizeKb, (optionFlags >> OptSelectivityShift) & 7, forwardPruning16,
                                threatDepthNeg, tbProbeDepth, multiPvCount, tbCacheBytes};
  };
  const std::vector<int64_t> defaults = {16384, 7, 160, -5, 4, 1, 1 << 20};
  for (const char* ignored : {"Hash value 0", "Hash value 2049", "Hash value sixteen", "Selectivity value -1",
                              "Selectivity value 8", "Selectivity value", "Selectivity value abc",
                              "Selectivity value 3x", "Forward Pruning value -1", "Threat Depth value 8",
                              "Tablebase Depth value -3", "MultiPV value 0", "MultiPV value 128",
                              "NalimovCache value 257", "MultiPV value 99999999999999999999999"}) {
    Set(ignored);
    EXPECT_EQ(values(), defaults) << ignored;
  }
  for (const char* edge : {"Hash value 1", "Selectivity value 0", "Forward Pruning value 16", "Threat Depth value 0",
                           "Tablebase Depth value +7", "MultiPV value 127", "NalimovCache value 256"})
    Set(edge);
  EXPECT_EQ(values(), (std::vector<int64_t>{1024, 0, 256, 0, 7, 127, 256 << 20}));
  EXPECT_EQ(Listed("NalimovCache"), "option name NalimovCache type spin min 1 max 256 default 256");
  EXPECT_EQ(Listed("Forward Pruning"), "option name Forward Pruning type spin min 0 max 16 default 16");
}

TEST_F(OptionsTest, NamesAndValuesAreCaseInsensitiveAndNeedValue) {
  Set("hash value 32");
  EXPECT_EQ(hashSizeKb, 32768u);
  EXPECT_EQ(Listed("Hash"), "option name Hash type spin min 1 max 2048 default 32");
  Set("FUTILITY value FALSE");
  EXPECT_EQ(optionFlags & OptFutility, 0u);
  Set("Futility TRUE");  // no "value": ignored
  EXPECT_EQ(optionFlags & OptFutility, 0u);
  Set("Futility value yes");
  Set("Futility value 1");
  EXPECT_EQ(optionFlags & OptFutility, 0u);
  Set("futility value True");
  EXPECT_NE(optionFlags & OptFutility, 0u);
  Set("playing style value aggressive");
  EXPECT_EQ(Listed("Playing Style"),
            "option name Playing Style type combo default Aggressive var Active var Aggressive var Solid");
  Set("Playing Style value Reckless");
  Set("Book Style value wild");
  EXPECT_EQ((optionFlags >> OptPlayingStyleShift) & 3, 1u);
  EXPECT_EQ((optionFlags >> OptBookStyleShift) & 7, 1u);
  Set("No Such Option value true");
  Set("Hashes value 8");  // whole words only
  EXPECT_EQ(hashSizeKb, 32768u);
}

TEST_F(OptionsTest, CheckOptionsSetTheirOwnBits) {
  const struct { const char* name; uint32_t bit; } checks[] = {
      {"Optimistic Search", OptOptimistic}, {"Smart Search", OptSmartSearch},    {"Swindle", OptSwindle},
      {"Ponder", OptPonder},                {"Use Tablebases", OptUseTablebases}, {"Book Learning", OptBookLearning},
      {"Position Learning", OptPositionLearning}, {"Combinations", OptCombinations},
      {"Extend Search", OptExtendSearch},   {"Hyper-Modern Play", OptHyperModern}, {"OwnBook", OptOwnBook},
      {"GUI Time Lag", OptGuiTimeLag},      {"Verbose UCI", OptVerboseUci},       {"Retain Hash", OptRetainHash},
      {"Sharpen PV", OptSharpenPv},         {"UCI_LimitStrength", OptLimitStrength}};
  for (const auto& c : checks) {
    for (bool on : {true, false, true}) {
      const uint32_t before = optionFlags;
      Set(std::string(c.name) + " value " + (on ? "true" : "false"));
      EXPECT_EQ(optionFlags, on ? (before | c.bit) : (before & ~c.bit)) << c.name;
    }
  }
  Set("AutoSave PGN value false");
  EXPECT_EQ(saveFlags, 0u);
  Set("AutoSave PGN value true");
  EXPECT_EQ(saveFlags, 1u << 24);
  const uint32_t before = optionFlags;
  Set("UCI_Chess960 value true");
  EXPECT_EQ(optionFlags, before);
  // These three always list their start-up default.
  EXPECT_EQ(Listed("GUI Time Lag"), "option name GUI Time Lag type check default false");
}

// UCI_Elo below the minimum is ignored; above the maximum (which is
// measured anew at every start) it is held at the maximum.
TEST_F(OptionsTest, StrengthLimitFollowsElo) {
  Set("UCI_LimitStrength value true");
  EXPECT_EQ(nodeRateLimit, 1024u) << "the default Elo, 2285";
  const uint32_t top = RateForElo(2799);
  // Each value is set after 2285; an ignored one leaves that.
  const struct { const char* value; int target; uint32_t rate; } cases[] = {
      {"1200", 2285, 1024}, {"1250", 1250, 16}, {"2799", 2799, top}, {"2800", 2799, top},
      {"3110", 2799, top},  {"99999999999999999999", 2285, 1024},  {"x", 2285, 1024},
  };
  for (const auto& c : cases) {
    Set("UCI_Elo value 2285");
    Set(std::string("UCI_Elo value ") + c.value);
    EXPECT_EQ(eloTarget, c.target) << c.value;
    EXPECT_EQ(nodeRateLimit, c.rate) << c.value;
  }
  Set("UCI_LimitStrength value false");
  EXPECT_EQ(nodeRateLimit, 0u);
  Set("UCI_Elo value 2500");
  EXPECT_EQ(nodeRateLimit, 0u) << "no limit while UCI_LimitStrength is off";
  EXPECT_EQ(Listed("UCI_Elo"), "option name UCI_Elo type spin min 1250 max 2799 default 2500");
}

TEST_F(OptionsTest, EloBoundsComeFromTheMeasuredRate) {
  SetEloBounds(1500000);
  EXPECT_EQ(eloMin, 1250);
  EXPECT_EQ(eloTarget, 2285);
  EXPECT_EQ(eloMax, static_cast<int32_t>(EloForRate(1500000)));
  EXPECT_GT(eloMax, 2940);
  // A very slow machine: the default never lies above the maximum.
  SetEloBounds(300);
  EXPECT_LE(eloTarget, eloMax);
  EXPECT_GE(eloMax, eloMin);
  SetEloBounds(0);  // no measurement
  EXPECT_EQ(eloMax, 2799);
}

TEST(EloTable, KnownPointsAndConsistencyOverTheWholeTable) {
  EXPECT_EQ(EloForRate(100000), 2799u);
  EXPECT_EQ(EloForRate(0), 850u);
  EXPECT_EQ(EloForRate(50000000), 3110u);
  // The points of the table (1250 at 16, 2285 at 1024) and their inverses.
  const uint32_t table[24] = {850,  950,  1050, 1150, 1250, 1560, 1765, 1935, 2070, 2185, 2285, 2380,
                              2465, 2550, 2630, 2705, 2765, 2830, 2885, 2940, 2985, 3030, 3070, 3110};
  for (int k = 0; k < 24; k++) {
    EXPECT_EQ(EloForRate(1u << k), table[k]) << k;
    if (k >= 1) EXPECT_EQ(RateForElo(table[k]), 1u << k) << k;
  }
  // Both directions rise monotonically, and the rate found for an Elo is
  // the largest rate whose Elo does not exceed it (up to the truncation
  // of one step of the rate).
  uint32_t lastRate = 0;
  for (uint32_t elo = 851; elo <= 3110; elo++) {
    uint32_t rate = RateForElo(elo);
    ASSERT_GE(rate, lastRate) << elo;
    lastRate = rate;
    ASSERT_LE(EloForRate(rate), elo) << elo;
    ASSERT_GE(EloForRate(rate + 1) + 1, elo) << elo;
  }
  uint32_t lastElo = 0;
  for (uint32_t rate = 1; rate <= (1u << 23); rate += 1 + rate / 64) {
    uint32_t elo = EloForRate(rate);
    ASSERT_GE(elo, lastElo) << rate;
    lastElo = elo;
    uint32_t back = RateForElo(elo);
    ASSERT_LE(back, rate) << rate;
    ASSERT_GE(EloForRate(back + 1) + 1, elo) << rate;
  }
}

class BookFileTest : public OptionsTest {
 protected:
  testsupport::TempFolder folder{"braxen-book"};
  void TearDown() override {
    bookClose();
    OptionsTest::TearDown();
  }
  std::string Write(const char* name, const std::string& bytes) {
    const std::string path = folder.path + "/" + name;
    EXPECT_TRUE(std::ofstream(path, std::ios::binary) << bytes) << path;
    return path;
  }
  std::string SetBook(const std::string& path) {
    testing::internal::CaptureStdout();
    Set("Book File value " + path);
    return testing::internal::GetCapturedStdout();
  }
};

// A missing book file is checked end to end.
TEST_F(BookFileTest, SettingTheFilePrintsItsStatusAtOnce) {
  // The record count is the first word, little-endian.
  std::string book = Write("my book.bxk", std::string("\x04\x03\x02\x01\xff\xff", 6));
  EXPECT_EQ(SetBook(book),
            "option name Book Status type string default Loaded OK\n"
            "option name Book Positions type combo default 16909060 var 16909060\n");
  EXPECT_NE(optionFlags & OptOwnBook, 0u);
  EXPECT_EQ(strcmp(bookFileName, book.c_str()), 0);

  // Too short to hold the count: no book.
  EXPECT_EQ(SetBook(Write("short.bxk", "ab")),
            "option name Book Status type string default NO BOOK FOUND\n"
            "option name Book Positions type combo default 0 var 0\n");
  EXPECT_EQ(optionFlags & OptOwnBook, 0u);
}

TEST_F(BookFileTest, ReadOnlyBookIsUsableWithoutLearning) {
  std::string book = Write("ro.bxk", std::string("\x0a\x00\x00\x00", 4));
  chmod(book.c_str(), 0444);
  if (access(book.c_str(), W_OK) == 0) GTEST_SKIP() << "running with rights to write any file";
  EXPECT_EQ(SetBook(book),
            "option name Book Status type string default READ ONLY BOOK - NO LEARNING\n"
            "option name Book Positions type combo default 10 var 10\n");
  EXPECT_NE(optionFlags & OptOwnBook, 0u);
}

TEST_F(BookFileTest, OverlongStringsAreIgnored) {
  const std::string longName(200, 'b');
  EXPECT_EQ(SetBook(longName), "");
  Set("NalimovPath value " + std::string(160, 'p'));
  EXPECT_STREQ(bookFileName, "B12SPBook.bxk");
  EXPECT_STREQ(tbPath, "");
  Set("NalimovPath value /tb/one dir;/tb/two");  // spaces belong to the value
  EXPECT_STREQ(tbPath, "/tb/one dir;/tb/two");
  Set("NalimovPath value " + std::string(159, 'p'));
  EXPECT_EQ(strlen(tbPath), 159u);
}

}  // namespace
