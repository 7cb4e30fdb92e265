// Position learning: which searches are learned, the learning file's round
// trip and eviction, and learned entries surviving a change of Hash.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "board/position.h"
#include "board/setup.h"
#include "book/poslearn.h"
#include "engine/edition.h"
#include "engine/options.h"
#include "search/think.h"
#include "search/tt.h"
#include "test_support.h"

namespace {

const Move e2e4 = makeMoveWord(12, 28, 0);

std::string fileBytes() { return testsupport::fileText(editionLearnFile); }

// A learning file of the given number of records of other positions, each
// with eviction priority 10.
void writeLearnFile(int records) {
  std::ofstream out(editionLearnFile, std::ios::binary);
  const unsigned char magic[4] = {0x54, 0xF3, 0x85, 0x4A};
  out.write(reinterpret_cast<const char*>(magic), 4);
  for (int i = 0; i < records; ++i) {
    const unsigned char r[16] = {static_cast<unsigned char>(i), static_cast<unsigned char>(i >> 8), 0x5A, 0, 1, 2, 3, 4,
                                 0, 0, 0, 0, 10, 0, 0xC0, 0x8A};
    out.write(reinterpret_cast<const char*>(r), 16);
  }
}

class PositionLearning : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(initSearchMemory());
    SetDefaultOptions();
    ASSERT_TRUE(ttAllocate(hashSizeKb));
    ttClear(true);
    std::remove(editionLearnFile);
    newGame();
    searchFlags = optionFlags;
    rootSide = White;
    lastBookPly = -1;
  }
  // The end of a search at depth 10 whose root score ended at s.
  void searched(int s, int lo, int hi) {
    rootMoveCount = 1;
    rootMoves[0].line[1] = e2e4;
    rootMoves[0].score = static_cast<int16_t>(s);
    rootMoves[0].depth = 10;
    rootBoundState = 4;
    iterationDepth = 10;
    learningDirty = false;
    learnFromSearch(lo, hi);
    iterationDepth = 0;
  }
  bool learned(TTHit* hit) { return ttProbe(White, 1, hit) && (hit->flags & TTLearned); }
};

TEST_F(PositionLearning, OnlyARealSwingIsLearned) {
  TTHit hit;
  searched(100, 60, 140);  // within 48 both ways
  EXPECT_FALSE(learningDirty);
  EXPECT_FALSE(learned(&hit));
  searched(400, 330, 400);  // 70 is more than 48 but less than a quarter of 400
  EXPECT_FALSE(learned(&hit));
  searched(100, 40, 100);
  ASSERT_TRUE(learned(&hit));
  EXPECT_TRUE(learningDirty);
  EXPECT_EQ(hit.score, 100);
  EXPECT_EQ(hit.move, e2e4);
  EXPECT_EQ(hit.flags & TTBoundMask, TTExact);
  EXPECT_EQ(hit.depth, 10);
}

TEST_F(PositionLearning, TheFileRoundTripsAndSavingTwiceChangesNothing) {
  searched(-150, -150, -60);
  learnSave();
  const std::string once = fileBytes();
  ASSERT_EQ(once.size(), 4u + 16u);
  learnSave();
  EXPECT_EQ(fileBytes(), once) << "the same key is written over, not added";

  ttClear(true);
  TTHit hit;
  ASSERT_FALSE(learned(&hit));
  learnLoad();
  ASSERT_TRUE(learned(&hit));
  EXPECT_EQ(hit.score, -150);
  EXPECT_EQ(hit.move, e2e4);
  EXPECT_EQ(hit.depth, 10);
  EXPECT_FALSE(learningDirty);
}

TEST_F(PositionLearning, AFullFileKeepsItsMorePreciousRecords) {
  writeLearnFile(LearnFileCapacity);
  const std::string full = fileBytes();
  searched(100, 40, 100);  // priority: ply 1 - depth 10 + 64 = 55, above every stored one
  learnSave();
  EXPECT_EQ(fileBytes(), full);

  ttClear(true);
  std::remove(editionLearnFile);
  std::ofstream(editionLearnFile) << "not a learning file";
  learnLoad();
  TTHit hit;
  EXPECT_FALSE(learned(&hit)) << "a foreign file loads nothing";
  searched(100, 40, 100);
  learnSave();
  EXPECT_EQ(fileBytes().size(), 4u + 16u) << "and is written over on saving";
}

// A save killed at any moment leaves the file as it was or as saved, never
// cut short: a child process saves over and over and is killed at a random
// moment. The file is large so that writing it takes most of the child's
// time.
TEST_F(PositionLearning, AKillDuringTheSaveLeavesTheOldOrTheNewFile) {
  ASSERT_TRUE(ttAllocate(64));  // a small table: the child spends its time on the file
  writeLearnFile(LearnFileCapacity - 1);
  const std::string old = fileBytes();
  searched(100, 40, 100);
  learnSave();
  const std::string saved = fileBytes();
  ASSERT_EQ(saved.size(), old.size() + 16);

  std::mt19937 random(12);
  for (int trial = 0; trial < 12; ++trial) {
    std::ofstream(editionLearnFile, std::ios::binary) << old;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (;;) learnSave();
    }
    usleep(2000 + random() % 20000);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    const std::string now = fileBytes();
    EXPECT_TRUE(now == old || now == saved) << "trial " << trial << ": " << now.size() << " bytes";
  }
  ASSERT_TRUE(ttAllocate(hashSizeKb));
}

TEST_F(PositionLearning, ChangingTheHashKeepsLearnedEntries) {
  searched(100, 40, 100);
  char line[] = "Hash value 32";
  HandleSetOption(line);
  EXPECT_EQ(hashSizeKb, 32u * 1024);
  TTHit hit;
  EXPECT_TRUE(learned(&hit)) << "saved before the table went and loaded into the new one";
}

}  // namespace
