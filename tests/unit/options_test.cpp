// The option list of the "uci" reply, "setoption" and the Elo conversions.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "board/position.h"
#include "engine/edition.h"
#include "engine/options.h"
#include "engine/uci.h"

namespace {

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  if (start < text.size()) lines.push_back(text.substr(start) + "<no newline>");
  return lines;
}

std::vector<std::string> OptionLines() {
  testing::internal::CaptureStdout();
  PrintOptions();
  return SplitLines(testing::internal::GetCapturedStdout());
}

// The reply of a freshly started engine of either edition, without a book.
std::vector<std::string> FreshList(bool standard) {
  std::vector<std::string> l = {
      "option name Ponder type check default true",
      "option name OwnBook type check default false",
      "option name Book File type string default B12SPBook.bxk",
      "option name Book Status type string default NO BOOK FOUND",
      "option name Book Positions type combo default 0 var 0",
      "option name Book Style type combo default Tournament var Wild var Wide var Varied var Tournament",
      "option name Book Learning type check default true",
      "option name Position Learning type check default true",
      "option name Hash type spin min 1 max 2048 default 16",
      "option name Clear Hash type button",
      "option name Retain Hash type check default true",
      "option name Use Tablebases type check default true",
      "option name Tablebase Depth type spin min 0 max 7 default 4",
      "option name NalimovCache type spin min 1 max 256 default 1",
      "option name NalimovPath type string default ",
      "option name Braxen Draw Value type spin min -100 max 100 default 0",
      "option name Playing Style type combo default Active var Active var Aggressive var Solid",
      "option name Selectivity type spin min 0 max 7 default 7",
      "option name Forward Pruning type spin min 0 max 16 default 10",
      "option name Threat Depth type spin min 0 max 7 default 5",
      "option name Smart Search type check default true",
      "option name Futility type check default true"};
  if (standard) l.push_back("option name Sharpen PV type check default false");
  l.push_back(std::string("option name Optimistic Search type check default ") + (standard ? "true" : "false"));
  l.push_back("option name Combinations type check default false");
  l.push_back(std::string("option name Extend Search type check default ") + (standard ? "true" : "false"));
  for (const char* s : {"option name Hyper-Modern Play type check default true",
                        "option name Swindle type check default true",
                        "option name GUI Time Lag type check default false",
                        "option name Verbose UCI type check default false",
                        "option name AutoSave PGN type check default true",
                        "option name UCI_Elo type spin min 1250 max 2799 default 2285",
                        "option name UCI_LimitStrength type check default false",
                        "option name UCI_Chess960 type check default false",
                        "option name MultiPV type spin min 1 max 127 default 1"})
    l.push_back(s);
  l.push_back(std::string("option name UCI_EngineAbout type string default ") + editionName + " " + makerNotice);
  return l;
}

// Runs "setoption name <text>" as the dispatcher hands it over.
void Set(const std::string& text) {
  std::vector<char> line(text.begin(), text.end());
  line.push_back('\0');
  EXPECT_EQ(HandleSetOption(line.data()), 1);
}

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

TEST_F(OptionsTest, StandardEditionListsEveryOptionInOrder) {
  EXPECT_EQ(OptionLines(), FreshList(true));
  EXPECT_EQ(optionFlags, 0xBB24FC93u);
}

