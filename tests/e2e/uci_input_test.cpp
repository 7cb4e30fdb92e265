// Lost streams, hostile input and the data folder, seen from outside.
#include <gtest/gtest.h>

#include <random>
#include <sys/stat.h>

#include "e2e/engine_process.h"

namespace {

const char lostInputLine[] = "FATAL ERROR: stdin pipe gone errno=";

void expectLostInputRecorded(const std::string& program, const std::string& gameFile) {
  EngineProcess e;
  ASSERT_TRUE(e.start(program));
  ASSERT_TRUE(e.handshake());
  e.closeInput();
  EXPECT_EQ(e.waitExit(), 0);
  std::string text = e.readFile(gameFile);
  EXPECT_EQ(countOccurrences(text, lostInputLine), 1) << text;
  EXPECT_NE(text.find(std::string(lostInputLine) + "0\n"), std::string::npos) << text;
}

TEST(UciInput, ClosedInputEndsNormallyAndLeavesOneLine) {
  expectLostInputRecorded(BRAXEN_ENGINE_PATH, "B12SP.pgn");
  expectLostInputRecorded(BRAXEN_ENGINE_PB_PATH, "BraxenSPVM07.pgn");
}

TEST(UciInput, ClosedInputBeforeUciAndAfterAnUnfinishedLine) {
  EngineProcess e;
  ASSERT_TRUE(e.start());
  ASSERT_TRUE(e.sendRaw("isready\nisrea"));
  e.closeInput();
  EXPECT_EQ(e.waitExit(), 0);
  EXPECT_EQ(countOccurrences(e.readFile("B12SP.pgn"), lostInputLine), 1);
}

TEST(UciInput, LastLineWithoutNewlineIsNotLost) {
  EngineProcess e;
  ASSERT_TRUE(e.start());
  ASSERT_TRUE(e.sendRaw("uci\nquit"));
  e.closeInput();
  EXPECT_EQ(e.waitExit(), 0);
  // "quit" ended the program, so the end of input was never met.
  EXPECT_EQ(e.readFile("B12SP.pgn").find("FATAL"), std::string::npos);
}

TEST(UciInput, VanishedReaderOfTheOutputEndsTheEngine) {
  EngineProcess e;
  ASSERT_TRUE(e.start());
  ASSERT_TRUE(e.handshake());
  e.closeOutput();
  // The reply to "uci" cannot be written; the engine must notice and end
  // in order instead of dying from a signal or running on.
  ASSERT_TRUE(e.send("uci"));
  e.send("isready");
  EXPECT_EQ(e.waitExit(), 0);
  std::string text = e.readFile("B12SP.pgn");
  EXPECT_EQ(countOccurrences(text, "FATAL ERROR: stdout pipe gone errno="), 1) << text;
}

TEST(UciInput, GarbageNeverCrashesOrHangs) {
  EngineProcess e;
  ASSERT_TRUE(e.start());
  ASSERT_TRUE(e.handshake());
  std::mt19937 random(12345);
  std::string binary;
  for (int i = 0; i < 256; i++) binary += static_cast<char>(i);
  for (int i = 0; i < 3000; i++) binary += static_cast<char>(random());
  std::vector<std::string> inputs = {
      binary + "\n",
      std::string(10000, 'x') + "\n",
      std::string(100000, 'y') + "\n",  // longer than one command line: read in pieces
      "\n\n\n\n",
      "                                   \n",
      "\r\n\r\n \r\n",
      "position\n",
      "position fen\n",
      "position fen moves\n",
      "position moves\n",
      "position startpos moves\n",
      "position " + std::string(20000, 'z') + "\n",
      "position startpos moves " + std::string(5000, '7') + "\n",
      "setoption\nsetoption name\nsetoption name Hash value\nsetoption name Hash value -99999999999999999999\n",
      "go\x01\x02\x03 nonsense\n",
  };
  for (const std::string& in : inputs) {
    ASSERT_TRUE(e.sendRaw(in)) << in.substr(0, 40);
    bool ok;
    e.syncLines(ok);
    ASSERT_TRUE(ok) << "no readyok after " << in.substr(0, 40);
  }
  ASSERT_TRUE(e.send("quit"));
  EXPECT_EQ(e.waitExit(), 0) << e.stderrText();
}

TEST(UciInput, CarriageReturnLineEndsAreCommandsAsUsual) {
  EngineProcess e;
  ASSERT_TRUE(e.start());
  ASSERT_TRUE(e.sendRaw("uci\r\n"));
  EXPECT_EQ(e.waitFor("uciok"), "uciok");
  ASSERT_TRUE(e.sendRaw("isready\r\n"));
  EXPECT_EQ(e.waitFor("readyok"), "readyok");
  ASSERT_TRUE(e.sendRaw("quit\r\n"));
  EXPECT_EQ(e.waitExit(), 0);
}

bool isFolder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

TEST(UciInput, FilesGoToTheDataFolderWithoutAppData) {
  EngineProcess e;
  EngineLaunch launch;
  launch.setAppData = false;  // HOME and XDG_DATA_HOME point into the test folder
  ASSERT_TRUE(e.start(launch));
  ASSERT_TRUE(e.handshake());
  e.closeInput();
  EXPECT_EQ(e.waitExit(), 0);
  std::string xdgFolder = e.folder() + "/xdg/BRAXEN Chess";
  EXPECT_TRUE(isFolder(xdgFolder));
  EXPECT_EQ(countOccurrences(e.readFile(xdgFolder + "/B12SP.pgn"), lostInputLine), 1);
  EXPECT_FALSE(isFolder(e.folder() + "/home/.local/share/BRAXEN Chess"));
}

TEST(UciInput, UnusableDataFolderIsNoObstacle) {
  EngineProcess e;
  EngineLaunch launch;
  launch.env = {"APPDATA=/proc/self/not-a-folder"};
  ASSERT_TRUE(e.start(launch));
  ASSERT_TRUE(e.handshake());
  e.closeInput();
  EXPECT_EQ(e.waitExit(), 0);
  // The current directory stayed the test folder, so the line is there.
  EXPECT_EQ(countOccurrences(e.readFile(e.folder() + "/B12SP.pgn"), lostInputLine), 1);
}

}  // namespace
