// Data folder and engine location of the platform layer; the clock is
// exercised by every timing test.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"
#include "test_support.h"

namespace {

bool isFolder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Sets the three variables the data folder depends on for one test and
// puts the old values back afterwards. Unset is nullptr.
class DataFolderEnv : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(root.empty());
    for (int i = 0; i < 3; i++) hadValue[i] = getenv(names[i]) != nullptr, saved[i] = hadValue[i] ? getenv(names[i]) : "";
  }
  void TearDown() override {
    set(hadValue[0] ? saved[0].c_str() : nullptr, hadValue[1] ? saved[1].c_str() : nullptr,
        hadValue[2] ? saved[2].c_str() : nullptr);
  }
  void set(const char* appdata, const char* xdg, const char* home) {
    const char* values[3] = {appdata, xdg, home};
    for (int i = 0; i < 3; i++) values[i] != nullptr ? setenv(names[i], values[i], 1) : unsetenv(names[i]);
  }
  std::string folder() {
    char out[1024];
    platformDataFolder(out, sizeof out);
    return out;
  }
  testsupport::TempFolder temp{"braxen-unit"};
  const std::string root = temp.path;
  const char* names[3] = {"APPDATA", "XDG_DATA_HOME", "HOME"};
  std::string saved[3];
  bool hadValue[3];
};

TEST_F(DataFolderEnv, ChoiceOfBaseFolder) {
  std::string app = root + "/app", xdg = root + "/xdg", home = root + "/home";
  set(app.c_str(), xdg.c_str(), home.c_str());
  EXPECT_EQ(folder(), app + "/BRAXEN Chess");
  set("", xdg.c_str(), home.c_str());
  EXPECT_EQ(folder(), xdg + "/BRAXEN Chess") << "an empty APPDATA counts as unset";
  set(nullptr, "relative/xdg", home.c_str());
  EXPECT_EQ(folder(), home + "/.local/share/BRAXEN Chess") << "a relative XDG_DATA_HOME is invalid";
  set(nullptr, nullptr, nullptr);
  EXPECT_EQ(folder(), "");
}

TEST_F(DataFolderEnv, MissingFoldersAreCreatedWithTheirParents) {
  std::string home = root + "/fresh/home/";
  set(nullptr, nullptr, home.c_str());
  std::string f = folder();
  EXPECT_EQ(f, root + "/fresh/home/.local/share/BRAXEN Chess");
  EXPECT_TRUE(isFolder(f));
  EXPECT_EQ(folder(), f) << "an existing folder is used as it is";
}

TEST_F(DataFolderEnv, TooLongOrUncreatableIsAFailureNotACrash) {
  std::string app = root + "/app";
  set(app.c_str(), nullptr, nullptr);
  char small[16];
  platformDataFolder(small, sizeof small);
  EXPECT_STREQ(small, "") << "a path too long for the buffer is not cut";
  std::string blocker = root + "/file";
  FILE* f = fopen(blocker.c_str(), "w");
  ASSERT_NE(f, nullptr);
  fclose(f);
  set(blocker.c_str(), nullptr, nullptr);  // a file where the parent folder should be
  std::string path = folder();
  EXPECT_EQ(path, blocker + "/BRAXEN Chess");
  EXPECT_FALSE(platformEnterFolder(path.c_str()));
  EXPECT_FALSE(platformEnterFolder(""));
}

TEST(Platform, EngineLocationComesFromTheRunningProgram) {
  char folder[1024], name[256];
  platformEngineLocation(folder, sizeof folder, name, sizeof name);
  EXPECT_STREQ(name, "braxen-unit-tests");
  EXPECT_EQ(folder[0], '/');
  std::string whole = std::string(folder) + "/" + name;
  EXPECT_EQ(access(whole.c_str(), X_OK), 0) << whole;
}
}  // namespace