TEST_F(OptionsTest, PbEditionHasItsDefaultsAndNoSharpenPv) {
  SetDefaultOptionsFor(0xBA24FC83, false);
  EXPECT_EQ(OptionLines(), FreshList(false));
  Set("Sharpen PV value true");
  EXPECT_EQ(optionFlags & OptSharpenPv, 0u);
  EXPECT_EQ(optionFlags, 0xBA24FC83u);
  // The standard edition takes the same command.
  SetDefaultOptions();
  Set("Sharpen PV value true");
  EXPECT_NE(optionFlags & OptSharpenPv, 0u);
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
  Set("Hash value 0");
  Set("Hash value 2049");
  Set("Hash value sixteen");
  EXPECT_EQ(hashSizeKb, 16384u);
  Set("Selectivity value -1");
  Set("Selectivity value 8");
  Set("Selectivity value");
  Set("Selectivity value abc");  // not read as 0
  Set("Selectivity value 3x");
  EXPECT_EQ((optionFlags >> OptSelectivityShift) & 7, 7u);
  Set("Selectivity value 0");
  EXPECT_EQ((optionFlags >> OptSelectivityShift) & 7, 0u);
  Set("Forward Pruning value -1");
  Set("Threat Depth value 8");
  Set("Tablebase Depth value -3");
  Set("MultiPV value 0");
  Set("MultiPV value 128");
  Set("NalimovCache value 257");
  Set("MultiPV value 99999999999999999999999");
  EXPECT_EQ(forwardPruning16, 160);
  EXPECT_EQ(threatDepthNeg, -5);
  EXPECT_EQ(tbProbeDepth, 4);
  EXPECT_EQ(multiPvCount, 1);
  EXPECT_EQ(tbCacheBytes, 1u << 20);
  Set("Forward Pruning value 16");
  Set("Threat Depth value 0");
  Set("Tablebase Depth value +7");
  Set("MultiPV value 127");
  Set("NalimovCache value 256");
  EXPECT_EQ(forwardPruning16, 256);
  EXPECT_EQ(threatDepthNeg, 0);
  EXPECT_EQ(tbProbeDepth, 7);
  EXPECT_EQ(multiPvCount, 127);
  EXPECT_EQ(tbCacheBytes, 256u << 20);
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

TEST_F(OptionsTest, StrengthLimitFollowsElo) {
  Set("UCI_Elo value 1200");  // below the minimum
  Set("UCI_Elo value 2800");  // above the maximum
  EXPECT_EQ(eloTarget, 2285);
  EXPECT_EQ(nodeRateLimit, 0u);
  Set("UCI_LimitStrength value true");
  EXPECT_EQ(nodeRateLimit, 1024u);
  Set("UCI_Elo value 1250");
  EXPECT_EQ(nodeRateLimit, 16u);
  Set("UCI_LimitStrength value false");
  EXPECT_EQ(nodeRateLimit, 0u);
  Set("UCI_Elo value 2799");
  EXPECT_EQ(nodeRateLimit, 0u);
  EXPECT_EQ(Listed("UCI_Elo"), "option name UCI_Elo type spin min 1250 max 2799 default 2799");
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
  EXPECT_EQ(EloForRate(16), 1250u);
  EXPECT_EQ(EloForRate(1024), 2285u);
  EXPECT_EQ(EloForRate(100000), 2799u);
  EXPECT_EQ(RateForElo(2285), 1024u);
  EXPECT_EQ(EloForRate(0), 850u);
  EXPECT_EQ(EloForRate(50000000), 3110u);
  const uint32_t table[24] = {850,  950,  1050, 1150, 1250, 1560, 1765, 1935, 2070, 2185, 2285, 2380,
                              2465, 2550, 2630, 2705, 2765, 2830, 2885, 2940, 2985, 3030, 3070, 3110};
  for (int k = 0; k < 24; k++) {
    EXPECT_EQ(EloForRate(1u << k), table[k]) << k;
    if (k >= 1) {
      EXPECT_EQ(RateForElo(table[k]), 1u << k) << k;
    }
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
  std::string folder;
  void SetUp() override {
    OptionsTest::SetUp();
    char pattern[] = "/tmp/braxen-book-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder = pattern;
  }
  void TearDown() override {
    bookClose();
    std::string cmd = "rm -rf '" + folder + "'";
    EXPECT_EQ(system(cmd.c_str()), 0);
    OptionsTest::TearDown();
  }
  std::string Write(const char* name, const std::string& bytes) {
    std::string path = folder + "/" + name;
    FILE* f = fopen(path.c_str(), "wb");
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
    return path;
  }
  std::string SetBook(const std::string& path) {
    testing::internal::CaptureStdout();
    Set("Book File value " + path);
    return testing::internal::GetCapturedStdout();
  }
};

TEST_F(BookFileTest, SettingTheFilePrintsItsStatusAtOnce) {
  EXPECT_EQ(SetBook(folder + "/x.bxk"),
            "option name Book Status type string default NO BOOK FOUND\n"
            "option name Book Positions type combo default 0 var 0\n");
  EXPECT_EQ(optionFlags & OptOwnBook, 0u);
  EXPECT_EQ(Listed("Book File"), "option name Book File type string default " + folder + "/x.bxk");

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
