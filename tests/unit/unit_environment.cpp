// Every unit test process works in a fresh temporary folder, so that files
// the engine writes into its current directory (the game file, say) never
// land in the build tree or meet another test's files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

class TemporaryFolder : public ::testing::Environment {
 public:
  void SetUp() override {
    char pattern[] = "/tmp/braxen-unit-XXXXXX";
    const char* dir = mkdtemp(pattern);
    ASSERT_NE(dir, nullptr);
    path_ = dir;
    ASSERT_EQ(chdir(dir), 0);
  }
  void TearDown() override {
    if (!path_.empty() && std::system(("rm -rf '" + path_ + "'").c_str()) != 0) ADD_FAILURE() << "cannot remove " << path_;
  }

 private:
  std::string path_;
};

const ::testing::Environment* const folder = ::testing::AddGlobalTestEnvironment(new TemporaryFolder);

}  // namespace
